// taskbar-soak.exe: the real Tavisto.exe --taskbar in a fake taskbar, sampling a wildcard
// of 200 GPU-Engine-like instances from the stand-in pdh.dll at a 10 ms rate, with a
// reload every 1,000 ticks. A tick is one collection the stand-in counted in the
// companion. After the warm-up, at every reload, the companion's private bytes must stay
// within 1 % of the figure at the end of the warm-up, and its handles, GDI objects and
// windows (the USER objects Wine lets another process count) exactly where they were.
//   taskbar-soak.exe <ticks> [<warm-up ticks>]
// Default: 10,000 ticks with a warm-up of half of them, at most 5,000. TAVISTO_EXE names
// the companion; fake-taskbar.exe and pdh.dll lie beside this program. Prints the figures;
// exits 0 when every check held, 1 when one failed, 2 when the run could not be set up.

#include <windows.h>

#include <winternl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "pdh_control.h"
#include "platform/win32/gdiplus_session.h"
#include "win32/process_resources.h"

namespace {

using namespace tavisto::companion::testing;
using tavisto::testing::PdhSchedule;
using tavisto::testing::PdhStandIn;
using tavisto::testing::standInStatus;
namespace host = tavisto::host;

constexpr std::int64_t kReloadEvery = 1000;
constexpr double kMemoryTolerance = 0.01;

// The busiest engine of the busiest adapter, as Task Manager reckons it, another
// counter, and the engines' sum in text; `width` tells the two files apart.
std::string configuration(int width) {
    return R"json({ "horizontalPadding": 1, "verticalPadding": 2, "horizontalSpacing": 2,
  "meterGroups": [ { "name": "gpu", "width": )json" +
           std::to_string(width) + R"json(, "height": 24, "orientation": "horizontal",
    "meters": [
      { "meterType": "column", "width": 10, "refreshRate": 10,
        "counters": [ { "counterPath": "(\\GPU Engine(*)\\Utilization Percentage)",
                        "color": "#0000FF", "minValue": 0, "maxValue": 100,
                        "instances": { "groupBy": { "from": "luid_", "to": "_engtype" },
                                       "groupCombine": "sum", "combine": "max" } } ] },
      { "meterType": "column", "width": 10, "refreshRate": 10,
        "counters": [ { "counterPath": "(\\Test(_Total)\\Value)", "color": "#FF0000",
                        "minValue": 0, "maxValue": 100 } ] },
      { "meterType": "text", "width": 40, "refreshRate": 10,
        "counters": [ { "counterPath": "(\\GPU Engine(*)\\Utilization Percentage)",
                        "minValue": 0, "maxValue": 100 } ] } ] } ] })json";
}

struct Figures {
    std::uint64_t privateBytes = 0;
    ForeignResources objects;
};

Figures readingOf(DWORD processId) {
    Figures figures;
    figures.objects = resourcesOf(processId);
    if (const tavisto::win32::KernelHandle process(
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
        process) {
        figures.privateBytes = tavisto::win32::testing::privateBytes(process.get());
    }
    return figures;
}

// The fewest of a few readings apart: a handle the companion holds for a moment (a look
// at the taskbar's process, the configuration file being read) is not one it keeps, but a
// leak shows in every reading.
Figures figuresOf(DWORD processId) {
    constexpr int kReadings = 5;
    Figures fewest = readingOf(processId);
    for (int reading = 1; reading < kReadings; ++reading) {
        host::pumpFor(100);
        const Figures now = readingOf(processId);
        fewest.privateBytes = std::min(fewest.privateBytes, now.privateBytes);
        fewest.objects.handles = std::min(fewest.objects.handles, now.objects.handles);
        fewest.objects.gdiObjects = std::min(fewest.objects.gdiObjects, now.objects.gdiObjects);
        fewest.objects.windows = std::min(fewest.objects.windows, now.objects.windows);
    }
    return fewest;
}

void print(const char* when, std::int64_t ticks, double seconds, const Figures& figures) {
    std::printf(
        "taskbar-soak: %-9s tick %7lld at %7.1f s: private bytes %10llu, handles %4ld, "
        "GDI objects %4ld, USER objects (windows) %3ld\n",
        when, static_cast<long long>(ticks), seconds,
        static_cast<unsigned long long>(figures.privateBytes), figures.objects.handles,
        figures.objects.gdiObjects, figures.objects.windows);
}

// The other process's open handles by value, with their kinds, to say what a drift is.
std::map<std::uintptr_t, std::wstring> handlesOf(DWORD processId) {
    std::map<std::uintptr_t, std::wstring> handles;
    const tavisto::win32::KernelHandle process(OpenProcess(PROCESS_DUP_HANDLE, FALSE, processId));
    for (std::uintptr_t value = 4; process && value < 0x2000; value += 4) {
        HANDLE copy = nullptr;
        if (!DuplicateHandle(process.get(), reinterpret_cast<HANDLE>(value), GetCurrentProcess(),
                             &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            continue;
        }
        alignas(8) unsigned char buffer[512] = {};
        ULONG length = 0;
        std::wstring kind = L"?";
        if (NtQueryObject(copy, ObjectTypeInformation, buffer, sizeof(buffer), &length) == 0) {
            const auto* type = reinterpret_cast<const PUBLIC_OBJECT_TYPE_INFORMATION*>(buffer);
            kind.assign(type->TypeName.Buffer, type->TypeName.Length / sizeof(wchar_t));
        }
        CloseHandle(copy);
        handles.emplace(value, kind);
    }
    return handles;
}

using Handles = std::map<std::uintptr_t, std::wstring>;

// The handles in `after` that `before` did not have (or had as another kind).
Handles newHandles(const Handles& before, const Handles& after) {
    Handles added;
    for (const auto& [value, kind] : after) {
        if (const auto found = before.find(value); found == before.end() || found->second != kind) {
            added.emplace(value, kind);
        }
    }
    return added;
}

void printHandleChanges(const Handles& before, const Handles& after) {
    for (const auto& [value, kind] : after) {
        if (const auto found = before.find(value); found == before.end() || found->second != kind) {
            std::printf("taskbar-soak:   handle 0x%llx (%ls) is new\n",
                        static_cast<unsigned long long>(value), kind.c_str());
        }
    }
    for (const auto& [value, kind] : before) {
        if (const auto found = after.find(value); found == after.end() || found->second != kind) {
            std::printf("taskbar-soak:   handle 0x%llx (%ls) is gone\n",
                        static_cast<unsigned long long>(value), kind.c_str());
        }
    }
}

class Run {
  public:
    Run(const FakeTaskbar& taskbar, const Companion& companion)
        : taskbar_(taskbar), companion_(companion) {}

    // The meters' length along the taskbar once it is `length`; false after the time.
    bool placed(LONG length, DWORD timeout) const {
        return host::pumpUntil(
            [&] {
                const HWND meters = taskbar_.meters();
                if (meters == nullptr) {
                    return false;
                }
                const RECT rect = rectInParent(meters);
                return rect.right - rect.left == length;
            },
            timeout);
    }

    // Pumps until the companion has collected `ticks` times; false when it ended first or
    // fell far behind the rate.
    bool reach(std::int64_t ticks) {
        const bool reached = host::pumpUntil(
            [&] {
                if (companion_.exitCode(0) != -1) {
                    return true;
                }
                if (const auto status = standInStatus(companion_.id())) {
                    collections_ = status->collections;
                }
                return collections_ >= ticks;
            },
            static_cast<DWORD>(kReloadEvery * 60));
        return reached && companion_.exitCode(0) == -1 && collections_ >= ticks;
    }

    std::int64_t collections() const { return collections_; }

  private:
    const FakeTaskbar& taskbar_;
    const Companion& companion_;
    std::int64_t collections_ = 0;
};

bool within(std::uint64_t value, std::uint64_t reference) {
    const double difference =
        std::fabs(static_cast<double>(value) - static_cast<double>(reference));
    return difference <= kMemoryTolerance * static_cast<double>(reference);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Unbuffered, so that what was printed survives a crash.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::int64_t ticks = argc > 1 ? std::wcstoll(argv[1], nullptr, 10) : 10'000;
    const std::int64_t warmUp =
        argc > 2 ? std::wcstoll(argv[2], nullptr, 10) : std::min<std::int64_t>(5000, ticks / 2);
    if (ticks < 2 * kReloadEvery || warmUp < kReloadEvery || warmUp >= ticks ||
        warmUp % kReloadEvery != 0 || ticks % kReloadEvery != 0) {
        std::fputs("usage: taskbar-soak.exe <ticks> [<warm-up ticks>], whole thousands\n", stderr);
        return 2;
    }
    SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const tavisto::win32::GdiplusSession gdiplus;
    PdhStandIn standIn;
    PdhSchedule schedule;
    schedule.instances = 200;
    schedule.instancePattern = "pid_{n}_luid_0x00000000_0x0000F814_phys_0_eng_0_engtype_3D";
    if (!standIn.follow(schedule)) {
        std::fputs("taskbar-soak: cannot write the stand-in's control file\n", stderr);
        return 2;
    }
    const std::string files[] = {configuration(64), configuration(80)};
    const LONG lengths[] = {engineBandLength(files[0], kTaskbarHeight),
                            engineBandLength(files[1], kTaskbarHeight)};
    host::removeFolder(host::configurationFolder());
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    int result = 0;
    {
        host::writeNewFile(host::configurationFile(), files[0]);
        // Long enough for the slowest run: a minute for every thousand ticks.
        const FakeTaskbar taskbar(
            Scenario{.lifetimeMilliseconds = static_cast<DWORD>(ticks * 60 + 10 * 60 * 1000)});
        const Companion companion(L"--taskbar");
        Run run(taskbar, companion);
        if (!companion.started() || lengths[0] <= 0 || lengths[0] == lengths[1] ||
            !run.placed(lengths[0], 20'000) || !standInStatus(companion.id())) {
            std::fputs("taskbar-soak: the companion did not show the meters with the stand-in\n",
                       stderr);
            host::removeFolder(host::configurationFolder());
            return 2;
        }
        std::printf(
            "taskbar-soak: %lld ticks at 10 ms, 200 instances, a reload every %lld ticks, "
            "warm-up %lld ticks\n",
            static_cast<long long>(ticks), static_cast<long long>(kReloadEvery),
            static_cast<long long>(warmUp));
        const ULONGLONG started = GetTickCount64();
        const auto seconds = [&] {
            return static_cast<double>(GetTickCount64() - started) / 1000.0;
        };
        std::optional<Figures> baseline;
        Handles baselineHandles;
        std::optional<std::uintptr_t> lockObject;
        int drifts = 0;
        Figures last;
        std::uint64_t lowest = 0;
        std::uint64_t highest = 0;
        for (std::int64_t checkpoint = kReloadEvery; checkpoint <= ticks && result == 0;
             checkpoint += kReloadEvery) {
            if (!run.reach(checkpoint)) {
                std::printf("taskbar-soak: %s at %lld ticks\n",
                            companion.exitCode(0) != -1 ? "the companion ended" : "stalled",
                            static_cast<long long>(run.collections()));
                result = 1;
                break;
            }
            if (checkpoint >= warmUp) {
                last = figuresOf(companion.id());
                if (!baseline) {
                    baseline = last;
                    baselineHandles = handlesOf(companion.id());
                    lowest = highest = last.privateBytes;
                    print("warmed up", checkpoint, seconds(), last);
                } else if (!within(last.privateBytes, baseline->privateBytes) ||
                           !(last.objects == baseline->objects)) {
                    // A lock's wait object is made at the lock's first contention, which
                    // two threads may meet at any time, and kept for the lock's life: one
                    // new semaphore that stays is that, not a leak.
                    const Handles handles = handlesOf(companion.id());
                    const Handles added = newHandles(baselineHandles, handles);
                    ForeignResources withoutLockObject = last.objects;
                    --withoutLockObject.handles;
                    if (within(last.privateBytes, baseline->privateBytes) &&
                        withoutLockObject == baseline->objects && added.size() == 1 &&
                        added.begin()->second == L"Semaphore" &&
                        (!lockObject || *lockObject == added.begin()->first)) {
                        if (!lockObject) {
                            std::printf(
                                "taskbar-soak: at tick %lld a lock's wait object "
                                "(semaphore 0x%llx) came; it must stay the only new "
                                "handle\n",
                                static_cast<long long>(checkpoint),
                                static_cast<unsigned long long>(added.begin()->first));
                        }
                        lockObject = added.begin()->first;
                    } else {
                        print("drifted", checkpoint, seconds(), last);
                        printHandleChanges(baselineHandles, handles);
                        ++drifts;
                    }
                }
                if (checkpoint != warmUp && checkpoint % (ticks / 10) == 0) {
                    print("", checkpoint, seconds(), last);
                }
                lowest = std::min(lowest, last.privateBytes);
                highest = std::max(highest, last.privateBytes);
            }
            if (checkpoint < ticks) {
                const int next = static_cast<int>((checkpoint / kReloadEvery) % 2);
                if (!host::writeInPlace(host::configurationFile(), files[next]) ||
                    !run.placed(lengths[next], 10'000)) {
                    std::printf("taskbar-soak: the reload at %lld ticks was not shown\n",
                                static_cast<long long>(checkpoint));
                    result = 1;
                }
            }
        }
        if (drifts > 0) {
            std::printf("taskbar-soak: %d of the checks after the warm-up drifted\n", drifts);
            result = 1;
        }
        if (result == 0 && baseline) {
            print("end", ticks, seconds(), last);
            std::printf(
                "taskbar-soak: after the warm-up private bytes stayed within %llu .. %llu "
                "(%+.3f %% at the end); objects unchanged%s; %lld reloads in %.1f s "
                "(%.2f ms a tick)\n",
                static_cast<unsigned long long>(lowest), static_cast<unsigned long long>(highest),
                100.0 *
                    (static_cast<double>(last.privateBytes) -
                     static_cast<double>(baseline->privateBytes)) /
                    static_cast<double>(baseline->privateBytes),
                lockObject ? " but for one lock's wait object" : "",
                static_cast<long long>(ticks / kReloadEvery - 1), seconds(),
                seconds() * 1000.0 / static_cast<double>(ticks));
            std::puts("taskbar-soak: passed");
        } else if (result != 0 && baseline) {
            print("baseline", warmUp, 0, *baseline);
        }
    }
    host::removeFolder(host::configurationFolder());
    return result;
}
