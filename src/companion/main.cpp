// Tavisto.exe, the companion program. "--taskbar" shows the meters inside the taskbar
// (see TaskbarHost); without arguments, as the desk band starts it, the settings window;
// "--values" the Show values window alone, as a click on a group or an alert opens it;
// "--version" prints the version.

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "companion/autostart.h"
#include "companion/command_line.h"
#include "companion/log_file.h"
#include "companion/settings_window.h"
#include "companion/show_values_window.h"
#include "companion/taskbar_host.h"
#include "core/failure_sink.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/handles.h"
#include "tavisto_identifiers.h"
#include "tavisto_version.h"
#include "window/configuration_location.h"
#include "window/module_file.h"
#include "window/panel_source.h"

namespace {

// One taskbar host per user session: a second one would draw a second set of meters.
constexpr wchar_t kSingleInstanceMutex[] = TAVISTO_TASKBAR_MUTEX;
// One settings window per user session: a second start shows the first.
constexpr wchar_t kSettingsInstanceMutex[] = TAVISTO_SETTINGS_MUTEX;

std::vector<std::wstring> arguments() {
    int count = 0;
    const tavisto::win32::LocalMemory<LPWSTR*> words(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> result;
    if (!words) {
        return result;
    }
    for (int index = 1; index < count; ++index) {
        result.emplace_back(words.get()[index]);
    }
    return result;
}

int runTaskbar(bool force) {
    const tavisto::win32::KernelHandle instance(CreateMutexW(nullptr, FALSE, kSingleInstanceMutex));
    if (!instance || GetLastError() == ERROR_ALREADY_EXISTS) {
        return 0;
    }
    const tavisto::win32::GdiplusSession gdiplus;
    if (!gdiplus.started()) {
        tavisto::companion::log(L"GDI+ cannot be started");
        return 1;
    }
    // Screen readers reach the meters' accessible objects through this thread's apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int exitCode = 1;
    {
        tavisto::companion::TaskbarHost host(force);
        exitCode = host.run();
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return exitCode;
}

// A program for the Windows subsystem has no console of its own: the version goes to the
// output it was given (a pipe or a file), else to the console of the command prompt that
// started it, else into a message box.
int printVersion() {
    const std::wstring line = std::wstring(TAVISTO_NAME_AND_VERSION_WIDE) + L"\r\n";
    const auto length = static_cast<DWORD>(line.size());
    DWORD written = 0;
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE) {
        if (WriteConsoleW(output, line.c_str(), length, &written, nullptr)) {
            return 0;
        }
        // Not a console: the text is ASCII, so its UTF-16 units narrow to UTF-8 bytes.
        const std::string bytes(line.begin(), line.end());
        return WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                   ? 0
                   : 1;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        bool shown = false;
        {
            const tavisto::win32::FileHandle console(CreateFileW(
                L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
            shown =
                console && WriteConsoleW(console.get(), line.c_str(), length, &written, nullptr);
        }
        FreeConsole();
        if (shown) {
            return 0;
        }
    }
    MessageBoxW(nullptr, TAVISTO_NAME_AND_VERSION_WIDE, L"Tavisto", MB_OK | MB_ICONINFORMATION);
    return 0;
}

int runSettings() {
    const tavisto::win32::KernelHandle instance(
        CreateMutexW(nullptr, FALSE, kSettingsInstanceMutex));
    if (!instance || GetLastError() == ERROR_ALREADY_EXISTS) {
        tavisto::companion::bringRunningWindowForward();
        return 0;
    }
    // The shell's file associations, used by Edit and Open folder, want an apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const int exitCode =
        tavisto::companion::SettingsWindow(tavisto::window::configurationFolder()).run();
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    // A check of a large file may still run on its own thread: ending the process here
    // ends that thread before the static objects it may use are destroyed.
    ExitProcess(static_cast<UINT>(exitCode));
}

// The meters' values as this thread's panel source samples them, until the window closes.
int runValues() {
    const std::shared_ptr<tavisto::window::PanelSource> source =
        tavisto::window::PanelSource::ofThisThread();
    if (!source) {
        tavisto::companion::log(L"the meters cannot be started");
        return 1;
    }
    // The band or the taskbar meters tell of alerts: this window would tell them twice.
    source->engine().notifyThrough(nullptr);
    const std::unique_ptr<tavisto::companion::ShowValuesWindow> values =
        tavisto::companion::ShowValuesWindow::open([&source] {
            const tavisto::PanelEngine& engine = source->engine();
            return tavisto::companion::ShownValues{
                engine.loaded() ? tavisto::spokenGroups(engine.model(), engine.samples(),
                                                        engine.numberSeparators())
                                : std::vector<tavisto::SpokenGroup>{},
                &source->texts()};
        });
    if (!values) {
        tavisto::companion::log(L"the Show values window cannot be opened");
        return 1;
    }
    MSG message{};
    while (values->window() != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace tavisto::companion;
    tavisto::setFailureReporter(reportToDebugOutputAndLog);
    try {
        const CommandLine command = parseCommandLine(arguments());
        switch (command.mode) {
            case Mode::Invalid:
                return 2;
            case Mode::Default:
                return runSettings();
            case Mode::Version:
                return printVersion();
            case Mode::Values:
                return runValues();
            case Mode::Taskbar:
                break;
        }
        if (command.autostart == AutostartChange::Install) {
            return installAutostart(tavisto::window::moduleFileName(tavisto::window::thisModule()))
                       ? 0
                       : 1;
        }
        if (command.autostart == AutostartChange::Uninstall) {
            return uninstallAutostart() ? 0 : 1;
        }
        return runTaskbar(command.force);
    } catch (...) {
        tavisto::reportCaughtException("the companion's start");
        return 1;
    }
}
