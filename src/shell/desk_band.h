#pragma once
// The desk band object that the taskbar creates and hosts: its shell interfaces, the
// band window it owns, the meter panel behind that window and the configuration
// watcher. All methods run on the host's apartment thread.

#include <windows.h>

#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/win32/gdiplus_session.h"
#include "shell/module.h"
#include "window/panel_window.h"
#include "window/window_procedure.h"

namespace tavisto::shell {

// COM interfaces have no virtual destructor by design: objects end in their own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CTavisto final
    : public ComObject<CTavisto, IDeskBand2, IPersistStream, IObjectWithSite, IInputObject>,
      private window::WindowProcedure<CTavisto>,
      private window::PanelHost {
  public:
    // Makes a band object and queries it for `riid`; a failed query destroys it at once.
    static HRESULT createAndQuery(REFIID riid, void** ppv) noexcept;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;

    // IOleWindow, IDockingWindow
    STDMETHODIMP GetWindow(HWND* phwnd) noexcept override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) noexcept override;
    STDMETHODIMP ShowDW(BOOL show) noexcept override;
    STDMETHODIMP CloseDW(DWORD reserved) noexcept override;
    STDMETHODIMP ResizeBorderDW(LPCRECT border, IUnknown* site, BOOL reserved) noexcept override;

    // IDeskBand, IDeskBand2
    STDMETHODIMP GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) noexcept override;
    STDMETHODIMP CanRenderComposited(BOOL* pf) noexcept override;
    STDMETHODIMP SetCompositionState(BOOL enabled) noexcept override;
    STDMETHODIMP GetCompositionState(BOOL* pf) noexcept override;

    // IPersist, IPersistStream: the band keeps nothing in the host's stream.
    STDMETHODIMP GetClassID(CLSID* pclsid) noexcept override;
    STDMETHODIMP IsDirty() noexcept override;
    STDMETHODIMP Load(IStream* stream) noexcept override;
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) noexcept override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) noexcept override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) noexcept override;
    STDMETHODIMP GetSite(REFIID riid, void** ppv) noexcept override;

    // IInputObject
    STDMETHODIMP UIActivateIO(BOOL activate, MSG* msg) noexcept override;
    STDMETHODIMP HasFocusIO() noexcept override;
    STDMETHODIMP TranslateAcceleratorIO(MSG* msg) noexcept override;

    // The band window's messages, on the window's thread (in band_window.cpp); true when
    // answered with `result` without DefWindowProcW.
    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // What the band window's messages call.
    // WM_CREATE: the panel, which starts the watcher and loads the configuration.
    void windowCreated(HWND window) noexcept;
    // WM_DESTROY: the watcher stops posting to the window, and the panel and its
    // backends go with the window they draw in.
    void windowDestroying() noexcept;
    void focusChanged(bool focused) noexcept;
    bool compositionEnabled() const noexcept { return compositionEnabled_ != FALSE; }

  private:
    friend class ComObject<CTavisto, IDeskBand2, IPersistStream, IObjectWithSite, IInputObject>;
    friend class window::WindowProcedure<CTavisto>;
    friend HWND createBandWindow(HWND parent, CTavisto& band) noexcept;
    static constexpr char kFailurePlace[] = "the band window";

    CTavisto() = default;
    ~CTavisto();

    // The band's direction follows the shape of the parent window.
    BandDirection panelDirection() noexcept override;
    // A refusal is reported; a new length is pushed to the taskbar.
    void panelReloaded(bool lengthChanged) noexcept override;

    IUnknown* primary() noexcept { return static_cast<IDeskBand2*>(this); }
    std::int32_t bandLength() const noexcept;
    void pushBandSize(std::int32_t newLength, std::int32_t thickness) noexcept;
    void destroyBandWindow() noexcept;

    win32::GdiplusSession gdiplus_;
    Microsoft::WRL::ComPtr<IInputObjectSite> site_;
    BOOL hasFocus_ = FALSE;
    BOOL dirty_ = FALSE;
    BOOL compositionEnabled_ = FALSE;
    DWORD bandId_ = 0;
    HWND parentWindow_ = nullptr;
    // The panel, its backends and the watcher live with the band window.
    std::unique_ptr<window::PanelWindow> panelWindow_;
    BandDirection direction_ = BandDirection::Horizontal;
    // Known from the first ShowDW(TRUE) on.
    std::optional<int> bandIndex_;
};
#pragma GCC diagnostic pop

}  // namespace tavisto::shell
