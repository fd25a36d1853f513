// band_cost.exe: what the registered band costs the process that hosts it (run under
// Wine by scripts/band-cost-wine). Creates the band in the test host's rebar with the
// configuration in %APPDATA%\Tavisto, lets it tick for the given time and prints:
// private bytes before and after creating the band, processor time used, every timer
// and other message the thread received (by window and identifier), the band module's
// threads' processor time, and GDI objects, windows and handles along the run.
//   band_cost.exe [seconds, default 600]

#include <windows.h>

#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <map>
#include <utility>
#include <vector>

#include "desk_band_host.h"
#include "windows_cpu_time.h"

namespace {

using namespace tavisto::host;

// Wine leaves PrivateUsage at 0; its pagefile usage is the same private commit there.
std::uint64_t privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

using tavisto::bench::processCpuSeconds;

// Every message this thread receives, counted; the loop blocks between them and wakes
// on its own only at the sampling points.
struct MessageCounts {
    std::map<std::pair<HWND, WPARAM>, long> timers;  // WM_TIMER by window and identifier
    std::map<UINT, long> others;
};

void pumpUntil(ULONGLONG end, MessageCounts& counts) {
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_TIMER) {
                ++counts.timers[{message.hwnd, message.wParam}];
            } else {
                ++counts.others[message.message];
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            return;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

void printResources(const char* when, double at) {
    const ResourceCounts counts = resourceCounts();
    std::printf("%-22s %6.0fs  GDI objects %4d  windows %3d  handles %4d  private %8.1f KiB\n",
                when, at, counts.gdiObjects, counts.windows, counts.handles,
                static_cast<double>(privateBytes()) / 1024.0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const double runSeconds = argc > 1 ? std::wcstod(argv[1], nullptr) : 600.0;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 3;
    }
    int result = 0;
    {
        RecordingRebar rebar(460, 40);
        pumpFor(500);
        const std::uint64_t beforeBand = privateBytes();
        HostedBand hosted(rebar);
        if (hosted.window == nullptr) {
            std::fputs("band_cost: the band has no window (is Tavisto.dll registered?)\n", stderr);
            result = 4;
        } else {
            MessageCounts settling;
            pumpUntil(GetTickCount64() + 3000, settling);
            const std::uint64_t afterBand = privateBytes();
            std::printf(
                "private bytes: %.1f KiB before the band, %.1f KiB with it (+%.1f KiB)\n",
                static_cast<double>(beforeBand) / 1024.0, static_cast<double>(afterBand) / 1024.0,
                (static_cast<double>(afterBand) - static_cast<double>(beforeBand)) / 1024.0);
            const HMODULE module = GetModuleHandleW(L"Tavisto.dll");
            const std::vector<DWORD> bandThreads =
                module != nullptr ? threadsStartedIn(module) : std::vector<DWORD>();
            std::vector<std::uint64_t> threadTimes;
            for (const DWORD thread : bandThreads) {
                threadTimes.push_back(threadTime(thread));
            }

            MessageCounts counts;
            const auto runMilliseconds = static_cast<ULONGLONG>(runSeconds * 1000.0);
            printResources("start", 0.0);
            // Ten samples along the run; the time spent counting is left out.
            double cpu = 0.0;
            double elapsed = 0.0;
            for (int sample = 1; sample <= 10; ++sample) {
                const double cpuBefore = processCpuSeconds();
                const ULONGLONG pumpStart = GetTickCount64();
                pumpUntil(pumpStart + runMilliseconds / 10, counts);
                elapsed += static_cast<double>(GetTickCount64() - pumpStart) / 1000.0;
                cpu += processCpuSeconds() - cpuBefore;
                printResources(sample == 10 ? "end" : "", runSeconds * sample / 10.0);
            }
            std::printf("processor time: %.3f s in %.0f s = %.4f %% of one core\n", cpu, elapsed,
                        100.0 * cpu / elapsed);
            for (std::size_t i = 0; i < bandThreads.size(); ++i) {
                std::printf("band thread %lu: %.3f ms of processor time\n",
                            static_cast<unsigned long>(bandThreads[i]),
                            static_cast<double>(threadTime(bandThreads[i]) - threadTimes[i]) / 1e4);
            }
            for (const auto& [timer, count] : counts.timers) {
                std::printf("WM_TIMER %s id %llu: %ld (every %.0f ms)\n",
                            timer.first == hosted.window ? "band window" : "other window",
                            static_cast<unsigned long long>(timer.second), count,
                            1000.0 * elapsed / static_cast<double>(count));
            }
            for (const auto& [message, count] : counts.others) {
                std::printf("message 0x%04X: %ld\n", message, count);
            }
        }
    }
    CoUninitialize();
    return result;
}
