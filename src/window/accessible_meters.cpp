#include "window/accessible_meters.h"

#include <shlwapi.h>

#include <algorithm>
#include <utility>

#include "core/failure_sink.h"
#include "panel/panel_view.h"
#include "sampling/counter_alert.h"

namespace tavisto::window {
namespace {

constexpr char kFailurePlace[] = "the accessible meters";

// Every method is an exception barrier: what it throws is reported, the caller sees
// E_FAIL.
template <typename Method>
HRESULT barrier(Method method) noexcept {
    try {
        return method();
    } catch (...) {
        reportCaughtException(kFailurePlace);
        return E_FAIL;
    }
}

HRESULT giveText(std::u16string_view text, BSTR* out) noexcept {
    *out = SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()),
                             static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

VARIANT childVariant(long id) noexcept {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = id;
    return variant;
}

const MeterGroup* groupAt(const PanelView* panel, long child) noexcept {
    if (panel == nullptr || child < 1 ||
        static_cast<std::size_t>(child) > panel->model().groups.size()) {
        return nullptr;
    }
    return &panel->model().groups[static_cast<std::size_t>(child) - 1];
}

// The rectangle of the group numbered `child` from 1, in screen coordinates; empty when
// the panel has no such group.
RECT screenRectOf(HWND window, const PanelView* panel, long child) noexcept {
    if (groupAt(panel, child) == nullptr ||
        static_cast<std::size_t>(child) > panel->layout().groups.size()) {
        return RECT{};
    }
    const Rect& placed = panel->layout().groups[static_cast<std::size_t>(child) - 1].rect;
    RECT rect{placed.left, placed.top, placed.right, placed.bottom};
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

void AccessibleMeters::disconnect() noexcept {
    source_ = nullptr;
    CoDisconnectObject(static_cast<IAccessible*>(this), 0);
}

long AccessibleMeters::groupCount() const noexcept {
    const PanelView* panel = source_ != nullptr ? source_->panel() : nullptr;
    return panel != nullptr ? static_cast<long>(panel->model().groups.size()) : 0;
}

long AccessibleMeters::childOf(const VARIANT& child) const noexcept {
    if (child.vt != VT_I4 || child.lVal < CHILDID_SELF || child.lVal > groupCount()) {
        return -1;
    }
    return child.lVal;
}

STDMETHODIMP AccessibleMeters::QueryInterface(REFIID id, void** object) noexcept {
    const QITAB interfaces[] = {
        QITABENT(AccessibleMeters, IAccessible),
        QITABENTMULTI(AccessibleMeters, IDispatch, IAccessible),
        {},
    };
    return QISearch(this, interfaces, id, object);
}

// Clients reach IAccessible through its vtable; there is no type library to dispatch by.
STDMETHODIMP AccessibleMeters::GetTypeInfoCount(UINT* count) noexcept {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

STDMETHODIMP AccessibleMeters::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
    if (info != nullptr) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

STDMETHODIMP AccessibleMeters::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept {
    return E_NOTIMPL;
}

STDMETHODIMP AccessibleMeters::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                      UINT*) noexcept {
    return E_NOTIMPL;
}

STDMETHODIMP AccessibleMeters::get_accParent(IDispatch** parent) noexcept {
    if (parent == nullptr) {
        return E_POINTER;
    }
    *parent = nullptr;
    if (source_ == nullptr) {
        return CO_E_OBJNOTCONNECTED;
    }
    // The window itself, as the system describes it (frame, title bar, client).
    return AccessibleObjectFromWindow(window_, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                      reinterpret_cast<void**>(parent));
}

STDMETHODIMP AccessibleMeters::get_accChildCount(long* count) noexcept {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = groupCount();
    return S_OK;
}

STDMETHODIMP AccessibleMeters::get_accChild(VARIANT child, IDispatch** object) noexcept {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    // The groups are simple elements, answered by this object with their numbers.
    return childOf(child) > CHILDID_SELF ? S_FALSE : E_INVALIDARG;
}

STDMETHODIMP AccessibleMeters::get_accName(VARIANT child, BSTR* name) noexcept {
    if (name == nullptr) {
        return E_POINTER;
    }
    *name = nullptr;
    return barrier([&] {
        const long id = childOf(child);
        if (id == CHILDID_SELF) {
            return giveText(u"Tavisto", name);
        }
        const PanelView* panel = source_ != nullptr ? source_->panel() : nullptr;
        const MeterGroup* group = groupAt(panel, id);
        if (group == nullptr) {
            return E_INVALIDARG;
        }
        return giveText(
            spokenName(*panel->model().texts, *group, static_cast<std::size_t>(id) - 1), name);
    });
}

STDMETHODIMP AccessibleMeters::get_accValue(VARIANT child, BSTR* value) noexcept {
    if (value == nullptr) {
        return E_POINTER;
    }
    *value = nullptr;
    return barrier([&] {
        const long id = childOf(child);
        if (id == CHILDID_SELF) {
            return S_FALSE;
        }
        const PanelView* panel = source_ != nullptr ? source_->panel() : nullptr;
        const MeterGroup* group = groupAt(panel, id);
        if (group == nullptr) {
            return E_INVALIDARG;
        }
        return giveText(
            spokenValue(panel->model(), *group, panel->samples(), panel->numberSeparators()),
            value);
    });
}

STDMETHODIMP AccessibleMeters::get_accDescription(VARIANT child, BSTR* description) noexcept {
    if (description == nullptr) {
        return E_POINTER;
    }
    *description = nullptr;
    return childOf(child) < 0 ? E_INVALIDARG : S_FALSE;
}

STDMETHODIMP AccessibleMeters::get_accRole(VARIANT child, VARIANT* role) noexcept {
    if (role == nullptr) {
        return E_POINTER;
    }
    VariantInit(role);
    const long id = childOf(child);
    if (id < 0) {
        return E_INVALIDARG;
    }
    *role = childVariant(id == CHILDID_SELF ? ROLE_SYSTEM_GROUPING : ROLE_SYSTEM_STATICTEXT);
    return S_OK;
}

STDMETHODIMP AccessibleMeters::get_accState(VARIANT child, VARIANT* state) noexcept {
    if (state == nullptr) {
        return E_POINTER;
    }
    VariantInit(state);
    const long id = childOf(child);
    if (id < 0) {
        return E_INVALIDARG;
    }
    long flags = STATE_SYSTEM_READONLY;
    if (!IsWindowVisible(window_)) {
        flags |= STATE_SYSTEM_INVISIBLE;
    }
    *state = childVariant(flags);
    return S_OK;
}

STDMETHODIMP AccessibleMeters::get_accHelp(VARIANT child, BSTR* help) noexcept {
    if (help == nullptr) {
        return E_POINTER;
    }
    *help = nullptr;
    return childOf(child) < 0 ? E_INVALIDARG : S_FALSE;
}

STDMETHODIMP AccessibleMeters::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) noexcept {
    if (file == nullptr || topic == nullptr) {
        return E_POINTER;
    }
    *file = nullptr;
    *topic = -1;
    return childOf(child) < 0 ? E_INVALIDARG : S_FALSE;
}

STDMETHODIMP AccessibleMeters::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) noexcept {
    if (shortcut == nullptr) {
        return E_POINTER;
    }
    *shortcut = nullptr;
    return childOf(child) < 0 ? E_INVALIDARG : S_FALSE;
}

STDMETHODIMP AccessibleMeters::get_accFocus(VARIANT* focus) noexcept {
    if (focus == nullptr) {
        return E_POINTER;
    }
    // The meters never take the keyboard focus.
    VariantInit(focus);
    return S_FALSE;
}

STDMETHODIMP AccessibleMeters::get_accSelection(VARIANT* selection) noexcept {
    if (selection == nullptr) {
        return E_POINTER;
    }
    VariantInit(selection);
    return S_FALSE;
}

STDMETHODIMP AccessibleMeters::get_accDefaultAction(VARIANT child, BSTR* action) noexcept {
    if (action == nullptr) {
        return E_POINTER;
    }
    *action = nullptr;
    return childOf(child) < 0 ? E_INVALIDARG : S_FALSE;
}

STDMETHODIMP AccessibleMeters::accSelect(long, VARIANT child) noexcept {
    return childOf(child) < 0 ? E_INVALIDARG : DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP AccessibleMeters::accLocation(long* left, long* top, long* width, long* height,
                                           VARIANT child) noexcept {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
        return E_POINTER;
    }
    *left = *top = *width = *height = 0;
    const long id = childOf(child);
    if (id < 0) {
        return E_INVALIDARG;
    }
    RECT rect{};
    if (id == CHILDID_SELF) {
        GetWindowRect(window_, &rect);
    } else {
        rect = screenRectOf(window_, source_ != nullptr ? source_->panel() : nullptr, id);
    }
    *left = rect.left;
    *top = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
}

STDMETHODIMP AccessibleMeters::accNavigate(long direction, VARIANT start, VARIANT* end) noexcept {
    if (end == nullptr) {
        return E_POINTER;
    }
    VariantInit(end);
    const long from = start.vt == VT_EMPTY ? CHILDID_SELF : childOf(start);
    if (from < 0) {
        return E_INVALIDARG;
    }
    const long count = groupCount();
    long to = 0;
    switch (direction) {
        case NAVDIR_FIRSTCHILD:
            to = from == CHILDID_SELF ? 1 : 0;
            break;
        case NAVDIR_LASTCHILD:
            to = from == CHILDID_SELF ? count : 0;
            break;
        case NAVDIR_NEXT:
        case NAVDIR_RIGHT:
        case NAVDIR_DOWN:
            to = from == CHILDID_SELF ? 0 : from + 1;
            break;
        case NAVDIR_PREVIOUS:
        case NAVDIR_LEFT:
        case NAVDIR_UP:
            to = from == CHILDID_SELF ? 0 : from - 1;
            break;
        default:
            return E_INVALIDARG;
    }
    if (to < 1 || to > count) {
        return S_FALSE;
    }
    *end = childVariant(to);
    return S_OK;
}

STDMETHODIMP AccessibleMeters::accHitTest(long left, long top, VARIANT* child) noexcept {
    if (child == nullptr) {
        return E_POINTER;
    }
    VariantInit(child);
    RECT window{};
    const POINT point{left, top};
    if (!GetWindowRect(window_, &window) || !PtInRect(&window, point)) {
        return S_FALSE;
    }
    const PanelView* panel = source_ != nullptr ? source_->panel() : nullptr;
    for (long id = 1; id <= groupCount(); ++id) {
        const RECT rect = screenRectOf(window_, panel, id);
        if (PtInRect(&rect, point)) {
            *child = childVariant(id);
            return S_OK;
        }
    }
    *child = childVariant(CHILDID_SELF);
    return S_OK;
}

STDMETHODIMP AccessibleMeters::accDoDefaultAction(VARIANT child) noexcept {
    return childOf(child) < 0 ? E_INVALIDARG : DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP AccessibleMeters::put_accName(VARIANT, BSTR) noexcept {
    return E_NOTIMPL;
}

STDMETHODIMP AccessibleMeters::put_accValue(VARIANT, BSTR) noexcept {
    return E_NOTIMPL;
}

MeterAccessibility::~MeterAccessibility() {
    if (object_) {
        object_->disconnect();
    }
}

LRESULT MeterAccessibility::answer(WPARAM flags, LPARAM objectId) noexcept {
    if (static_cast<LONG>(objectId) != static_cast<LONG>(OBJID_CLIENT)) {
        return 0;
    }
    if (!object_) {
        // The first reference is the window's, taken over from the creation.
        object_.Attach(new (std::nothrow) AccessibleMeters(window_, source_));
        if (!object_) {
            return 0;
        }
    }
    const LRESULT result =
        LresultFromObject(__uuidof(IAccessible), flags, static_cast<IAccessible*>(object_.Get()));
    // A failure is a negative HRESULT; 0 lets the system answer with its default object.
    return result < 0 ? 0 : result;
}

void MeterAccessibility::announceValueChanges() noexcept {
    if (!object_ || !object_->heldByClient()) {
        return;
    }
    const PanelView* panel = source_.panel();
    if (panel == nullptr) {
        return;
    }
    try {
        const auto& groups = panel->model().groups;
        announced_.resize(groups.size());
        const ULONGLONG now = GetTickCount64();
        for (std::size_t index = 0; index < groups.size(); ++index) {
            Announced& announced = announced_[index];
            std::uint64_t alertChanges = 0;
            for (const std::size_t meter : groups[index].meters) {
                alertChanges += tavisto::alertChanges(panel->samples().at(meter));
            }
            // An alert raised or cleared is heard at once.
            const bool alertChanged = alertChanges != announced.alertChanges;
            if (!alertChanged && announced.at != 0 && now - announced.at < kValueChangeInterval) {
                continue;
            }
            std::u16string value = spokenValue(panel->model(), groups[index], panel->samples(),
                                               panel->numberSeparators());
            if (!alertChanged && value == announced.value) {
                continue;
            }
            announced.value = std::move(value);
            announced.alertChanges = alertChanges;
            announced.at = now;
            NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window_, OBJID_CLIENT,
                           static_cast<LONG>(index + 1));
        }
    } catch (...) {
        reportCaughtException(kFailurePlace);
    }
}

void MeterAccessibility::groupsChanged() noexcept {
    announced_.clear();
    if (object_ && object_->heldByClient()) {
        NotifyWinEvent(EVENT_OBJECT_REORDER, window_, OBJID_CLIENT, CHILDID_SELF);
    }
}

}  // namespace tavisto::window
