#include "companion/settings_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "companion/autostart.h"
#include "companion/control_text.h"
#include "companion/counter_picker.h"
#include "companion/example_file.h"
#include "companion/preview_window.h"
#include "companion/settings_controls.h"
#include "companion/taskbar_finder.h"
#include "companion/taskbar_host.h"
#include "core/failure_sink.h"
#include "core/windows_path.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_services.h"
#include "platform/win32/taskbar_theme.h"
#include "tavisto_version.h"
#include "window/configuration_location.h"
#include "window/module_file.h"
#include "window/panel_window.h"
#include "window/window_texts.h"

namespace tavisto::companion {
namespace {

constexpr wchar_t kAbout[] = TAVISTO_NAME_AND_VERSION_WIDE;
constexpr int kFindingsLabel = 104;
// Posted by the background check when a result is ready.
constexpr UINT kCheckReady = WM_APP + 1;
// A check that takes longer than this after a request has the state line marked as
// being checked again; a quicker one changes nothing before its result.
constexpr UINT_PTR kCheckingTimer = 1;
constexpr UINT kCheckingMarkMilliseconds = 300;

// Sizes in pixels at 96 DPI.
constexpr int kClientWidth = 660;
constexpr int kClientHeight = 472;
constexpr int kMargin = 10;
constexpr int kLineHeight = 20;
constexpr int kButtonHeight = 26;
constexpr int kGap = 6;
// Around a button's text, and above and below a line's text.
constexpr int kButtonPadding = 20;
constexpr int kButtonTextRoom = 10;
constexpr int kLineTextRoom = 4;
// Around a heading's text in the findings list.
constexpr int kColumnPadding = 16;
// A check box's box and the space before its text.
constexpr int kCheckBoxRoom = 24;
// A horizontal taskbar's height.
constexpr int kPreviewHeight = 40;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Behind the preview, as Windows 10 and 11 draw a dark and a light taskbar by default.
constexpr COLORREF kDarkTaskbar = RGB(0x20, 0x20, 0x20);
constexpr COLORREF kLightTaskbar = RGB(0xEE, 0xEE, 0xEE);

bool autostartInstalled() noexcept {
    return RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

// Whether the taskbar is one that docks desk bands, where the band shows the meters.
bool taskbarHostsDeskBands() noexcept {
    const HWND taskbar = findPrimaryTaskbar();
    return taskbar != nullptr && judgeTaskbar(taskbar) == TaskbarKind::HostsDeskBands;
}

struct ControlDefinition {
    int id;
    const wchar_t* className;
    DWORD style;
};

// In tab order.
constexpr auto kControls = std::to_array<ControlDefinition>({
    {kPathText, WC_STATICW, SS_NOPREFIX | SS_PATHELLIPSIS},
    {kStateText, WC_STATICW, SS_NOPREFIX | SS_ENDELLIPSIS},
    {kPreviewNote, WC_STATICW, SS_NOPREFIX | SS_ENDELLIPSIS},
    {kFindingsLabel, WC_STATICW, 0},
    {kFindingsList, WC_LISTVIEWW,
     WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS},
    {kCheckAgainButton, WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON},
    {kEditButton, WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON},
    {kOpenFolderButton, WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON},
    {kCreateButton, WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON},
    {kCountersButton, WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON},
    {kShowValuesButton, WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON},
    {kTaskManagerButton, WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON},
    {kTaskbarCheckBox, WC_BUTTONW, WS_TABSTOP | BS_AUTOCHECKBOX},
    {kAboutText, WC_STATICW, SS_NOPREFIX},
});

// The controls whose text is one of the window's texts.
constexpr auto kControlTexts = std::to_array<std::pair<int, TextId>>({
    {kFindingsLabel, TextId::SettingsFindingsLabel},
    // Named as its label is: screen readers that do not look for the label read the name.
    {kFindingsList, TextId::SettingsFindingsName},
    {kCheckAgainButton, TextId::SettingsCheckAgain},
    {kEditButton, TextId::SettingsEdit},
    {kOpenFolderButton, TextId::SettingsOpenFolder},
    {kCreateButton, TextId::SettingsCreateFromExample},
    {kCountersButton, TextId::SettingsCounters},
    {kShowValuesButton, TextId::SettingsShowValues},
    {kTaskManagerButton, TextId::SettingsTaskManager},
    {kTaskbarCheckBox, TextId::SettingsShowOnTaskbar},
});

constexpr auto kColumnHeadings =
    std::to_array<TextId>({TextId::SettingsColumnSeverity, TextId::SettingsColumnPosition,
                           TextId::SettingsColumnMessage});

// The row of buttons, each at least as wide as this (at 96 DPI) and as its text needs.
constexpr auto kButtons = std::to_array<std::pair<int, int>>({{kCheckAgainButton, 95},
                                                              {kEditButton, 60},
                                                              {kOpenFolderButton, 95},
                                                              {kCreateButton, 140},
                                                              {kCountersButton, 90},
                                                              {kShowValuesButton, 95},
                                                              {kTaskManagerButton, 100}});

// Opens a file or folder as the shell's "open" verb does, without the shell's own
// error messages (the caller shows its own).
bool openWithShell(HWND owner, const std::wstring& path) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

}  // namespace

SettingsWindow::SettingsWindow(std::wstring folder)
    : folder_(joinPath(folder, {})),
      file_(window::configurationFileIn(folder_)),
      texts_(&window::windowTexts("")) {
    // "Checking…" before the first result, in the window's language.
    status_.texts = texts_;
}

SettingsWindow::~SettingsWindow() {
    // Both post to the window: stop them first.
    watcher_.reset();
    check_.reset();
    destroyWindow();
}

int SettingsWindow::run() noexcept {
    try {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                            ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        const HINSTANCE instance = window::thisModule();
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kSettingsWindowClass;
        if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            return 1;
        }
        // The procedure takes ownership of the window at WM_NCCREATE.
        if (CreateWindowExW(WS_EX_CONTROLPARENT, kSettingsWindowClass,
                            window::wideText(*texts_, TextId::SettingsTitle).c_str(), kStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr,
                            nullptr, instance, this) == nullptr ||
            window() == nullptr) {
            return 1;
        }
        // Sized, to its texts, once the DPI of its monitor is known.
        applyDpi(static_cast<UINT>(win32::Win32Screen(window()).dpi().vertical));
        if (!file_.empty()) {
            check_ = std::make_unique<BackgroundCheck>(file_, window(), kCheckReady);
            watcher_ = std::make_unique<window::ConfigWatcher>(folder_, window());
        }
        recheck();
        ShowWindow(window(), SW_SHOWNORMAL);
        SetForegroundWindow(window());
        SetFocus(control(kEditButton));

        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            // Tab, arrows, mnemonics, Enter and Esc as in a dialog, in this window and in
            // the counter picker.
            const HWND root =
                message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
            if (root != nullptr && IsDialogMessageW(root, &message)) {
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return 0;
    } catch (...) {
        reportCaughtException("the settings window");
        return 1;
    }
}

// True when the message is answered without DefWindowProcW: with 0 unless set.
bool SettingsWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   LRESULT& result) {
    switch (message) {
        case WM_CREATE:
            createControls();
            return true;
        case WM_ERASEBKGND:
            eraseBackground(reinterpret_cast<HDC>(wParam));
            result = 1;
            return true;
        case window::kReloadMessage:
            // The check reads the file itself; taking the watcher's read lets it post again.
            if (watcher_) {
                watcher_->takeRead();
            }
            recheck();
            return true;
        case kCheckReady:
            if (check_) {
                if (std::optional<ConfigurationStatus> status = check_->take()) {
                    show(std::move(*status));
                }
            }
            return true;
        case kPreviewReloaded:
            showPreviewNote();
            showStateLine();
            return true;
        case WM_TIMER:
            if (wParam != kCheckingTimer) {
                return false;
            }
            KillTimer(window, kCheckingTimer);
            checkingTimer_ = false;
            showStateLine();
            return true;
        case WM_ACTIVATE:
            // The taskbar meters register the hotkey when they reload, which may be after
            // this window's check: looking again when the user comes back shows the outcome.
            if (LOWORD(wParam) != WA_INACTIVE) {
                showStateLine();
            }
            return false;
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return true;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == kFindingsList && header->code == NM_DBLCLK &&
                reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem >= 0) {
                edit();
            }
            return true;
        }
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            applyDpi(HIWORD(wParam));
            return true;
        }
        case WM_SYSCOLORCHANGE:
            // High contrast on or off: the preview's "auto" colours follow its text colour.
            if (preview_) {
                SendMessageW(preview_->window(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
                RedrawWindow(window, nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            }
            return false;
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETNONCLIENTMETRICS) {
                applyDpi(dpi_);
            }
            if (win32::announcesThemeChange(wParam, lParam) && preview_) {
                // The taskbar turned light or dark: its colour behind the preview, and the
                // preview's "auto" colours.
                SendMessageW(preview_->window(), WM_SETTINGCHANGE, wParam, lParam);
                RedrawWindow(window, nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            } else if (win32::announcesLocaleChange(lParam) && preview_) {
                // The preview's numbers take the locale's separators.
                SendMessageW(preview_->window(), WM_SETTINGCHANGE, wParam, lParam);
            }
            return false;
        case WM_CLOSE:
            DestroyWindow(window);
            return true;
        case WM_DESTROY:
            watcher_.reset();
            check_.reset();
            PostQuitMessage(0);
            return true;
        default:
            return false;
    }
}

void SettingsWindow::createControls() {
    const HINSTANCE instance = window::thisModule();
    for (const ControlDefinition& definition : kControls) {
        CreateWindowExW(0, definition.className, L"",
                        WS_CHILD | WS_VISIBLE | definition.style, 0, 0, 0, 0, window(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(definition.id)), instance,
                        nullptr);
    }
    const HWND list = control(kFindingsList);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int column = 0; column < static_cast<int>(kColumnHeadings.size()); ++column) {
        LVCOLUMNW heading{};
        heading.mask = LVCF_SUBITEM;
        heading.iSubItem = column;
        ListView_InsertColumn(list, column, &heading);
    }
    SetWindowTextW(control(kAboutText), kAbout);
    label();
    SetWindowTextW(control(kStateText),
                   window::wideText(*texts_, TextId::SettingsChecking).c_str());
    // Without a folder there is nothing to read or watch. The panel draws with GDI+;
    // without it the note says that there is no preview.
    if (!folder_.empty()) {
        gdiplus_ = std::make_unique<win32::GdiplusSession>();
        if (gdiplus_->started()) {
            preview_ = PreviewWindow::create(window(), kPreviewWindow);
        }
    }
    const bool deskBands = taskbarHostsDeskBands();
    ShowWindow(control(kTaskbarCheckBox), deskBands ? SW_HIDE : SW_SHOW);
    SendMessageW(control(kTaskbarCheckBox), BM_SETCHECK,
                 autostartInstalled() ? BST_CHECKED : BST_UNCHECKED, 0);
}

void SettingsWindow::applyDpi(UINT dpi) {
    dpi_ = dpi == 0 ? 96 : dpi;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    LOGFONTW logical{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        logical = metrics.lfMessageFont;
        // The metrics are those of the system DPI; the window may be on another monitor.
        const win32::WindowDc screen = win32::windowDc(nullptr);
        const int systemDpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
        logical.lfHeight = MulDiv(logical.lfHeight, static_cast<int>(dpi_), systemDpi);
    }
    win32::GdiFont created(logical.lfHeight != 0 ? CreateFontIndirectW(&logical) : nullptr);
    const HFONT font =
        created ? created.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (const ControlDefinition& definition : kControls) {
        SendMessageW(control(definition.id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (picker_) {
        picker_->setFont(font);
    }
    // Only now that no control uses the old font any more.
    font_ = std::move(created);
    fitToTexts();
}

void SettingsWindow::label() {
    const TextTable& texts = *texts_;
    SetWindowTextW(window(), window::wideText(texts, TextId::SettingsTitle).c_str());
    for (const auto& [id, textId] : kControlTexts) {
        SetWindowTextW(control(id), window::wideText(texts, textId).c_str());
    }
    for (int column = 0; column < static_cast<int>(kColumnHeadings.size()); ++column) {
        std::wstring words =
            window::wideText(texts, kColumnHeadings[static_cast<std::size_t>(column)]);
        LVCOLUMNW heading{};
        heading.mask = LVCF_TEXT;
        heading.pszText = words.data();
        ListView_SetColumn(control(kFindingsList), column, &heading);
    }
    SetWindowTextW(control(kPathText),
                   file_.empty()
                       ? window::wideText(texts, TextId::SettingsFileNone).c_str()
                       : filledText(texts, TextId::SettingsFile,
                                    {{u"file", std::u16string(file_.begin(), file_.end())}})
                             .c_str());
}

SettingsWindow::Metrics SettingsWindow::metrics() const {
    const auto scaled = [scale = platform::dpiScaleOf(dpi_)](int pixels) {
        return platform::scaledPixels(pixels, scale);
    };
    // Every control speaks the same font: one text's height serves them all.
    const int textHeight = controlTextSize(control(kFindingsLabel)).height;
    Metrics metrics{scaled(kMargin), scaled(kGap),
                    std::max(scaled(kLineHeight), textHeight + scaled(kLineTextRoom)),
                    std::max(scaled(kButtonHeight), textHeight + scaled(kButtonTextRoom)),
                    {}, 0};
    static_assert(std::tuple_size_v<decltype(Metrics::buttonWidths)> == kButtons.size());
    for (std::size_t index = 0; index < kButtons.size(); ++index) {
        const auto& [id, leastWidth] = kButtons[index];
        metrics.buttonWidths[index] = std::max(
            scaled(leastWidth), controlTextSize(control(id)).width + scaled(kButtonPadding));
    }
    metrics.checkBoxWidth =
        controlTextSize(control(kTaskbarCheckBox)).width + scaled(kCheckBoxRoom);
    return metrics;
}

void SettingsWindow::fitToTexts() {
    const Metrics sizes = metrics();
    // Room for every button, the one shown only without a file too, so that the window
    // keeps its width when that one comes or goes.
    int buttonRow = 2 * sizes.margin - sizes.gap;
    for (const int width : sizes.buttonWidths) {
        buttonRow += width + sizes.gap;
    }
    const double scale = platform::dpiScaleOf(dpi_);
    const int width = std::max({platform::scaledPixels(kClientWidth, scale), buttonRow,
                                sizes.checkBoxWidth + 2 * sizes.margin});
    RECT frame{0, 0, width, platform::scaledPixels(kClientHeight, scale)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_CONTROLPARENT);
    SetWindowPos(window(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    layout();
}

void SettingsWindow::layout() {
    const auto scaled = [scale = platform::dpiScaleOf(dpi_)](int pixels) {
        return platform::scaledPixels(pixels, scale);
    };
    RECT client{};
    GetClientRect(window(), &client);
    const Metrics sizes = metrics();
    const int margin = sizes.margin;
    const int line = sizes.line;
    const int button = sizes.button;
    const int gap = sizes.gap;
    const int width = client.right - 2 * margin;
    const auto place = [this](int id, int x, int y, int w, int h) {
        SetWindowPos(control(id), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    int y = margin;
    place(kPathText, margin, y, width, line);
    y += line + gap;
    place(kStateText, margin, y, width, line);
    y += line + gap;
    place(kPreviewNote, margin, y, width, line);
    y += line;
    place(kPreviewWindow, margin, y, width, scaled(kPreviewHeight));
    y += scaled(kPreviewHeight) + gap;
    place(kFindingsLabel, margin, y, width, line);
    y += line;
    const int bottom = client.bottom - margin - line - gap - line - gap - button - gap;
    place(kFindingsList, margin, y, width, bottom - y);
    const HWND list = control(kFindingsList);
    // The first two columns as wide as their heading or their widest word needs.
    const auto columnWidth = [&](int leastWidth, std::initializer_list<TextId> words) {
        int widest = scaled(leastWidth);
        for (const TextId id : words) {
            widest = std::max(widest,
                              ListView_GetStringWidth(list, window::wideText(*texts_, id).c_str()) +
                                  scaled(kColumnPadding));
        }
        return widest;
    };
    const int severity = columnWidth(70, {TextId::SettingsColumnSeverity,
                                          TextId::SettingsSeverityError,
                                          TextId::SettingsSeverityWarning});
    const int position = columnWidth(80, {TextId::SettingsColumnPosition});
    ListView_SetColumnWidth(list, kSeverityColumn, severity);
    ListView_SetColumnWidth(list, kPositionColumn, position);
    ListView_SetColumnWidth(list, kMessageColumn,
                            width - severity - position - GetSystemMetrics(SM_CXVSCROLL) -
                                scaled(4));
    y = bottom + gap;
    int x = margin;
    for (std::size_t index = 0; index < kButtons.size(); ++index) {
        const int id = kButtons[index].first;
        // A hidden button leaves no gap in the row.
        if ((GetWindowLongPtrW(control(id), GWL_STYLE) & WS_VISIBLE) == 0) {
            continue;
        }
        place(id, x, y, sizes.buttonWidths[index], button);
        x += sizes.buttonWidths[index] + gap;
    }
    y += button + gap;
    place(kTaskbarCheckBox, margin, y, width, line);
    y += line + gap;
    place(kAboutText, margin, y, width, line);
}

void SettingsWindow::recheck() {
    if (file_.empty()) {
        show({ConfigurationState::NoFolder,
              window::wideText(*texts_, TextId::SettingsNoFolder),
              {},
              {},
              texts_});
    } else if (!check_->running()) {
        show({ConfigurationState::Unreadable,
              window::wideText(*texts_, TextId::SettingsNotStarted),
              {},
              {},
              texts_});
    } else {
        check_->request();
        // Not set again by every request: saves faster than the delay still see the mark.
        if (!checkingTimer_) {
            checkingTimer_ =
                SetTimer(window(), kCheckingTimer, kCheckingMarkMilliseconds, nullptr) != 0;
        }
    }
}

void SettingsWindow::show(ConfigurationStatus status) {
    status_ = std::move(status);
    if (status_.state == ConfigurationState::Loaded) {
        lastLoadedWrittenAt_ = status_.writtenAt;
    }
    // The file's "language" changed, or the file now names none: the window follows.
    if (status_.texts != texts_) {
        texts_ = status_.texts;
        label();
        fitToTexts();
        // The window drew its background over the controls that grew: all again, in order.
        RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    showStateLine();
    showPreviewNote();
    const HWND list = control(kFindingsList);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    int row = 0;
    for (const Finding& finding : status_.findings) {
        std::array cells{severityText(*texts_, finding.severity), positionText(finding),
                         messageText(*texts_, finding)};
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = cells[0].data();
        ListView_InsertItem(list, &item);
        ListView_SetItemText(list, row, kPositionColumn, cells[1].data());
        ListView_SetItemText(list, row, kMessageColumn, cells[2].data());
        ++row;
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    const bool missing = status_.state == ConfigurationState::Missing;
    const HWND create = control(kCreateButton);
    // Its own style, not IsWindowVisible: the window itself is hidden at the first check.
    const bool shown = (GetWindowLongPtrW(create, GWL_STYLE) & WS_VISIBLE) != 0;
    if (missing != shown) {
        // Focus must not stay on a control that is hidden.
        if (!missing && GetFocus() == create) {
            SetFocus(control(kEditButton));
        }
        ShowWindow(create, missing ? SW_SHOW : SW_HIDE);
        layout();
    }
    const bool noFolder = status_.state == ConfigurationState::NoFolder;
    EnableWindow(control(kEditButton), missing || noFolder ? FALSE : TRUE);
    EnableWindow(control(kOpenFolderButton), noFolder ? FALSE : TRUE);
}

void SettingsWindow::showStateLine() {
    std::wstring line =
        stateLineWithLastLoad(status_, lastLoadedWrittenAt_, check_ && check_->checking());
    // The running taskbar meters put why they hold no hotkey in their control window's
    // caption, after "Tavisto: ". Reading another process's caption sends no message, so
    // a hung companion cannot hold this window up. Only the caption of a window of this
    // program is read: any program can name a window of that class as it likes.
    if (const HWND host = findRunningHostWindow(); host != nullptr) {
        std::array<wchar_t, 512> caption{};
        const int length = GetWindowTextW(host, caption.data(), static_cast<int>(caption.size()));
        const std::wstring_view text(caption.data(), static_cast<std::size_t>(std::max(length, 0)));
        constexpr std::wstring_view prefix = L"Tavisto: ";
        if (text.starts_with(prefix)) {
            const std::wstring_view reason = text.substr(prefix.size());
            line = filledText(*texts_, TextId::SettingsHotkey,
                              {{u"state", std::u16string(line.begin(), line.end())},
                               {u"reason", std::u16string(reason.begin(), reason.end())}});
        }
    }
    SetWindowTextW(control(kStateText), line.c_str());
}

void SettingsWindow::showPreviewNote() {
    // Until the first check answers, it is not known whether the file the preview shows
    // is the current one.
    if (status_.stateLine.empty()) {
        return;
    }
    TextId note = TextId::SettingsPreviewNone;
    if (!preview_ && !folder_.empty()) {
        note = TextId::SettingsPreviewUnavailable;
    } else if (preview_ && preview_->showsMeters()) {
        // The panel keeps the last file that loaded when this one is refused or gone.
        note = status_.state == ConfigurationState::Loaded ? TextId::SettingsPreviewLive
                                                           : TextId::SettingsPreviewLastLoaded;
    }
    SetWindowTextW(control(kPreviewNote), window::wideText(*texts_, note).c_str());
}

void SettingsWindow::eraseBackground(HDC dc) noexcept {
    RECT client{};
    GetClientRect(window(), &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    if (!preview_) {
        return;
    }
    RECT strip{};
    GetWindowRect(preview_->window(), &strip);
    MapWindowPoints(nullptr, window(), reinterpret_cast<POINT*>(&strip), 2);
    const bool light = win32::Win32ThemeSettings().taskbarTheme() == platform::TaskbarTheme::Light;
    SetDCBrushColor(dc, light ? kLightTaskbar : kDarkTaskbar);
    FillRect(dc, &strip, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void SettingsWindow::command(int id, int code) {
    if (id == IDCANCEL) {
        // Esc, as IsDialogMessageW reports it.
        DestroyWindow(window());
        return;
    }
    if (id == IDOK) {
        // Enter, as IsDialogMessageW reports it: on a finding it opens the file, as a
        // double-click does.
        const HWND list = GetDlgItem(window(), kFindingsList);
        if (GetFocus() == list && ListView_GetNextItem(list, -1, LVNI_SELECTED) >= 0) {
            edit();
        }
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    // Without a folder these would act on a file or folder relative to wherever the
    // program was started.
    if (folder_.empty() && (id == kEditButton || id == kOpenFolderButton || id == kCreateButton)) {
        return;
    }
    switch (id) {
        case kCheckAgainButton:
            recheck();
            break;
        case kEditButton:
            edit();
            break;
        case kOpenFolderButton:
            openFolder();
            break;
        case kCreateButton:
            createFile();
            break;
        case kCountersButton:
            if (picker_ && picker_->window() != nullptr) {
                SetForegroundWindow(picker_->window());
            } else {
                picker_ = CounterPicker::open(
                    window(),
                    font_ ? font_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)),
                    dpi_, *texts_);
            }
            break;
        case kShowValuesButton:
            // The preview's panel reads the same file as the taskbar's meters.
            showValues(values_, [this] {
                return ShownValues{
                    preview_ ? preview_->spokenValues() : std::vector<SpokenGroup>{},
                    texts_};
            });
            break;
        case kTaskManagerButton:
            window::startTaskManager();
            break;
        case kTaskbarCheckBox:
            toggleTaskbarMeters();
            break;
        default:
            break;
    }
}

void SettingsWindow::edit() {
    // The user's program for .json files when there is one: without it ShellExecuteExW
    // would offer the "open with" dialog, so Notepad is started instead.
    wchar_t program[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (SUCCEEDED(AssocQueryStringW(ASSOCF_INIT_IGNOREUNKNOWN, ASSOCSTR_EXECUTABLE, L".json",
                                    L"open", program, &size))) {
        if (openWithShell(window(), file_)) {
            return;
        }
    }
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        showError(window::wideText(*texts_, TextId::SettingsNotepadMissing), GetLastError());
        return;
    }
    const std::wstring notepad = joinPath(system, L"notepad.exe");
    std::wstring commandLine = L"\"" + notepad + L"\" \"" + file_ + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(notepad.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        showError(window::wideText(*texts_, TextId::SettingsNotepadFailed), GetLastError());
        return;
    }
    // Notepad runs on its own: its handles are closed at once.
    win32::ownProcess(process);
}

void SettingsWindow::openFolder() {
    if (!openWithShell(window(), folder_)) {
        showError(filledText(*texts_, TextId::SettingsFolderFailed,
                             {{u"folder", std::u16string(folder_.begin(), folder_.end())}}),
                  GetLastError());
    }
}

void SettingsWindow::createFile() {
    const HINSTANCE instance = window::thisModule();
    const HRSRC found =
        FindResourceW(instance, MAKEINTRESOURCEW(kExampleConfigurationResource), RT_RCDATA);
    const HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        showError(window::wideText(*texts_, TextId::SettingsExampleMissing), GetLastError());
        return;
    }
    const std::string_view content(static_cast<const char*>(bytes),
                                   SizeofResource(instance, found));
    const CreateResult result = createFromExample(folder_, file_, content);
    if (result.outcome == CreateResult::Outcome::Failed) {
        showError(filledText(*texts_, TextId::SettingsCreateFailed,
                             {{u"folder", std::u16string(folder_.begin(), folder_.end())}}),
                  result.error);
    }
    // Also when the file appeared meanwhile: the window then shows that file.
    recheck();
}

void SettingsWindow::toggleTaskbarMeters() {
    const HWND box = control(kTaskbarCheckBox);
    const bool show = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (show) {
        const std::wstring program = window::moduleFileName(window::thisModule());
        if (!installAutostart(program)) {
            SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
            showError(window::wideText(*texts_, TextId::SettingsAutostartFailed), 0);
            return;
        }
        std::wstring commandLine = autostartCommand(program);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &process)) {
            // The taskbar meters run on their own: the handles are closed at once.
            win32::ownProcess(process);
        }
        return;
    }
    if (!uninstallAutostart()) {
        SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
        showError(window::wideText(*texts_, TextId::SettingsAutostartRemoveFailed), 0);
        return;
    }
    // The running taskbar meters end when their control window closes.
    if (const HWND host = findRunningHostWindow(); host != nullptr) {
        PostMessageW(host, WM_CLOSE, 0, 0);
    }
}

void SettingsWindow::showError(const std::wstring& what, DWORD error) {
    const std::wstring text =
        error == 0 ? what : what + L"\n\n" + systemErrorText(*texts_, error);
    MessageBoxW(window(), text.c_str(), window::wideText(*texts_, TextId::SettingsTitle).c_str(),
                MB_OK | MB_ICONERROR);
}

bool bringRunningWindowForward() noexcept {
    // The first instance may still be creating its window: look for a little while.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (const HWND running = FindWindowW(kSettingsWindowClass, nullptr); running != nullptr) {
            if (IsIconic(running)) {
                ShowWindow(running, SW_RESTORE);
            }
            SetForegroundWindow(running);
            return true;
        }
        Sleep(100);
    }
    return false;
}

}  // namespace tavisto::companion
