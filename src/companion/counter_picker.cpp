#include "companion/counter_picker.h"

#include <pdh.h>
#include <pdhmsg.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "companion/control_text.h"
#include "companion/counter_paths.h"
#include "core/failure_sink.h"
#include "core/text_conversion.h"
#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "window/module_file.h"
#include "window/window_texts.h"

namespace tavisto::companion {
namespace {

// Far beyond the size of any machine's list; a larger answer is not read.
constexpr DWORD kMaxListCharacters = 4 * 1024 * 1024;

std::vector<std::wstring> splitList(const std::vector<wchar_t>& buffer) {
    std::vector<std::wstring> words;
    std::size_t start = 0;
    for (std::size_t index = 0; index < buffer.size(); ++index) {
        if (buffer[index] == L'\0') {
            if (index == start) {
                break;
            }
            words.emplace_back(buffer.data() + start, index - start);
            start = index + 1;
        }
    }
    return words;
}

// Wine's PDH exports the enumeration functions as stubs that end the process when
// called.
bool canEnumerate() noexcept {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

std::vector<std::wstring> performanceObjects() {
    if (!canEnumerate()) {
        return {};
    }
    DWORD size = 0;
    PDH_STATUS status = PdhEnumObjectsW(nullptr, nullptr, nullptr, &size, PERF_DETAIL_WIZARD, TRUE);
    if (status != static_cast<PDH_STATUS>(PDH_MORE_DATA) || size == 0 ||
        size > kMaxListCharacters) {
        return {};
    }
    std::vector<wchar_t> buffer(size + 2, L'\0');
    status = PdhEnumObjectsW(nullptr, nullptr, buffer.data(), &size, PERF_DETAIL_WIZARD, FALSE);
    return status == ERROR_SUCCESS ? splitList(buffer) : std::vector<std::wstring>{};
}

struct ObjectItems {
    std::vector<std::wstring> counters;
    std::vector<std::wstring> instances;
};

ObjectItems objectItems(const std::wstring& object) {
    DWORD counterSize = 0;
    DWORD instanceSize = 0;
    PDH_STATUS status = PdhEnumObjectItemsW(nullptr, nullptr, object.c_str(), nullptr, &counterSize,
                                            nullptr, &instanceSize, PERF_DETAIL_WIZARD, 0);
    if (status != static_cast<PDH_STATUS>(PDH_MORE_DATA) || counterSize > kMaxListCharacters ||
        instanceSize > kMaxListCharacters) {
        return {};
    }
    std::vector<wchar_t> counters(counterSize + 2, L'\0');
    std::vector<wchar_t> instances(instanceSize + 2, L'\0');
    status = PdhEnumObjectItemsW(
        nullptr, nullptr, object.c_str(), counterSize > 0 ? counters.data() : nullptr, &counterSize,
        instanceSize > 0 ? instances.data() : nullptr, &instanceSize, PERF_DETAIL_WIZARD, 0);
    if (status != ERROR_SUCCESS) {
        return {};
    }
    return {splitList(counters), splitList(instances)};
}

// The English names of the performance text table, by index.
const std::map<unsigned long, std::wstring>& englishNames() {
    static const std::map<unsigned long, std::wstring> names = [] {
        constexpr wchar_t key[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009";
        DWORD bytes = 0;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"Counter", RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                         &bytes) != ERROR_SUCCESS ||
            bytes > kMaxListCharacters * sizeof(wchar_t)) {
            return std::map<unsigned long, std::wstring>{};
        }
        std::vector<wchar_t> table(bytes / sizeof(wchar_t) + 1, L'\0');
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"Counter", RRF_RT_REG_MULTI_SZ, nullptr,
                         table.data(), &bytes) != ERROR_SUCCESS) {
            return std::map<unsigned long, std::wstring>{};
        }
        return parseCounterNames(std::wstring_view(table.data(), table.size()));
    }();
    return names;
}

// The English name of a localized object or counter name; the name itself when the
// system does not know it (it is English already on an English system).
std::wstring englishName(const std::wstring& localized) {
    DWORD index = 0;
    if (PdhLookupPerfIndexByNameW(nullptr, localized.c_str(), &index) != ERROR_SUCCESS) {
        return localized;
    }
    const auto& names = englishNames();
    const auto found = names.find(index);
    return found != names.end() ? found->second : localized;
}

std::wstring selectedText(HWND list) {
    const auto index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) {
        return {};
    }
    const auto length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void fill(HWND list, const std::vector<std::wstring>& items) {
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::wstring& item : items) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    if (!items.empty()) {
        SendMessageW(list, LB_SETCURSEL, 0, 0);
    }
}

std::wstring fragmentText(HWND window, const TextTable& texts) {
    const std::wstring object = selectedText(GetDlgItem(window, kObjectList));
    const std::wstring counter = selectedText(GetDlgItem(window, kCounterList));
    if (object.empty() || counter.empty()) {
        return {};
    }
    if (!fieldsOf(object).empty()) {
        const std::u16string wide = utf8ToUtf16(fieldFragment(object, counter));
        return {wide.begin(), wide.end()};
    }
    const std::wstring instance = selectedText(GetDlgItem(window, kInstanceList));
    const std::wstring englishObject = englishName(object);
    const std::wstring englishCounter = englishName(counter);
    std::string fragment = counterPathFragment(englishObject, instance, englishCounter);
    const std::vector<InstanceChoice> choices = instanceChoices(texts, englishObject);
    const auto choice = SendDlgItemMessageW(window, kCombineList, CB_GETCURSEL, 0, 0);
    if (choice >= 0 && static_cast<std::size_t>(choice) < choices.size()) {
        fragment =
            withInstances(std::move(fragment), instance, choices[static_cast<std::size_t>(choice)]);
    }
    fragment += ", " + proposedReading(englishCounter);
    const std::u16string wide = utf8ToUtf16(fragment);
    return {wide.begin(), wide.end()};
}

// The clipboard, opened for `window` for the owner's scope.
class OpenedClipboard {
  public:
    explicit OpenedClipboard(HWND window) noexcept : opened_(OpenClipboard(window) != FALSE) {}
    ~OpenedClipboard() {
        if (opened_) {
            CloseClipboard();
        }
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;

    explicit operator bool() const noexcept { return opened_; }

  private:
    bool opened_;
};

void copyToClipboard(HWND window, const std::wstring& text) {
    if (text.empty()) {
        return;
    }
    const OpenedClipboard clipboard(window);
    if (!clipboard) {
        return;
    }
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (win32::GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes)); memory) {
        if (void* target = GlobalLock(memory.get()); target != nullptr) {
            CopyMemory(target, text.c_str(), bytes);
            GlobalUnlock(memory.get());
            // The clipboard owns the memory once it is set.
            if (SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr) {
                memory.release();
            }
        }
    }
}

// The combinations apply only to a wildcard instance.
void instanceChosen(HWND window) {
    const std::wstring instance = selectedText(GetDlgItem(window, kInstanceList));
    EnableWindow(GetDlgItem(window, kCombineList), instance.find(L'*') != std::wstring::npos);
}

void objectChosen(HWND window, const TextTable& texts) {
    const std::wstring object = selectedText(GetDlgItem(window, kObjectList));
    // A source of system fields has fields, no instances and nothing to combine.
    std::vector<std::wstring> fields = fieldsOf(object);
    ObjectItems items = fields.empty() ? objectItems(object) : ObjectItems{std::move(fields), {}};
    if (!items.instances.empty()) {
        items.instances.emplace_back(L"*");  // every instance, combined as chosen below
    }
    fill(GetDlgItem(window, kCounterList), items.counters);
    fill(GetDlgItem(window, kInstanceList), items.instances);
    const HWND combine = GetDlgItem(window, kCombineList);
    SendMessageW(combine, CB_RESETCONTENT, 0, 0);
    for (const InstanceChoice& choice : instanceChoices(texts, englishName(object))) {
        SendMessageW(combine, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.label.c_str()));
    }
    SendMessageW(combine, CB_SETCURSEL, 0, 0);
    instanceChosen(window);
}

void layout(HWND window, UINT dpi) {
    const auto scaled = [scale = platform::dpiScaleOf(dpi)](int pixels) {
        return platform::scaledPixels(pixels, scale);
    };
    RECT client{};
    GetClientRect(window, &client);
    const int margin = scaled(10);
    const int gap = scaled(6);
    const int line = scaled(24);
    const int column = (client.right - 2 * margin - 2 * gap) / 3;
    const int listHeight = client.bottom - 2 * margin - 2 * gap - 3 * line;
    const auto place = [window](int id, int x, int y, int width, int height) {
        SetWindowPos(GetDlgItem(window, id), nullptr, x, y, std::max(width, 0), height,
                     SWP_NOZORDER);
    };
    int x = margin;
    for (const auto& [labelId, listId] :
         {std::pair{kObjectLabel, kObjectList}, std::pair{kCounterLabel, kCounterList},
          std::pair{kInstanceLabel, kInstanceList}}) {
        place(labelId, x, margin, column, line);
        place(listId, x, margin + line, column, listHeight);
        x += column + gap;
    }
    // The labels before their controls take the room of the longer text, the button that
    // of its own, in any language.
    const int labelWidth =
        std::max({scaled(80),
                  controlTextSize(GetDlgItem(window, kFragmentLabel)).width + gap,
                  controlTextSize(GetDlgItem(window, kCombineLabel)).width + gap});
    const int buttonWidth =
        std::max(scaled(160), controlTextSize(GetDlgItem(window, kCopyButton)).width + scaled(20));
    int y = margin + line + listHeight + gap;
    place(kFragmentLabel, margin, y, labelWidth, line);
    place(kFragmentText, margin + labelWidth, y, client.right - 2 * margin - labelWidth, line);
    y += line + gap;
    place(kCopyButton, margin, y, buttonWidth, line);
    const int combineX = margin + buttonWidth + gap;
    place(kCombineLabel, combineX, y, labelWidth, line);
    place(kCombineList, combineX + labelWidth, y, client.right - margin - combineX - labelWidth,
          scaled(200));
}

}  // namespace

// Returns true when the message is answered without DefWindowProcW.
bool CounterPicker::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT&) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDCANCEL) {
                DestroyWindow(window);
                return true;
            }
            if (id == kObjectList && code == LBN_SELCHANGE) {
                objectChosen(window, texts_);
            }
            if (id == kInstanceList && code == LBN_SELCHANGE) {
                instanceChosen(window);
            }
            if (((id == kObjectList || id == kCounterList || id == kInstanceList) &&
                 code == LBN_SELCHANGE) ||
                (id == kCombineList && code == CBN_SELCHANGE)) {
                SetDlgItemTextW(window, kFragmentText, fragmentText(window, texts_).c_str());
            }
            if (id == kCopyButton && code == BN_CLICKED) {
                copyToClipboard(window, fragmentText(window, texts_));
            }
            return true;
        }
        case WM_SIZE:
            layout(window, dpi_);
            return true;
        default:
            return false;
    }
}

CounterPicker::~CounterPicker() {
    destroyWindow();
}

std::unique_ptr<CounterPicker> CounterPicker::open(HWND owner, HFONT font, UINT dpi,
                                                   const TextTable& texts) noexcept {
    try {
        const HINSTANCE instance = window::thisModule();
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kCounterPickerClass;
        RegisterClassExW(&windowClass);
        const int width = platform::scaledPixels(720, platform::dpiScaleOf(dpi));
        const int height = platform::scaledPixels(420, platform::dpiScaleOf(dpi));
        std::unique_ptr<CounterPicker> picker(new CounterPicker(dpi, texts));
        const auto words = [&texts](TextId id) { return window::wideText(texts, id); };
        if (CreateWindowExW(WS_EX_CONTROLPARENT, kCounterPickerClass,
                            words(TextId::PickerTitle).c_str(),
                            WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, width, height, owner,
                            nullptr, instance, picker.get()) == nullptr) {
            return nullptr;
        }
        const HWND window = picker->window();
        constexpr DWORD list =
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY;
        constexpr DWORD label = WS_CHILD | WS_VISIBLE;
        struct Control {
            int id;
            const wchar_t* className;
            std::wstring text;
            DWORD style;
        };
        // In tab and reading order, each label before its control.
        const auto controls = std::to_array<Control>({
            {kObjectLabel, L"STATIC", words(TextId::PickerObjectsLabel), label},
            {kObjectList, L"LISTBOX", words(TextId::PickerObjectsName), list | LBS_SORT},
            {kCounterLabel, L"STATIC", words(TextId::PickerCountersLabel), label},
            {kCounterList, L"LISTBOX", words(TextId::PickerCountersName), list | LBS_SORT},
            {kInstanceLabel, L"STATIC", words(TextId::PickerInstancesLabel), label},
            {kInstanceList, L"LISTBOX", words(TextId::PickerInstancesName), list | LBS_SORT},
            {kFragmentLabel, L"STATIC", words(TextId::PickerFragmentLabel), label},
            {kFragmentText, L"EDIT", L"",
             WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL},
            {kCopyButton, L"BUTTON", words(TextId::PickerCopy),
             WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON},
            {kCombineLabel, L"STATIC", words(TextId::PickerCombineLabel), label},
            {kCombineList, L"COMBOBOX", L"",
             WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST},
        });
        for (const Control& control : controls) {
            const HWND child = CreateWindowExW(
                0, control.className, control.text.c_str(), control.style, 0, 0, 0, 0, window,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        std::vector<std::wstring> objects = performanceObjects();
        for (std::wstring& source : fieldSourceNames()) {
            objects.push_back(std::move(source));
        }
        fill(GetDlgItem(window, kObjectList), objects);
        objectChosen(window, texts);
        SetDlgItemTextW(window, kFragmentText, fragmentText(window, texts).c_str());
        layout(window, dpi);
        ShowWindow(window, SW_SHOWNORMAL);
        return picker;
    } catch (...) {
        // Out of memory: no picker.
        reportCaughtException("opening the counter picker");
        return nullptr;
    }
}

void CounterPicker::setFont(HFONT font) noexcept {
    if (window() == nullptr) {
        return;
    }
    for (const int id :
         {kObjectLabel, kObjectList, kCounterLabel, kCounterList, kInstanceLabel, kInstanceList,
          kFragmentLabel, kFragmentText, kCopyButton, kCombineLabel, kCombineList}) {
        SendMessageW(GetDlgItem(window(), id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

}  // namespace tavisto::companion
