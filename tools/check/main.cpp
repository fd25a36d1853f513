// tavisto-check: reports what is wrong with configuration files, in the form editors and
// build logs understand.
//   tavisto-check [--format text|json] [--dpi N] [--machine] [--language TAG] FILE...
//   tavisto-check --version

#include <iostream>
#include <string>
#include <vector>

#include "check/check_command.h"

#ifdef _WIN32
#include <windows.h>

#include "core/text_conversion.h"
#include "window/machine_counter_catalog.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::wstring_view argument(argv[i]);
            arguments.push_back(
                tavisto::utf16ToUtf8(std::u16string(argument.begin(), argument.end())));
        }
    } catch (const std::exception&) {
        std::cerr << "tavisto-check: an argument is not valid text\n";
        return tavisto::check::kUsageOrUnreadable;
    }
    tavisto::window::MachineCounterCatalog machine;
    return tavisto::check::runCheckCommand(arguments, &machine, std::cout, std::cerr);
}

#else

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return tavisto::check::runCheckCommand(arguments, nullptr, std::cout, std::cerr);
}

#endif
