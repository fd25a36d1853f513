#include "companion/taskbar_host.h"

#include <algorithm>
#include <string>

#include "companion/log_file.h"
#include "companion/taskbar_finder.h"
#include "core/failure_sink.h"
#include "core/text_conversion.h"
#include "platform/win32/system_services.h"
#include "platform/win32/taskbar_theme.h"
#include "window/configuration_location.h"
#include "window/module_file.h"
#include "window/panel_window.h"
#include "window/window_texts.h"

namespace tavisto::companion {
namespace {

constexpr UINT_PTR kCheckTimer = 1;
// The watchdog: Explorer rebuilds its children, reorders them and takes windows of others
// out of its taskbar without telling anyone; the meters are back within two checks.
constexpr UINT kCheckMilliseconds = 500;
constexpr ULONGLONG kSteadyRetryDelay = 2000;
constexpr int kSteadyRetries = 5;
constexpr ULONGLONG kMaximumRetryDelay = 16000;
// How long a taskbar must be seen hosting desk bands before the program ends, and seen
// Plain before the meters go into it.
constexpr ULONGLONG kVerdictMilliseconds = 1500;

enum MenuCommand : UINT { kShowValues = 1, kSettings, kTaskManager, kReload, kExit };
constexpr int kShowValuesHotkey = 1;

// Beyond this many windows of the class, the running meters' window is not looked for:
// another program that creates windows of our class without end costs little.
constexpr int kMostHostWindows = 64;

// A file's volume and index, the same through every path to it.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const std::wstring& path) {
    const win32::FileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !GetFileInformationByHandle(file.get(), &information)) {
        return std::nullopt;
    }
    return FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                        information.nFileIndexLow};
}

// A line to the output the program was given: its console, a pipe or a file (as UTF-8).
void printLine(std::u16string_view line) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::wstring wide = window::wideText(line);
    DWORD written = 0;
    if (!WriteConsoleW(output, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
        const std::string bytes = utf16ToUtf8(line);
        WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

// The file the process runs; empty when it cannot be known.
std::wstring imageOf(DWORD processId) {
    const win32::KernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    std::wstring image(32768, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) {
        return {};
    }
    image.resize(length);
    return image;
}

bool sameFile(const std::wstring& path, const std::wstring& own,
              const std::optional<FileIdentity>& ownIdentity) {
    if (path.empty()) {
        return false;
    }
    if (CompareStringOrdinal(path.c_str(), static_cast<int>(path.size()), own.c_str(),
                             static_cast<int>(own.size()), TRUE) == CSTR_EQUAL) {
        return true;
    }
    return ownIdentity && identityOf(path) == ownIdentity;
}

UINT hotkeyModifiers(const Hotkey& hotkey) {
    UINT modifiers = MOD_NOREPEAT;
    modifiers |= (hotkey.modifiers & Hotkey::Control) != 0 ? MOD_CONTROL : 0;
    modifiers |= (hotkey.modifiers & Hotkey::Alt) != 0 ? MOD_ALT : 0;
    modifiers |= (hotkey.modifiers & Hotkey::Shift) != 0 ? MOD_SHIFT : 0;
    modifiers |= (hotkey.modifiers & Hotkey::Windows) != 0 ? MOD_WIN : 0;
    return modifiers;
}

}  // namespace

HWND findRunningHostWindow() noexcept {
    try {
        const std::wstring own = window::moduleFileName(window::thisModule());
        if (own.empty()) {
            return nullptr;
        }
        const std::optional<FileIdentity> ownIdentity = identityOf(own);
        HWND candidate = nullptr;
        for (int seen = 0; seen < kMostHostWindows; ++seen) {
            candidate = FindWindowExW(nullptr, candidate, kHostWindowClass, nullptr);
            if (candidate == nullptr) {
                break;
            }
            DWORD processId = 0;
            if (GetWindowThreadProcessId(candidate, &processId) != 0 &&
                sameFile(imageOf(processId), own, ownIdentity)) {
                return candidate;
            }
        }
    } catch (...) {
        reportCaughtException("looking for the taskbar meters");
    }
    return nullptr;
}

TaskbarHost::~TaskbarHost() {
    values_.reset();
    windows_.clear();
    if (source_) {
        source_->leave(*this);
    }
    destroyWindow();
}

int TaskbarHost::run() noexcept {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &procedure;
    windowClass.hInstance = window::thisModule();
    windowClass.lpszClassName = kHostWindowClass;
    if ((RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) ||
        !registerTaskbarWindowClass()) {
        log(L"the window classes cannot be registered");
        return 1;
    }
    taskbarCreated_ = RegisterWindowMessageW(kTaskbarCreatedMessage);
    // A real top-level window, never shown: broadcasts such as "TaskbarCreated" reach it,
    // and as a hidden tool window it has no taskbar button.
    if (CreateWindowExW(WS_EX_TOOLWINDOW, kHostWindowClass, L"Tavisto", WS_POPUP, 0, 0, 0, 0,
                        nullptr, nullptr, window::thisModule(), this) == nullptr ||
        window() == nullptr) {
        log(L"the control window cannot be created");
        return 1;
    }
    // Started elevated on purpose, the companion would never hear Explorer's broadcast:
    // it comes from a lower integrity level, which Windows drops unless this window
    // lets that one message through.
    ChangeWindowMessageFilterEx(window(), taskbarCreated_, MSGFLT_ALLOW, nullptr);
    // Read here once, before any window of ours joins the taskbar; later the panel
    // source's watcher reads the file, away from the thread the taskbar shares.
    readSettings(window::readConfiguration(window::configurationFile()).document);
    source_ = window::PanelSource::ofThisThread();
    if (!source_) {
        log(L"the meters cannot be started");
        return 1;
    }
    source_->join(*this);
    SetTimer(window(), kCheckTimer, kCheckMilliseconds, nullptr);
    check();

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return exitCode_;
}

bool TaskbarHost::handleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT&) {
    if (message == taskbarCreated_ && message != 0) {
        // Explorer (re)started. A window still in a ready taskbar of Explorer's stays; one
        // in the old taskbar, which may linger hidden and not answering, goes in check().
        log(window::wideText(texts(), TextId::TaskbarLogCreatedAgain));
        failedAttaches_ = 0;
        nextAttach_ = 0;
        check();
        return true;
    }
    switch (message) {
        case WM_SETTINGCHANGE:
            // Broadcasts reach top-level windows only: the taskbar windows hear it here.
            if (win32::announcesThemeChange(wParam, lParam)) {
                for (const auto& window : windows_) {
                    window->redrawForTheme();
                }
            }
            // The engine reads the locale's separators again; its windows draw again.
            if (win32::announcesLocaleChange(lParam) && source_) {
                source_->engine().localeChanged();
            }
            check();
            return false;
        case WM_SYSCOLORCHANGE:
            // High contrast on or off: "auto" colours follow its text colour at once.
            for (const auto& window : windows_) {
                window->redrawForTheme();
            }
            return false;
        case WM_POWERBROADCAST:
            // After sleep Explorer keeps its taskbar but may have rebuilt what is inside.
            if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
                check();
            }
            return false;
        case WM_TIMER:
        case WM_DISPLAYCHANGE:
        case WM_DPICHANGED:
        case kTaskbarWindowGone:
        case kTaskbarChanged:
            check();
            return false;
        case kConfigurationReloaded:
            if (source_) {
                readSettings(source_->lastSettings());
            }
            check();
            return true;
        case kShowMenu:
            showMenu(lParam);
            return true;
        case kShowValuesClicked:
            openValues();
            return true;
        case WM_HOTKEY:
            if (wParam == kShowValuesHotkey) {
                openValues();
            }
            return true;
        case WM_DESTROY:
            KillTimer(window(), kCheckTimer);
            if (hotkey_) {
                UnregisterHotKey(window(), kShowValuesHotkey);
                hotkey_.reset();
            }
            windows_.clear();
            PostQuitMessage(exitCode_);
            return false;
        default:
            return false;
    }
}

void TaskbarHost::sourceReloaded() noexcept {
    PostMessageW(window(), kConfigurationReloaded, 0, 0);
}

void TaskbarHost::readSettings(const nlohmann::json& document) noexcept {
    // A file that does not parse keeps the settings in force, as it keeps the meters.
    if (!document.is_object()) {
        return;
    }
    try {
        settings_ = readTaskbarSettings(document);
        std::string error;
        const std::optional<Hotkey> hotkey = readHotkey(document, error);
        // Read before the meters start, the file's own "language" says how to tell.
        registerHotkey(hotkey, error,
                       source_ ? source_->texts()
                               : window::windowTexts(window::configuredLanguage(document)));
    } catch (...) {
        reportCaughtException("reading the taskbar settings");
    }
}

void TaskbarHost::check() noexcept {
    try {
        std::erase_if(windows_, [](const std::unique_ptr<TaskbarWindow>& window) {
            return !window->attached();
        });
        const HWND primary = findPrimaryTaskbar();
        const TaskbarKind kind = judgeTaskbar(primary);
        if (kind == TaskbarKind::NotReady) {
            if (!reportedWaiting_) {
                log(window::wideText(texts(), TextId::TaskbarLogWaiting));
                reportedWaiting_ = true;
            }
            plainSince_ = 0;
            return;
        }
        reportedWaiting_ = false;
        const ULONGLONG now = GetTickCount64();
        // A Windows 10 taskbar is Plain until Explorer has made its band site: the meters
        // go into a Plain one once it has stayed so for a while. Those already in a
        // taskbar stay while it is rebuilt.
        if (kind != TaskbarKind::Plain) {
            plainSince_ = 0;
        } else if (plainSince_ == 0) {
            plainSince_ = now;
        }
        const bool mayAttach =
            kind != TaskbarKind::Plain || force_ || now - plainSince_ >= kVerdictMilliseconds;
        if (takesTheMeters(kind) || force_) {
            deskBandSince_ = 0;
        } else if (deskBandSince_ == 0 || now - deskBandSince_ < kVerdictMilliseconds) {
            // Explorer may show a taskbar before it has made its children: the verdict
            // must hold for a while before the program gives way to the desk band.
            deskBandSince_ = deskBandSince_ == 0 ? now : deskBandSince_;
            return;
        } else {
            const std::u16string_view deskBandTaskbar =
                text(texts(), TextId::TaskbarLogDeskBandTaskbar);
            log(window::wideText(deskBandTaskbar));
            // Seen when started from a console; a program without one has no output.
            printLine(u"Tavisto: " + std::u16string(deskBandTaskbar) + u"\n");
            quit(0);
            return;
        }
        std::vector<HWND> wanted{primary};
        if (settings_.monitors == Monitors::All) {
            const std::vector<HWND> secondary = findSecondaryTaskbars();
            wanted.insert(wanted.end(), secondary.begin(), secondary.end());
        }
        std::erase_if(windows_, [&](const std::unique_ptr<TaskbarWindow>& window) {
            return std::find(wanted.begin(), wanted.end(), window->taskbar()) == wanted.end();
        });
        for (const auto& window : windows_) {
            window->followScale();
        }
        if (now >= nextAttach_ && mayAttach) {
            for (const HWND taskbar : wanted) {
                const bool has = std::any_of(windows_.begin(), windows_.end(), [&](const auto& w) {
                    return w->taskbar() == taskbar;
                });
                if (!has) {
                    attachTo(taskbar, taskbar == primary);
                    if (failedAttaches_ > 0) {
                        break;
                    }
                }
            }
        }
        for (const auto& window : windows_) {
            window->place(settings_);
        }
        logRefusal();
    } catch (...) {
        // Out of memory: the next check tries again.
        reportCaughtException("checking the taskbars");
    }
}

void TaskbarHost::logRefusal() noexcept {
    try {
        if (!source_ || source_->refusal() == loggedRefusal_ || windows_.empty()) {
            return;
        }
        std::string refusal = source_->refusal();
        if (refusal.empty()) {
            log(window::wideText(texts(), TextId::TaskbarLogLoaded));
        } else {
            const std::u16string reason = utf8ToUtf16(printableText(refusal));
            log(window::wideText(fillText(text(texts(), source_->engine().loaded()
                                                            ? TextId::TaskbarLogRefusedShowingLast
                                                            : TextId::TaskbarLogRefusedNoMeters),
                                          {{u"reason", reason}})));
        }
        loggedRefusal_ = std::move(refusal);
    } catch (...) {
        reportCaughtException("logging a refusal");
    }
}

void TaskbarHost::attachTo(HWND taskbar, bool primary) {
    std::u16string failure;
    std::unique_ptr<TaskbarWindow> window =
        TaskbarWindow::attach(taskbar, primary, this->window(), texts(), failure);
    if (!window) {
        ++failedAttaches_;
        // Every 2 s while Explorer is likely still making its taskbar, then less often.
        const ULONGLONG delay = failedAttaches_ <= kSteadyRetries
                                    ? kSteadyRetryDelay
                                    : std::min<ULONGLONG>(kSteadyRetryDelay << std::min(
                                                              failedAttaches_ - kSteadyRetries, 3),
                                                          kMaximumRetryDelay);
        nextAttach_ = GetTickCount64() + delay;
        const std::u16string seconds = utf8ToUtf16(std::to_string(delay / 1000));
        log(window::wideText(fillText(text(texts(), TextId::TaskbarLogAttachFailed),
                                      {{u"reason", failure}, {u"seconds", seconds}})));
        return;
    }
    failedAttaches_ = 0;
    nextAttach_ = 0;
    windows_.push_back(std::move(window));
}

void TaskbarHost::showMenu(LPARAM screenPoint) noexcept {
    const win32::Menu owned(CreatePopupMenu());
    const HMENU menu = owned.get();
    if (menu == nullptr) {
        return;
    }
    try {
        const TextTable& words = texts();
        const auto item = [&](UINT command, TextId id) {
            AppendMenuW(menu, MF_STRING, command, window::wideText(words, id).c_str());
        };
        item(kShowValues, TextId::MeterMenuShowValues);
        item(kSettings, TextId::MeterMenuSettings);
        item(kTaskManager, TextId::MeterMenuTaskManager);
        item(kReload, TextId::MeterMenuReload);
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        item(kExit, TextId::MeterMenuExit);
    } catch (...) {
        // Out of memory for an item's text: no menu rather than part of one.
        reportCaughtException("making the meters' menu");
        return;
    }
    POINT at{static_cast<short>(LOWORD(screenPoint)), static_cast<short>(HIWORD(screenPoint))};
    if (screenPoint == -1) {
        GetCursorPos(&at);
    }
    // The menu closes when the user clicks elsewhere only if its owner is in the
    // foreground; the posted null message lets it close at once after a choice.
    SetForegroundWindow(window());
    const auto command = static_cast<UINT>(TrackPopupMenuEx(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, window(), nullptr));
    PostMessageW(window(), WM_NULL, 0, 0);
    switch (command) {
        case kShowValues:
            openValues();
            break;
        case kSettings:
            try {
                // This program itself, without arguments: its settings window.
                window::launch(window::companionLaunch(window::modulePath()));
            } catch (...) {
                // Out of memory forming the path: the settings window is not started.
                reportCaughtException("starting the settings window");
            }
            break;
        case kTaskManager:
            window::startTaskManager();
            break;
        case kReload:
            if (source_) {
                source_->readConfigurationAgain();
            }
            break;
        case kExit:
            quit(0);
            break;
        default:
            break;
    }
}

void TaskbarHost::openValues() noexcept {
    showValues(values_, [this] {
        // The primary taskbar's window comes first; any window shows the same file.
        for (const auto& window : windows_) {
            if (window->showsMeters()) {
                return ShownValues{window->spokenValues(), &texts()};
            }
        }
        return ShownValues{{}, &texts()};
    });
}

void TaskbarHost::registerHotkey(const std::optional<Hotkey>& wanted, const std::string& error,
                                 const TextTable& texts) noexcept {
    try {
        if (wanted == hotkey_ && error.empty()) {
            return;
        }
        if (hotkey_) {
            UnregisterHotKey(window(), kShowValuesHotkey);
            hotkey_.reset();
        }
        std::u16string problem;
        if (!error.empty()) {
            problem = fillText(text(texts, TextId::HotkeyUnreadable),
                               {{u"error", utf8ToUtf16(printableText(error))}});
        }
        if (wanted) {
            if (RegisterHotKey(window(), kShowValuesHotkey, hotkeyModifiers(*wanted),
                               wanted->key)) {
                hotkey_ = wanted;
            } else {
                const DWORD failure = GetLastError();
                problem = failure == ERROR_HOTKEY_ALREADY_REGISTERED
                              ? std::u16string(text(texts, TextId::HotkeyTaken))
                              : fillText(text(texts, TextId::HotkeyNotRegistered),
                                         {{u"code", utf8ToUtf16(std::to_string(failure))}});
            }
        }
        if (problem != hotkeyProblem_ && !problem.empty()) {
            log(window::wideText(problem));
        }
        // The settings window, another process, shows the problem from the caption.
        std::wstring caption = L"Tavisto";
        if (!problem.empty()) {
            caption += L": " + window::wideText(problem);
        }
        SetWindowTextW(window(), caption.c_str());
        hotkeyProblem_ = std::move(problem);
    } catch (...) {
        reportCaughtException("registering the hotkey");
    }
}

const TextTable& TaskbarHost::texts() const {
    return source_ ? source_->texts() : window::windowTexts({});
}

void TaskbarHost::quit(int exitCode) noexcept {
    exitCode_ = exitCode;
    windows_.clear();
    if (window() != nullptr) {
        destroyWindow();
    } else {
        PostQuitMessage(exitCode);
    }
}

}  // namespace tavisto::companion
