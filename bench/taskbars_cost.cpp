// What more taskbars cost the companion, under Wine (scripts/taskbars-cost-wine; the
// tests never run it): the real Tavisto.exe --taskbar beside a fake primary taskbar and
// 0 to 3 secondary ones, with the stand-in pdh.dll and a configuration that shows the
// meters on every taskbar. For each count it prints the PDH collections per second,
// the counters added, the companion's threads, its processor time in percent of a core
// and its private memory; then the processor time with four taskbars against one.
//   taskbars_cost.exe <configuration.json> [seconds per count]

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "pdh_control.h"
#include "platform/win32/handles.h"
#include "win32/process_resources.h"

namespace {

using namespace tavisto;
using companion::testing::Companion;
using companion::testing::FakeTaskbar;
using companion::testing::Scenario;
using companion::testing::TaskbarKind;

long threadsOf(DWORD processId) {
    const win32::KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    long threads = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        threads += entry.th32OwnerProcessID == processId ? 1 : 0;
    }
    return threads;
}

struct Cost {
    double collectionsPerSecond = 0;
    std::int64_t adds = 0;
    long threads = 0;
    double processorPercent = 0;
    double privateMiB = 0;
};

// One companion with `secondary` secondary taskbars beside the primary one, measured
// over `seconds` once every taskbar shows the meters and a warm-up is over.
bool measure(int secondary, int seconds, Cost& cost) {
    const FakeTaskbar primary;
    std::vector<std::unique_ptr<FakeTaskbar>> others;
    for (int index = 0; index < secondary; ++index) {
        others.push_back(
            std::make_unique<FakeTaskbar>(Scenario{.kind = TaskbarKind::Secondary, .length = 500}));
    }
    const Companion companion(L"--taskbar");
    if (!host::pumpUntil(
            [&] { return companion::testing::companionWindowCount() == secondary + 1; }, 20'000)) {
        std::fprintf(stderr, "taskbars_cost: %d taskbars never all showed the meters\n",
                     secondary + 1);
        return false;
    }
    host::pumpFor(3000);
    const auto before = testing::standInStatus(companion.id());
    const std::uint64_t timeBefore = companion.processorTime();
    const ULONGLONG started = GetTickCount64();
    host::pumpFor(static_cast<DWORD>(seconds) * 1000);
    const auto after = testing::standInStatus(companion.id());
    const std::uint64_t timeAfter = companion.processorTime();
    const double elapsed = static_cast<double>(GetTickCount64() - started) / 1000.0;
    if (!before || !after) {
        std::fprintf(stderr, "taskbars_cost: the companion did not load the stand-in pdh.dll\n");
        return false;
    }
    cost.collectionsPerSecond = static_cast<double>(after->collections - before->collections) /
                                elapsed;
    cost.adds = after->adds;
    cost.threads = threadsOf(companion.id());
    // 100 ns units.
    cost.processorPercent = static_cast<double>(timeAfter - timeBefore) / 1e5 / elapsed;
    cost.privateMiB =
        static_cast<double>(win32::testing::privateBytes(companion.process())) / (1024.0 * 1024.0);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: taskbars_cost.exe <configuration.json> [seconds per count]\n");
        return 2;
    }
    const int seconds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 10;
    std::ifstream file(argv[1], std::ios::binary);
    std::string configuration{std::istreambuf_iterator<char>(file), {}};
    const auto brace = configuration.find('{');
    if (brace == std::string::npos) {
        std::fprintf(stderr, "taskbars_cost: the configuration cannot be read\n");
        return 2;
    }
    // Every taskbar shows the meters.
    configuration.insert(brace + 1, R"( "taskbar": { "monitors": "all" },)");
    host::removeFolder(host::configurationFolder());
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    if (!host::writeNewFile(host::configurationFile(), configuration)) {
        std::fprintf(stderr, "taskbars_cost: the configuration cannot be written\n");
        return 2;
    }
    std::printf("taskbars  collections/s  counters added  threads  processor %%  private MiB\n");
    std::vector<Cost> costs;
    for (int secondary = 0; secondary <= 3; ++secondary) {
        Cost cost;
        if (!measure(secondary, seconds, cost)) {
            return 1;
        }
        std::printf("%8d  %13.2f  %14lld  %7ld  %11.3f  %11.1f\n", secondary + 1,
                    cost.collectionsPerSecond, static_cast<long long>(cost.adds), cost.threads,
                    cost.processorPercent, cost.privateMiB);
        std::fflush(stdout);
        costs.push_back(cost);
    }
    host::removeFolder(host::configurationFolder());
    std::printf("processor time, four taskbars against one: %.2fx (goal <= 1.3x)\n",
                costs.front().processorPercent > 0
                    ? costs.back().processorPercent / costs.front().processorPercent
                    : 0.0);
    return 0;
}
