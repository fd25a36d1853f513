// band_cost.exe: what the registered band costs the process that hosts it (run under
// Wine by scripts/band-cost-wine). Creates the band in the test host's rebar with the
// configuration in %APPDATA%\Tavisto, lets it tick for the given time and prints:
// private bytes before and after creating the band, processor time used, every timer
// and other message the thread received (by window and identifier), the processor time
// of this thread (the band window's) and of the band module's threads (the watcher, the
// collector), each also per tick of the band's engine, and GDI objects, windows and
// handles along the run. The engine's timers and the collector's answers go to the
// panel source's message-only window on the band's thread, not to the band window.
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
    // Wall-clock seconds the thread spent in messages of the band window and of its
    // panel source, by window and message.
    HWND band = nullptr;
    HWND source = nullptr;
    std::map<std::pair<HWND, UINT>, double> bandSeconds;
    // From each tick of the panel source to the collector's answer that followed it.
    double lastTick = -1.0;
    double answerSeconds = 0.0;
    long answers = 0;
};

// The collector's answer to the panel source's window (window/collector.h).
constexpr UINT kCollectedMessage = WM_USER + 2;

double nowSeconds() {
    LARGE_INTEGER counter{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void pumpUntil(ULONGLONG end, MessageCounts& counts) {
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_TIMER) {
                ++counts.timers[{message.hwnd, message.wParam}];
            } else {
                ++counts.others[message.message];
            }
            const double start = nowSeconds();
            if (message.hwnd == counts.source && message.message == kCollectedMessage &&
                counts.lastTick >= 0.0) {
                counts.answerSeconds += start - counts.lastTick;
                ++counts.answers;
                counts.lastTick = -1.0;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
            if (message.hwnd == counts.band || message.hwnd == counts.source) {
                counts.bandSeconds[{message.hwnd, message.message}] += nowSeconds() - start;
                if (message.hwnd == counts.source && message.message == WM_TIMER) {
                    counts.lastTick = start;
                }
            }
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            return;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

// The message-only window of this thread's panel source: the engine's timers and the
// collector's answers come to it.
HWND panelSourceWindow() {
    HWND window = nullptr;
    while ((window = FindWindowExW(HWND_MESSAGE, window, TAVISTO_PANEL_SOURCE_WINDOW_CLASS,
                                   nullptr)) != nullptr) {
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
            return window;
        }
    }
    return nullptr;
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
        const HWND source = panelSourceWindow();
        if (hosted.window == nullptr) {
            std::fputs("band_cost: the band has no window (is Tavisto.dll registered?)\n", stderr);
            result = 4;
        } else if (source == nullptr) {
            std::fputs("band_cost: the band's thread has no panel source window\n", stderr);
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

            const DWORD windowThread = GetCurrentThreadId();
            std::uint64_t windowTime = 0;
            MessageCounts counts;
            counts.band = hosted.window;
            counts.source = source;
            const auto runMilliseconds = static_cast<ULONGLONG>(runSeconds * 1000.0);
            printResources("start", 0.0);
            // Ten samples along the run; the time spent counting is left out.
            double cpu = 0.0;
            double elapsed = 0.0;
            // Counting holds this thread (about a second each time under Wine), and the ticks
            // due meanwhile come once the pump runs again: timers' periods span the whole run.
            const ULONGLONG runStart = GetTickCount64();
            for (int sample = 1; sample <= 10; ++sample) {
                const double cpuBefore = processCpuSeconds();
                const std::uint64_t windowBefore = threadTime(windowThread);
                const ULONGLONG pumpStart = GetTickCount64();
                pumpUntil(pumpStart + runMilliseconds / 10, counts);
                windowTime += threadTime(windowThread) - windowBefore;
                elapsed += static_cast<double>(GetTickCount64() - pumpStart) / 1000.0;
                cpu += processCpuSeconds() - cpuBefore;
                printResources(sample == 10 ? "end" : "", runSeconds * sample / 10.0);
            }
            const double runSpan = static_cast<double>(GetTickCount64() - runStart) / 1000.0;
            std::printf("processor time: %.3f s in %.0f s = %.4f %% of one core\n", cpu, elapsed,
                        100.0 * cpu / elapsed);
            // Every tick of the engine's timers; the collector collects once per tick.
            long ticks = 0;
            for (const auto& [timer, count] : counts.timers) {
                ticks += timer.first == source ? count : 0;
            }
            const auto perTick = [ticks](std::uint64_t time) {
                return ticks > 0 ? static_cast<double>(time) / 10.0 / static_cast<double>(ticks)
                                 : 0.0;
            };
            std::printf("window thread: %.3f ms of processor time, %.1f us per tick (%ld ticks)\n",
                        static_cast<double>(windowTime) / 1e4, perTick(windowTime), ticks);
            // Paints are left out: the thread paints only when a tick changed a pixel.
            double tickSeconds = 0.0;
            for (const auto& [key, seconds] : counts.bandSeconds) {
                const auto [window, message] = key;
                tickSeconds += message == WM_PAINT ? 0.0 : seconds;
                std::printf("band window%s message 0x%04X: %.1f us per tick (wall clock)\n",
                            window == source ? "'s panel source" : "", message,
                            ticks > 0 ? seconds * 1e6 / static_cast<double>(ticks) : 0.0);
            }
            std::printf("window thread per tick, paint left out: %.1f us (wall clock)\n",
                        ticks > 0 ? tickSeconds * 1e6 / static_cast<double>(ticks) : 0.0);
            std::printf(
                "from a tick to its collection's answer: %.2f ms on average (%ld answers)\n",
                counts.answers > 0 ? counts.answerSeconds * 1e3 / counts.answers : 0.0,
                counts.answers);
            wchar_t pdh[MAX_PATH] = {};
            GetModuleFileNameW(GetModuleHandleW(L"pdh.dll"), pdh, MAX_PATH);
            std::printf("pdh.dll: %ls\n", pdh);
            for (std::size_t i = 0; i < bandThreads.size(); ++i) {
                const std::uint64_t time = threadTime(bandThreads[i]) - threadTimes[i];
                std::printf("band thread %lu: %.3f ms of processor time, %.1f us per tick\n",
                            static_cast<unsigned long>(bandThreads[i]),
                            static_cast<double>(time) / 1e4, perTick(time));
            }
            for (const auto& [timer, count] : counts.timers) {
                const char* window = timer.first == source          ? "panel source"
                                     : timer.first == hosted.window ? "band window"
                                                                    : "other window";
                std::printf("WM_TIMER %s id %llu: %ld (every %.0f ms)\n", window,
                            static_cast<unsigned long long>(timer.second), count,
                            1000.0 * runSpan / static_cast<double>(count));
            }
            for (const auto& [message, count] : counts.others) {
                std::printf("message 0x%04X: %ld\n", message, count);
            }
        }
    }
    CoUninitialize();
    return result;
}
