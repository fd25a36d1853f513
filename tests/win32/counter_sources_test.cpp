// Counter queries through PDH, the performance information record and the sensors.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/text_conversion.h"
#include "panel/meter_panel.h"
#include "platform/win32/pdh_counter_queries.h"
#include "platform/win32/sensors.h"
#include "platform/win32/system_services.h"
#include "process_resources.h"
#include "sampling/counter_instances.h"
#include "sampling/performance_fields.h"
#include "support/panel_samples.h"
#include "test_window.h"
#include "win32/window_backends.h"

namespace tavisto::win32 {
namespace {

using platform::PerformanceScope;

constexpr char16_t kProcessorTime[] = u"\\Processor(_Total)\\% Processor Time";
// No system has this object, so its add fails everywhere.
constexpr char16_t kAbsentWildcard[] = u"\\No Such Object(*)\\No Such Counter";

TEST(PdhCounterQueries, ProcessorTimeReadsAFinitePercentageAfterTwoCollections) {
    PdhCounterQueries queries;
    const platform::QueryHandle query = queries.openQuery();
    ASSERT_NE(query, 0u);
    const platform::CounterHandle counter = queries.addCounter(query, kProcessorTime);
    ASSERT_NE(counter, 0u);

    // A rate is formed from two samples, which must lie apart in time.
    EXPECT_TRUE(queries.collect(query));
    Sleep(100);
    EXPECT_TRUE(queries.collect(query));
    const double load = queries.read(counter);
    EXPECT_TRUE(std::isfinite(load));
    EXPECT_GE(load, 0.0);
    EXPECT_LE(load, 100.0);
    queries.closeQuery(query);
}

TEST(PdhCounterQueries, UnknownPathFailsToAddAndReadsTheFailedValue) {
    PdhCounterQueries queries;
    const platform::QueryHandle query = queries.openQuery();
    ASSERT_NE(query, 0u);
    EXPECT_EQ(queries.addCounter(query, u"\\No Such Object\\No Such Counter"), 0u);
    EXPECT_EQ(queries.addCounter(query, u"not a path at all"), 0u);
    // A query without counters has nothing to collect, which is no failure.
    EXPECT_TRUE(queries.collect(query));
    queries.collect(query);
    EXPECT_EQ(queries.read(0), platform::kFailedCounterRead);
}

TEST(PdhCounterQueries, ClosedOrUnknownQueriesTakeNoCounters) {
    PdhCounterQueries queries;
    const platform::QueryHandle query = queries.openQuery();
    ASSERT_NE(query, 0u);
    queries.closeQuery(query);
    EXPECT_EQ(queries.addCounter(query, kProcessorTime), 0u);
    EXPECT_EQ(queries.addCounter(0, kProcessorTime), 0u);
    EXPECT_FALSE(queries.collect(query));  // a closed query is not collected
}

// Wine's PdhGetFormattedCounterArrayW aborts the process when it is called at all, so
// each of these reads would end the test program if it reached PDH.
TEST(PdhCounterQueries, WildcardThatCannotBeAddedReadsNoInstanceWithoutCallingPdh) {
    PdhCounterQueries queries;
    const platform::QueryHandle query = queries.openQuery();
    ASSERT_NE(query, 0u);
    const platform::CounterHandle counter = queries.addCounter(query, kAbsentWildcard);
    EXPECT_EQ(counter, 0u);
    queries.collect(query);
    queries.collect(query);
    EXPECT_TRUE(queries.readInstances(counter).empty());
    EXPECT_EQ(sumInstances(queries.readInstances(counter)), platform::kFailedCounterRead);
    // Nor for a handle this object never gave out.
    EXPECT_TRUE(queries.readInstances(0x1234).empty());
    queries.closeQuery(query);
}

TEST(PdhCounterQueries, HundredFailedAddsLeaveTheHandleCountWhereItWas) {
    PdhCounterQueries queries;
    const platform::QueryHandle query = queries.openQuery();
    ASSERT_NE(query, 0u);
    ASSERT_EQ(queries.addCounter(query, kAbsentWildcard), 0u);  // PDH's lasting caches
    const auto before = testing::processResources();
    for (int attempt = 0; attempt < 100; ++attempt) {
        ASSERT_EQ(queries.addCounter(query, kAbsentWildcard), 0u);
        queries.collect(query);
    }
    EXPECT_EQ(testing::processResources(), before);
    queries.closeQuery(query);
}

TEST(PdhCounterQueries, PanelRetryingAbsentWildcardsReadsZeroAndKeepsItsHandles) {
    // Ticks in a row: the absent wildcard is added at start and retried on its schedule.
    constexpr const char* kBand = R"json({"meterGroups": [{"name": "Net", "meters": [
        {"meterType": "column", "width": 10, "refreshRate": 60000,
         "counters": [{"counterPath": "(\\No Such Object(*)\\No Such Counter)"}]},
        {"meterType": "column", "width": 10, "refreshRate": 60000,
         "counters": [{"counterPath": "(\\No Such Object(*)\\No Such Counter) + (\\Processor(_Total)\\% Processor Time)"}]}]}]})json";
    const Window window = testing::createTestWindow(100, 40);
    ASSERT_TRUE(window);
    auto platform = std::make_unique<testing::WindowBackends>(window.get());
    auto panel = std::make_unique<MeterPanel>(platform->services(), std::string(kBand),
                                              BandDirection::Horizontal);
    panel->tick(60000);
    const auto before = testing::processResources();
    for (int tick = 0; tick < 100; ++tick) {
        panel->tick(60000);
    }
    EXPECT_EQ(testing::processResources(), before);
    const ReferenceSample& absent = tavisto::testing::samplesOf(*panel, 60000).references.at(0);
    EXPECT_EQ(absent.value, 0.0);
    panel.reset();
    platform.reset();
}

TEST(SystemPerformance, RecordCountsThreadsProcessesAndMemoryPages) {
    Win32SystemPerformance performance;
    const platform::PerformanceRecord record = performance.read(PerformanceScope::Everything);
    EXPECT_GT(record.threadCount, 0u);
    EXPECT_GT(record.processCount, 0u);
    EXPECT_GT(record.physicalTotal, 0u);
    EXPECT_LE(record.physicalAvailable, record.physicalTotal);
    EXPECT_GT(record.pageSize, 0u);
}

// The cheap call must give the same pages, not bytes, as the full one.
TEST(SystemPerformance, PhysicalMemoryAloneAgreesWithTheFullRecord) {
    Win32SystemPerformance performance;
    const platform::PerformanceRecord full = performance.read(PerformanceScope::Everything);
    const platform::PerformanceRecord memory = performance.read(PerformanceScope::PhysicalMemory);
    EXPECT_EQ(memory.physicalTotal, full.physicalTotal);
    EXPECT_EQ(memory.pageSize, full.pageSize);
    // The processors, every group's, at both scopes: this machine's.
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    EXPECT_EQ(memory.logicalProcessors, system.dwNumberOfProcessors);
    EXPECT_EQ(full.logicalProcessors, memory.logicalProcessors);
    EXPECT_GT(memory.physicalAvailable, 0u);
    EXPECT_LE(memory.physicalAvailable, memory.physicalTotal);
    // Available memory moves between the calls, by far less than a quarter of it.
    EXPECT_LT(std::abs(static_cast<double>(memory.physicalAvailable) -
                       static_cast<double>(full.physicalAvailable)),
              0.25 * static_cast<double>(full.physicalTotal));
}

TEST(SystemPerformance, FieldsAreReadThroughTheRecordByExactName) {
    Win32SystemPerformance performance;
    EXPECT_GT(readPerformanceField(u"PERFORMANCE_INFORMATION.ThreadCount", performance), 0.0);
    EXPECT_EQ(readPerformanceField(u"PERFORMANCE_INFORMATION.threadcount", performance), 0.0);
    // Memory is given in pages, not bytes.
    const platform::PerformanceRecord record = performance.read(PerformanceScope::Everything);
    EXPECT_EQ(readPerformanceField(u"PERFORMANCE_INFORMATION.PhysicalTotal", performance),
              static_cast<double>(record.physicalTotal));
}

// The separators the user set, and the user's UI language first among the display
// languages by its BCP-47 name. The user's own separators come back after the test.
TEST(UserLocale, ReadsTheUsersSeparatorsAndLanguages) {
    std::array<wchar_t, 8> decimal{};
    std::array<wchar_t, 8> thousands{};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal.data(), 8);
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands.data(), 8);
    const bool set = SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L"||") &&
                     SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, L"\u202F");
    const platform::NumberSeparators numbers = Win32UserLocale().numberSeparators();
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal.data());
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands.data());
    ASSERT_TRUE(set);
    EXPECT_EQ(numbers, (platform::NumberSeparators{u"||", u"\u202F"}));

    std::array<wchar_t, LOCALE_NAME_MAX_LENGTH> name{};
    ASSERT_GT(LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name.data(),
                               LOCALE_NAME_MAX_LENGTH, 0),
              0);
    const std::vector<std::string> languages = Win32UserLocale().preferredLanguages();
    ASSERT_FALSE(languages.empty());
    EXPECT_EQ(languages.front(), utf16ToUtf8(reinterpret_cast<const char16_t*>(name.data())));
}

// Wine's gdi32 lacks D3DKMTEnumAdapters2 and D3DKMTQueryAdapterInfo: no adapter is read,
// and the module loaded all the same.
TEST(Sensors, WineHasNoAdapterPerformanceData) {
    Win32Sensors sensors;
    std::vector<platform::AdapterPerformance> adapters(1);  // what a read replaces
    sensors.readAdapters(adapters);
    EXPECT_TRUE(adapters.empty());
}

// This host has no battery; Wine says so, on mains, with the charge unknown. A field
// copied into another would break one of these.
TEST(Sensors, PowerStatusReportsNoBatteryOnMains) {
    Win32Sensors sensors;
    const std::optional<platform::PowerStatus> power = sensors.readPowerStatus();
    ASSERT_TRUE(power.has_value());
    EXPECT_EQ(power->acLineStatus, 1);
    EXPECT_EQ(power->batteryFlag & platform::PowerStatus::kNoBattery,
              platform::PowerStatus::kNoBattery);
    EXPECT_EQ(power->batteryLifePercent, platform::PowerStatus::kUnknown);
    EXPECT_EQ(power->batteryLifeTime, platform::PowerStatus::kUnknownLifeTime);
}

TEST(Sensors, RepeatedReadsKeepTheProcessResources) {
    Win32Sensors sensors;
    std::vector<platform::AdapterPerformance> adapters;
    sensors.readAdapters(adapters);
    sensors.readPowerStatus();  // whatever the first calls set up for good
    const auto before = testing::processResources();
    for (int read = 0; read < 200; ++read) {
        sensors.readAdapters(adapters);
        ASSERT_TRUE(sensors.readPowerStatus().has_value());
    }
    EXPECT_EQ(testing::processResources(), before);
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path;
}

// A process id that names no process: the highest one that cannot be opened.
std::uint32_t unusedProcessId() {
    for (std::uint32_t id = 0xFFFFFFF0; id > 0xFFFF0000; id -= 4) {
        if (const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
            !process) {
            return id;
        }
    }
    return 0;
}

// A program started suspended, so that it runs none of its code, and ended at the
// latest when it goes out of scope.
struct SuspendedProgram {
    explicit SuspendedProgram(const std::wstring& path) {
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION information{};
        if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                           CREATE_SUSPENDED, nullptr, nullptr, &startup, &information)) {
            started = ownProcess(information);
            id = information.dwProcessId;
        }
    }
    ~SuspendedProgram() {
        if (started.process) {
            TerminateProcess(started.process.get(), 1);
        }
    }
    SuspendedProgram(const SuspendedProgram&) = delete;
    SuspendedProgram& operator=(const SuspendedProgram&) = delete;

    StartedProcess started;
    std::uint32_t id = 0;
};

// Copies of this program under other names: each is named while it runs, and not once
// it has ended, though its handle, held here, keeps its id from being reused.
TEST(Sensors, ProcessNameDropsOnlyAFinalExeInAnyCaseAndEndsWithTheProcess) {
    const struct {
        std::wstring_view file;
        std::u16string_view name;
    } cases[] = {
        {L"probe.EXE", u"probe"},
        {L"probe v1.2.Exe", u"probe v1.2"},
        {L"probe.exe.exe", u"probe.exe"},
        {L"probe.exe.bin", u"probe.exe.bin"},
    };
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetTempPathW(MAX_PATH, folder.data()));
    folder += L"tavisto-names-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    Win32Sensors sensors;
    for (const auto& [file, name] : cases) {
        SCOPED_TRACE(utf16ToUtf8(name));
        const std::wstring copy = folder + L"\\" + std::wstring(file);
        ASSERT_TRUE(CopyFileW(modulePath().c_str(), copy.c_str(), TRUE));
        {
            const SuspendedProgram probe(copy);
            ASSERT_TRUE(probe.started.process);
            EXPECT_EQ(sensors.processImageName(probe.id), name);
            TerminateProcess(probe.started.process.get(), 1);
            ASSERT_EQ(WaitForSingleObject(probe.started.process.get(), 10'000), WAIT_OBJECT_0);
            EXPECT_EQ(sensors.processImageName(probe.id), std::nullopt);
        }
        EXPECT_TRUE(DeleteFileW(copy.c_str()));
    }
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

// A process that is not there, or the idle process, has no name; asking leaks nothing.
TEST(Sensors, ProcessNameOfNoProcessIsNoneAndLookupsKeepTheProcessResources) {
    Win32Sensors sensors;
    const std::uint32_t unused = unusedProcessId();
    ASSERT_NE(unused, 0u);
    EXPECT_EQ(sensors.processImageName(0), std::nullopt);
    ASSERT_TRUE(sensors.processImageName(GetCurrentProcessId()).has_value());
    const auto before = testing::processResources();
    for (int lookup = 0; lookup < 200; ++lookup) {
        ASSERT_TRUE(sensors.processImageName(GetCurrentProcessId()).has_value());
        ASSERT_FALSE(sensors.processImageName(unused).has_value());
    }
    EXPECT_EQ(testing::processResources(), before);
}

}  // namespace
}  // namespace tavisto::win32
