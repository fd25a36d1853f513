// accessibility_cost.exe: what a screen reader's request for the band's meters costs
// against the least a window can serve (run under Wine by scripts/accessibility-cost-wine).
// Hosts the band with the configuration in %APPDATA%\Tavisto beside a window that answers
// with the system's standard accessible object, lets accessible-reader.exe (another
// process, as marshaling costs most) make the requests in turns of 50 to both, and prints
// the time per request of each. Exit code 1 when the meters' request takes more than 1.5
// times the standard object's.
//   accessibility_cost.exe [requests, default 1000]

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "desk_band_host.h"

int wmain(int argc, wchar_t** argv) {
    using namespace tavisto::host;
    const long requests = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 1000;
    if (requests <= 0 || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 2;
    }
    int status = 2;
    {
        const LoadedModule module;
        if (module.get() == nullptr || FAILED(module.registerServer())) {
            std::printf("accessibility_cost: Tavisto.dll cannot be loaded and registered\n");
            return 2;
        }
        RecordingRebar rebar(400, 40);
        HostedBand band(rebar);
        const TrivialAccessibleWindow trivial;
        // Let the configuration load and the first ticks run.
        pumpFor(2000);
        const std::optional<std::string> timing = runAccessibleReader(
            L"time " + std::to_wstring(requests) + L" " + windowArgument(band.window) + L" " +
                windowArgument(trivial.window()),
            static_cast<DWORD>(requests) * 200 + 10000);
        double meters = 0.0;
        double standard = 0.0;
        if (timing && std::sscanf(timing->c_str(), "%lf %lf", &meters, &standard) == 2 &&
            standard > 0.0) {
            const double ratio = meters / standard;
            std::printf(
                "%ld requests: the meters %.3f ms each, the standard object %.3f ms each, "
                "ratio %.2f (at most 1.5)\n",
                requests, meters / static_cast<double>(requests),
                standard / static_cast<double>(requests), ratio);
            status = ratio <= 1.5 ? 0 : 1;
        } else {
            std::printf("accessibility_cost: no timing: %s\n",
                        timing ? timing->c_str() : "the reader failed");
        }
        band.close();
    }
    CoUninitialize();
    return status;
}
