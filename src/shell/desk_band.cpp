#include "shell/desk_band.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <new>

#include "core/failure_sink.h"
#include "render/band_metrics.h"
#include "shell/band_window.h"
#include "window/configuration_location.h"

namespace tavisto::shell {

// The size push hands the taskbar the full structure, as it expects.
static_assert(sizeof(REBARBANDINFOW) == 128);

HRESULT CTavisto::createAndQuery(REFIID riid, void** ppv) noexcept {
    CTavisto* band = nullptr;
    try {
        // Forms the process-wide paths before any watcher thread can read them.
        window::configurationFolder();
        band = new CTavisto();
    } catch (...) {
        reportCaughtException("creating the band");
        return E_OUTOFMEMORY;
    }
    const HRESULT result = band->QueryInterface(riid, ppv);
    band->Release();
    return result;
}

CTavisto::~CTavisto() {
    // The site goes first, so that destroying the window reports no focus change to a
    // host that would call back into an object being destroyed.
    site_.Reset();
    // A window left behind would call into a destroyed object, and into an unloaded
    // module; destroying it also tears the panel down.
    destroyBandWindow();
    // The host may have destroyed the window with its own, without CloseDW: the class
    // must not outlive the module whose procedure it names.
    unregisterBandWindowClass();
}

// IUnknown

STDMETHODIMP CTavisto::QueryInterface(REFIID riid, void** ppv) noexcept {
    // IUnknown is answered with the first entry.
    const QITAB interfaces[] = {
        QITABENT(CTavisto, IDeskBand2),
        QITABENTMULTI(CTavisto, IDeskBand, IDeskBand2),
        QITABENTMULTI(CTavisto, IDockingWindow, IDeskBand2),
        QITABENTMULTI(CTavisto, IOleWindow, IDeskBand2),
        QITABENT(CTavisto, IPersistStream),
        QITABENTMULTI(CTavisto, IPersist, IPersistStream),
        QITABENT(CTavisto, IObjectWithSite),
        QITABENT(CTavisto, IInputObject),
        {},
    };
    return QISearch(this, interfaces, riid, ppv);
}

// IOleWindow, IDockingWindow

STDMETHODIMP CTavisto::GetWindow(HWND* phwnd) noexcept {
    if (phwnd == nullptr) {
        return E_POINTER;
    }
    *phwnd = window();
    return S_OK;
}

STDMETHODIMP CTavisto::ContextSensitiveHelp(BOOL) noexcept {
    return E_NOTIMPL;
}

STDMETHODIMP CTavisto::ShowDW(BOOL show) noexcept {
    if (window() != nullptr) {
        if (show) {
            bandIndex_ = static_cast<int>(SendMessageW(parentWindow_, RB_IDTOINDEX, bandId_, 0));
        }
        ShowWindow(window(), show ? SW_SHOW : SW_HIDE);
    }
    return S_OK;
}

STDMETHODIMP CTavisto::CloseDW(DWORD) noexcept {
    destroyBandWindow();
    return S_OK;
}

STDMETHODIMP CTavisto::ResizeBorderDW(LPCRECT, IUnknown*, BOOL) noexcept {
    return E_NOTIMPL;
}

// IDeskBand, IDeskBand2

STDMETHODIMP CTavisto::GetBandInfo(DWORD bandId, DWORD, DESKBANDINFO* info) noexcept {
    if (info == nullptr) {
        return E_INVALIDARG;
    }
    bandId_ = bandId;
    const std::int32_t length = bandLength();
    const PanelView* const panel = panelWindow_ ? panelWindow_->panel() : nullptr;
    if (info->dwMask & DBIM_MINSIZE) {
        info->ptMinSize.x = length;
        info->ptMinSize.y =
            panel ? minimumThickness(panel->model(), panel->layout(), direction_) : 0;
    }
    if (info->dwMask & DBIM_MAXSIZE) {
        info->ptMaxSize = {-1, -1};
    }
    if (info->dwMask & DBIM_INTEGRAL) {
        info->ptIntegral = {1, 1};
    }
    if (info->dwMask & DBIM_ACTUAL) {
        info->ptActual.x = length;
        info->ptActual.y = panel ? actualThickness(panel->model(), panel->layout(), direction_) : 0;
    }
    // No title and no background colour of its own.
    info->dwMask &= ~static_cast<DWORD>(DBIM_TITLE | DBIM_BKCOLOR);
    if (info->dwMask & DBIM_MODEFLAGS) {
        info->dwModeFlags = DBIMF_VARIABLEHEIGHT;
    }
    return S_OK;
}

STDMETHODIMP CTavisto::CanRenderComposited(BOOL* pf) noexcept {
    if (pf == nullptr) {
        return E_POINTER;
    }
    *pf = TRUE;
    return S_OK;
}

STDMETHODIMP CTavisto::SetCompositionState(BOOL enabled) noexcept {
    compositionEnabled_ = enabled;
    // A null window would invalidate the whole desktop.
    if (window() != nullptr) {
        InvalidateRect(window(), nullptr, TRUE);
        UpdateWindow(window());
    }
    return S_OK;
}

STDMETHODIMP CTavisto::GetCompositionState(BOOL* pf) noexcept {
    if (pf == nullptr) {
        return E_POINTER;
    }
    *pf = compositionEnabled_;
    return S_OK;
}

// IPersist, IPersistStream

STDMETHODIMP CTavisto::GetClassID(CLSID* pclsid) noexcept {
    if (pclsid == nullptr) {
        return E_POINTER;
    }
    *pclsid = kTavistoClassId;
    return S_OK;
}

STDMETHODIMP CTavisto::IsDirty() noexcept {
    return dirty_ ? S_OK : S_FALSE;
}

STDMETHODIMP CTavisto::Load(IStream*) noexcept {
    return S_OK;
}

STDMETHODIMP CTavisto::Save(IStream*, BOOL clearDirty) noexcept {
    if (clearDirty) {
        dirty_ = FALSE;
    }
    return S_OK;
}

STDMETHODIMP CTavisto::GetSizeMax(ULARGE_INTEGER*) noexcept {
    return E_NOTIMPL;
}

// IObjectWithSite

STDMETHODIMP CTavisto::SetSite(IUnknown* site) noexcept {
    parentWindow_ = nullptr;
    site_.Reset();
    if (site == nullptr) {
        return S_OK;
    }
    Microsoft::WRL::ComPtr<IOleWindow> oleWindow;
    if (SUCCEEDED(site->QueryInterface(IID_PPV_ARGS(&oleWindow))) &&
        SUCCEEDED(oleWindow->GetWindow(&parentWindow_))) {
        // One band window per object: a window of an earlier site goes first.
        destroyBandWindow();
        createBandWindow(parentWindow_, *this);
    }
    return site->QueryInterface(IID_PPV_ARGS(&site_));
}

STDMETHODIMP CTavisto::GetSite(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (!site_) {
        *ppv = nullptr;
        return E_FAIL;
    }
    return site_->QueryInterface(riid, ppv);
}

// IInputObject

STDMETHODIMP CTavisto::UIActivateIO(BOOL activate, MSG*) noexcept {
    // SetFocus(null) would take the focus away from the host's windows.
    if (activate && window() != nullptr) {
        SetFocus(window());
    }
    return S_OK;
}

STDMETHODIMP CTavisto::HasFocusIO() noexcept {
    return hasFocus_ ? S_OK : S_FALSE;
}

STDMETHODIMP CTavisto::TranslateAcceleratorIO(MSG*) noexcept {
    return S_FALSE;
}

// The band window's side

void CTavisto::windowCreated(HWND window) noexcept {
    try {
        panelWindow_ =
            std::make_unique<window::PanelWindow>(window, panelHost(), window::DpiSource::Screen);
    } catch (...) {
        // Out of memory: the band stays empty.
        reportCaughtException("the band's panel");
    }
}

void CTavisto::windowDestroying() noexcept {
    panelWindow_.reset();
}

void CTavisto::panelReloaded(bool lengthChanged) noexcept {
    if (!panelWindow_->source().refusal().empty()) {
        reportFailure("reloading the configuration", panelWindow_->source().refusal());
    }
    if (lengthChanged) {
        RECT client{};
        GetClientRect(window(), &client);
        pushBandSize(bandLength(), direction_ == BandDirection::Horizontal
                                       ? client.bottom - client.top
                                       : client.right - client.left);
    }
}

BandDirection CTavisto::panelDirection() noexcept {
    direction_ =
        window::bandDirectionOf(parentWindow_ != nullptr ? parentWindow_ : GetParent(window()));
    return direction_;
}

void CTavisto::focusChanged(bool focused) noexcept {
    hasFocus_ = focused ? TRUE : FALSE;
    if (site_) {
        site_->OnFocusChangeIS(primary(), hasFocus_);
    }
}

std::int32_t CTavisto::bandLength() const noexcept {
    return panelWindow_ ? panelWindow_->bandLength() : 0;
}

void CTavisto::pushBandSize(std::int32_t newLength, std::int32_t thickness) noexcept {
    // Before the first ShowDW(TRUE) the band's index in the parent is unknown.
    if (!bandIndex_) {
        return;
    }
    DESKBANDINFO info{};
    info.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL;
    GetBandInfo(bandId_, 0, &info);
    REBARBANDINFOW band{};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_CHILDSIZE;
    band.fStyle = RBBS_HIDETITLE;
    band.cch = 0;
    band.cxMinChild = static_cast<UINT>(info.ptMinSize.x);
    band.cyMinChild = static_cast<UINT>(info.ptMinSize.y);
    band.cyChild = static_cast<UINT>(thickness);
    band.cyMaxChild = static_cast<UINT>(thickness);
    band.cyIntegral = static_cast<UINT>(info.ptIntegral.y);
    const auto index = static_cast<WPARAM>(*bandIndex_);
    SendMessageW(parentWindow_, RB_SETBANDINFOW, index, reinterpret_cast<LPARAM>(&band));
    SendMessageW(parentWindow_, RB_SETBANDWIDTH, index, newLength);
}

void CTavisto::destroyBandWindow() noexcept {
    if (window() == nullptr) {
        return;
    }
    ShowWindow(window(), SW_HIDE);
    destroyWindow();
    unregisterBandWindowClass();
}

}  // namespace tavisto::shell
