#pragma once
// What Tavisto.exe was asked to do.

#include <string>
#include <vector>

namespace tavisto::companion {

enum class Mode {
    Default,  // no switch: the settings window
    Taskbar,  // --taskbar: the meters inside the taskbar
    Version,  // --version, alone: print the version and end
    Values,   // --values, alone: the Show values window, until it closes
    Invalid,  // an unknown switch, or a switch without --taskbar that needs it
};

enum class AutostartChange { None, Install, Uninstall };

struct CommandLine {
    Mode mode = Mode::Default;
    // --force: attach even to a taskbar that hosts desk bands.
    bool force = false;
    AutostartChange autostart = AutostartChange::None;
};

// Parses the arguments after the program name. Switches may come in any order; the
// autostart switches and --force belong to --taskbar.
CommandLine parseCommandLine(const std::vector<std::wstring>& arguments);

}  // namespace tavisto::companion
