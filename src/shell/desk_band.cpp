#include "shell/desk_band.h"

#include <commctrl.h>

#include <new>

#include "render/band_metrics.h"
#include "shell/band_window.h"
#include "shell/configuration_location.h"

namespace tavisto::shell {

// The size push hands the taskbar the full structure, as it expects.
static_assert(sizeof(REBARBANDINFOW) == 128);

HRESULT CTavisto::createAndQuery(REFIID riid, void** ppv) noexcept {
    CTavisto* band = nullptr;
    try {
        // Forms the process-wide paths before any watcher thread can read them.
        configurationFolder();
        band = new CTavisto();
    } catch (...) {
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
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
        IsEqualIID(riid, IID_IDockingWindow) || IsEqualIID(riid, IID_IDeskBand) ||
        IsEqualIID(riid, IID_IDeskBand2)) {
        *ppv = static_cast<IDeskBand2*>(this);
    } else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStream)) {
        *ppv = static_cast<IPersistStream*>(this);
    } else if (IsEqualIID(riid, IID_IObjectWithSite)) {
        *ppv = static_cast<IObjectWithSite*>(this);
    } else if (IsEqualIID(riid, IID_IInputObject)) {
        *ppv = static_cast<IInputObject*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CTavisto::AddRef() noexcept {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) CTavisto::Release() noexcept {
    const LONG remaining = InterlockedDecrement(&references_);
    if (remaining == 0) {
        // Calls made back into the object while it is destroyed must not bring the
        // count to 0 a second time.
        references_ = 1;
        delete this;
    }
    return static_cast<ULONG>(remaining);
}

// IOleWindow, IDockingWindow

STDMETHODIMP CTavisto::GetWindow(HWND* phwnd) noexcept {
    if (phwnd == nullptr) {
        return E_POINTER;
    }
    *phwnd = window_;
    return S_OK;
}

STDMETHODIMP CTavisto::ContextSensitiveHelp(BOOL) noexcept {
    return E_NOTIMPL;
}

STDMETHODIMP CTavisto::ShowDW(BOOL show) noexcept {
    if (window_ != nullptr) {
        if (show) {
            bandIndex_ = static_cast<int>(SendMessageW(parentWindow_, RB_IDTOINDEX, bandId_, 0));
        }
        ShowWindow(window_, show ? SW_SHOW : SW_HIDE);
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
    if (info->dwMask & DBIM_MINSIZE) {
        info->ptMinSize.x = length;
        info->ptMinSize.y = panel_ ? minimumThickness(panel_->model(), horizontalBand_) : 0;
    }
    if (info->dwMask & DBIM_MAXSIZE) {
        info->ptMaxSize = {-1, -1};
    }
    if (info->dwMask & DBIM_INTEGRAL) {
        info->ptIntegral = {1, 1};
    }
    if (info->dwMask & DBIM_ACTUAL) {
        info->ptActual.x = length;
        info->ptActual.y = panel_ ? actualThickness(panel_->model(), horizontalBand_) : 0;
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
    if (window_ != nullptr) {
        InvalidateRect(window_, nullptr, TRUE);
        UpdateWindow(window_);
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
    if (activate && window_ != nullptr) {
        SetFocus(window_);
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
    window_ = window;
    try {
        platform_ = std::make_unique<win32::BandWindowPlatform>(window);
    } catch (...) {
        // Without backends there is no panel: the band stays empty.
    }
    // Never two watchers for one object: the one of an earlier window ends first. The
    // new one is in place before the file is read, so no save falls between the two.
    watcher_.reset();
    // Without a configuration folder there is nothing to watch, and nothing is read.
    if (!configurationFolder().empty()) {
        try {
            watcher_ = std::make_unique<ConfigWatcher>(configurationFolder(), window);
        } catch (...) {
            // No watcher: the band keeps the configuration it loads now.
        }
    }
    reloadConfiguration();
}

void CTavisto::windowDestroying() noexcept {
    // The watcher posts to this window: it stops before the handle dies.
    watcher_.reset();
    panel_.reset();
    platform_.reset();
}

void CTavisto::windowDestroyed(HWND window) noexcept {
    if (window_ == window) {
        window_ = nullptr;
    }
}

void CTavisto::reloadConfiguration() noexcept {
    if (!platform_) {
        return;
    }
    try {
        std::optional<nlohmann::json> document = readConfiguration(configurationFile());
        if (!document) {
            return;
        }
        // Measured before a first panel exists (length 0), so that a band that had no
        // configuration tells the host its new length.
        const std::int32_t before = bandLength();
        if (!panel_) {
            // A document that parses but cannot be interpreted leaves the band empty.
            std::string error;
            panel_ = MeterPanel::create(platform_->services(), *document, horizontalBand_, error);
            if (!panel_) {
                return;
            }
        }
        panel_->reload(std::move(*document), horizontalBand_);
        const std::int32_t after = bandLength();
        if (after != before) {
            RECT client{};
            GetClientRect(window_, &client);
            pushBandSize(after,
                         horizontalBand_ ? client.bottom - client.top : client.right - client.left);
        }
    } catch (...) {
        // Out of memory while copying the path or the document: the band stays as it was.
    }
}

void CTavisto::resized() noexcept {
    RECT parent{};
    GetClientRect(parentWindow_ != nullptr ? parentWindow_ : GetParent(window_), &parent);
    horizontalBand_ = parent.bottom - parent.top > parent.right - parent.left ? 0 : 1;
    if (panel_) {
        panel_->relayout(horizontalBand_);
    }
}

void CTavisto::focusChanged(bool focused) noexcept {
    hasFocus_ = focused ? TRUE : FALSE;
    if (site_) {
        site_->OnFocusChangeIS(primary(), hasFocus_);
    }
}

void CTavisto::paint(HDC given) noexcept {
    win32::paintBand(window_, given, panel_ ? &panel_->surface() : nullptr);
}

std::int32_t CTavisto::bandLength() const noexcept {
    return panel_ ? tavisto::bandLength(panel_->model(), horizontalBand_) : 0;
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
    if (window_ == nullptr) {
        return;
    }
    ShowWindow(window_, SW_HIDE);
    DestroyWindow(window_);
    window_ = nullptr;
    unregisterBandWindowClass();
}

}  // namespace tavisto::shell
