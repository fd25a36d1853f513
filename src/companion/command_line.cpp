#include "companion/command_line.h"

#include "window/configuration_location.h"

namespace tavisto::companion {

CommandLine parseCommandLine(const std::vector<std::wstring>& arguments) {
    CommandLine result;
    if (arguments.size() == 1 && arguments.front() == L"--version") {
        result.mode = Mode::Version;
        return result;
    }
    if (arguments.size() == 1 && arguments.front() == window::kShowValuesSwitch) {
        result.mode = Mode::Values;
        return result;
    }
    bool taskbar = false;
    for (const std::wstring& argument : arguments) {
        if (argument == L"--taskbar") {
            taskbar = true;
        } else if (argument == L"--force") {
            result.force = true;
        } else if (argument == L"--install-autostart" &&
                   result.autostart != AutostartChange::Uninstall) {
            result.autostart = AutostartChange::Install;
        } else if (argument == L"--uninstall-autostart" &&
                   result.autostart != AutostartChange::Install) {
            result.autostart = AutostartChange::Uninstall;
        } else {
            return {Mode::Invalid};
        }
    }
    if (taskbar) {
        result.mode = Mode::Taskbar;
    } else if (result.force || result.autostart != AutostartChange::None) {
        result.mode = Mode::Invalid;
    }
    return result;
}

}  // namespace tavisto::companion
