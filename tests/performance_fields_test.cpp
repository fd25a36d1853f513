#include <gtest/gtest.h>

#include "sampling/performance_fields.h"
#include "support/fake_platform.h"

namespace tavisto {
namespace {

class PerformanceFields : public ::testing::Test {
  protected:
    PerformanceFields() {
        auto& r = performance.record;
        r.physicalAvailable = 1;
        r.physicalTotal = 2097152;
        r.commitTotal = 3;
        r.commitLimit = 4;
        r.commitPeak = 5;
        r.handleCount = 6;
        r.kernelNonpaged = 7;
        r.kernelTotal = 8;
        r.processCount = 9;
        r.threadCount = 1234;
        r.systemCache = 11;
        r.kernelPaged = 12;
        r.pageSize = 4096;
        r.logicalProcessors = 16;
    }
    double read(std::u16string_view path) { return readPerformanceField(path, performance); }

    testing::FakeSystemPerformance performance;
};

TEST_F(PerformanceFields, EveryOfferedFieldReadsItsRecordMemberInPages) {
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.PhysicalAvailable"), 1.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.PhysicalTotal"), 2097152.0);  // not bytes
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.CommitTotal"), 3.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.CommitLimit"), 4.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.CommitPeak"), 5.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.HandleCount"), 6.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.KernelNonpaged"), 7.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.KernelTotal"), 8.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.ProcessCount"), 9.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.ThreadCount"), 1234.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.SystemCache"), 11.0);
    EXPECT_EQ(read(u"SYSTEM_INFO.NumberOfProcessors"), 16.0);
    EXPECT_EQ(performance.lastScope, platform::PerformanceScope::PhysicalMemory);
    EXPECT_EQ(performance.reads, 12);
}

TEST_F(PerformanceFields, LargeCountsStayUnsigned) {
    performance.record.commitLimit = 0xFFFFFFFFFFFFFFFFull;
    performance.record.threadCount = 0xFFFFFFFFu;
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.CommitLimit"), 18446744073709551615.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.ThreadCount"), 4294967295.0);
}

TEST_F(PerformanceFields, UnknownFieldsGiveZero) {
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.threadcount"), 0.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.KernelPaged"), 0.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.PageSize"), 0.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION.ThreadCount "), 0.0);
    EXPECT_EQ(performance.reads, 4);  // the prefix matched, so the record was read
}

TEST_F(PerformanceFields, WrongPrefixGivesZeroWithoutAskingThePlatform) {
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION-ThreadCount"), 0.0);
    EXPECT_EQ(read(u"performance_information.ThreadCount"), 0.0);
    EXPECT_EQ(read(u"PERFORMANCE_INFORMATION"), 0.0);
    EXPECT_EQ(read(u""), 0.0);
    EXPECT_EQ(performance.reads, 0);
}

// Only the physical-memory fields may be read without the walk over every process.
TEST_F(PerformanceFields, OnlyPhysicalMemoryFieldsAskForTheCheapRecord) {
    using platform::PerformanceScope;
    const struct {
        std::u16string_view path;
        PerformanceScope scope;
    } cases[] = {
        {u"PERFORMANCE_INFORMATION.PhysicalAvailable", PerformanceScope::PhysicalMemory},
        {u"PERFORMANCE_INFORMATION.PhysicalTotal", PerformanceScope::PhysicalMemory},
        {u"PERFORMANCE_INFORMATION.CommitTotal", PerformanceScope::Everything},
        {u"PERFORMANCE_INFORMATION.CommitLimit", PerformanceScope::Everything},
        {u"PERFORMANCE_INFORMATION.SystemCache", PerformanceScope::Everything},
        {u"PERFORMANCE_INFORMATION.ThreadCount", PerformanceScope::Everything},
        {u"PERFORMANCE_INFORMATION.physicaltotal", PerformanceScope::PhysicalMemory},
    };
    for (const auto& c : cases) {
        const int before = performance.reads;
        read(c.path);
        EXPECT_EQ(performance.reads, before + 1);
        EXPECT_EQ(performance.lastScope, c.scope) << std::string(c.path.begin(), c.path.end());
    }
}

}  // namespace
}  // namespace tavisto
