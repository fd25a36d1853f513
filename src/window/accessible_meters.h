#pragma once
// The meters for screen readers: the accessible object (MSAA IAccessible, which UI
// Automation clients see through its proxy) a panel's window gives for its client area.
// The window is a grouping named "Tavisto"; each meter group is a child named after the
// group whose value is what its meters show, read from the latest samples when asked.

#include <windows.h>

#include <oleacc.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/spoken_values.h"
#include "window/com_object.h"

namespace tavisto {
class PanelView;
}

namespace tavisto::window {

// Where the object reads the meters: the window's owner, whose view shows nothing before
// a configuration has loaded.
class MeterSource {
  public:
    virtual const PanelView* panel() const noexcept = 0;

  protected:
    ~MeterSource() = default;
};

// Screen readers must not chatter: a group's value change is announced at most this
// often.
inline constexpr ULONGLONG kValueChangeInterval = 5000;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class AccessibleMeters final : public ComObject<AccessibleMeters, IAccessible> {
  public:
    AccessibleMeters(HWND window, const MeterSource& source) noexcept
        : window_(window), source_(&source) {}

    // The window is going: the object answers no more, and other processes' references
    // to it are cut.
    void disconnect() noexcept;
    // Whether anyone besides the window holds the object: a client is reading.
    bool heldByClient() const noexcept { return heldByOthers(); }

    STDMETHODIMP QueryInterface(REFIID id, void** object) noexcept override;

    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override;
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) noexcept override;

    STDMETHODIMP get_accParent(IDispatch** parent) noexcept override;
    STDMETHODIMP get_accChildCount(long* count) noexcept override;
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) noexcept override;
    STDMETHODIMP get_accName(VARIANT child, BSTR* name) noexcept override;
    STDMETHODIMP get_accValue(VARIANT child, BSTR* value) noexcept override;
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* description) noexcept override;
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) noexcept override;
    STDMETHODIMP get_accState(VARIANT child, VARIANT* state) noexcept override;
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* help) noexcept override;
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, long* topic) noexcept override;
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) noexcept override;
    STDMETHODIMP get_accFocus(VARIANT* focus) noexcept override;
    STDMETHODIMP get_accSelection(VARIANT* selection) noexcept override;
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) noexcept override;
    STDMETHODIMP accSelect(long flags, VARIANT child) noexcept override;
    STDMETHODIMP accLocation(long* left, long* top, long* width, long* height,
                             VARIANT child) noexcept override;
    STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* end) noexcept override;
    STDMETHODIMP accHitTest(long left, long top, VARIANT* child) noexcept override;
    STDMETHODIMP accDoDefaultAction(VARIANT child) noexcept override;
    STDMETHODIMP put_accName(VARIANT child, BSTR name) noexcept override;
    STDMETHODIMP put_accValue(VARIANT child, BSTR value) noexcept override;

  private:
    friend class ComObject<AccessibleMeters, IAccessible>;
    ~AccessibleMeters() = default;

    // The number of groups; 0 without a panel.
    long groupCount() const noexcept;
    // CHILDID_SELF, or the group's number from 1; -1 for anything else.
    long childOf(const VARIANT& child) const noexcept;

    const HWND window_;
    const MeterSource* source_;
};
#pragma GCC diagnostic pop

// The window's side: answers WM_GETOBJECT with the object, made at the first request,
// and announces value changes while a client holds it.
class MeterAccessibility {
  public:
    MeterAccessibility(HWND window, const MeterSource& source) noexcept
        : window_(window), source_(source) {}
    ~MeterAccessibility();
    MeterAccessibility(const MeterAccessibility&) = delete;
    MeterAccessibility& operator=(const MeterAccessibility&) = delete;

    // WM_GETOBJECT: the object for OBJID_CLIENT; 0 (the system's default object) for
    // anything else, or when it cannot be made.
    LRESULT answer(WPARAM flags, LPARAM objectId) noexcept;
    // After the window showed new values: raises EVENT_OBJECT_VALUECHANGE for each group
    // whose value changed, at most once per kValueChangeInterval per group, and at once
    // for a group whose alert was raised or cleared.
    void announceValueChanges() noexcept;
    // After a reload: the groups may be others, so what was announced is forgotten and
    // clients are told that the children changed.
    void groupsChanged() noexcept;

  private:
    struct Announced {
        std::u16string value;
        // The group's alerts' raises and clears when it was announced.
        std::uint64_t alertChanges = 0;
        ULONGLONG at = 0;
    };

    const HWND window_;
    const MeterSource& source_;
    Microsoft::WRL::ComPtr<AccessibleMeters> object_;
    std::vector<Announced> announced_;
};

}  // namespace tavisto::window
