// Counter queries through PDH and the performance information record.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/win32/pdh_counter_queries.h"
#include "platform/win32/system_services.h"
#include "sampling/performance_fields.h"

namespace tavisto::win32 {
namespace {

constexpr char16_t kProcessorTime[] = u"\\Processor(_Total)\\% Processor Time";

TEST(PdhCounterQueries, ProcessorTimeReadsAFinitePercentageAfterTwoCollections) {
    PdhCounterQueries queries;
    const platform::QueryHandle query = queries.openQuery();
    ASSERT_NE(query, 0u);
    const platform::CounterHandle counter = queries.addCounter(query, kProcessorTime);
    ASSERT_NE(counter, 0u);

    // A rate is formed from two samples, which must lie apart in time.
    queries.collect(query);
    Sleep(100);
    queries.collect(query);
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
    queries.collect(query);
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
    queries.collect(query);  // a closed query is not collected
}

TEST(SystemPerformance, RecordCountsThreadsProcessesAndMemoryPages) {
    Win32SystemPerformance performance;
    const platform::PerformanceRecord record = performance.read();
    EXPECT_GT(record.threadCount, 0u);
    EXPECT_GT(record.processCount, 0u);
    EXPECT_GT(record.physicalTotal, 0u);
    EXPECT_LE(record.physicalAvailable, record.physicalTotal);
    EXPECT_GT(record.pageSize, 0u);
}

TEST(SystemPerformance, FieldsAreReadThroughTheRecordByExactName) {
    Win32SystemPerformance performance;
    EXPECT_GT(readPerformanceField(u"PERFORMANCE_INFORMATION.ThreadCount", performance), 0.0);
    EXPECT_EQ(readPerformanceField(u"PERFORMANCE_INFORMATION.threadcount", performance), 0.0);
    // Memory is given in pages, not bytes.
    const platform::PerformanceRecord record = performance.read();
    EXPECT_EQ(readPerformanceField(u"PERFORMANCE_INFORMATION.PhysicalTotal", performance),
              static_cast<double>(record.physicalTotal));
}

}  // namespace
}  // namespace tavisto::win32
