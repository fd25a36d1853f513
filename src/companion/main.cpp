// Tavisto.exe, the companion program. "--taskbar" shows the meters inside the taskbar
// (see TaskbarHost); without arguments, as the desk band starts it, the settings window.

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "companion/autostart.h"
#include "companion/command_line.h"
#include "companion/log_file.h"
#include "companion/settings_window.h"
#include "companion/taskbar_host.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/handles.h"
#include "window/configuration_location.h"
#include "window/module_file.h"

namespace {

// One taskbar host per user session: a second one would draw a second set of meters.
constexpr wchar_t kSingleInstanceMutex[] = L"Local\\Tavisto.Taskbar";
// One settings window per user session: a second start shows the first.
constexpr wchar_t kSettingsInstanceMutex[] = L"Local\\Tavisto.Settings";

std::vector<std::wstring> arguments() {
    int count = 0;
    LPWSTR* const words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> result;
    if (words == nullptr) {
        return result;
    }
    for (int index = 1; index < count; ++index) {
        result.emplace_back(words[index]);
    }
    LocalFree(words);
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
    tavisto::companion::TaskbarHost host(force);
    return host.run();
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace tavisto::companion;
    try {
        const CommandLine command = parseCommandLine(arguments());
        switch (command.mode) {
            case Mode::Invalid:
                return 2;
            case Mode::Default:
                return runSettings();
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
        return 1;
    }
}
