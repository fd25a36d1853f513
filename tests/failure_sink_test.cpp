// The failure sink: what reaches the reporter from a barrier, and how the rate limit
// keeps a failing loop from flooding it.

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/failure_sink.h"

namespace tavisto {
namespace {

struct Report {
    std::string where;
    std::string what;
    bool operator==(const Report&) const = default;
};

std::vector<Report>& received() {
    static std::vector<Report> reports;
    return reports;
}

void recordReport(std::string_view where, std::string_view what) noexcept {
    received().push_back({std::string(where), std::string(what)});
}

class FailureSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        received().clear();
        previous_ = setFailureReporter(recordReport);
    }
    void TearDown() override { setFailureReporter(previous_); }

  private:
    FailureReporter previous_ = nullptr;
};

TEST_F(FailureSinkTest, CaughtExceptionsReachTheReporterWithWhatTheyCarry) {
    struct Case {
        void (*thrower)();
        Report expected;
    };
    const Case cases[] = {
        {[] { throw std::runtime_error("the query closed"); }, {"tick", "the query closed"}},
        {[] { throw std::bad_alloc(); }, {"tick", std::bad_alloc().what()}},
        {[] { throw 42; }, {"tick", "an exception that is not a std::exception"}},
    };
    for (const Case& testCase : cases) {
        received().clear();
        try {
            testCase.thrower();
        } catch (...) {
            reportCaughtException("tick");
        }
        EXPECT_EQ(received(), std::vector<Report>{testCase.expected});
    }
}

TEST_F(FailureSinkTest, ABurstIsCutAtTheLimitPerSecond) {
    for (std::uint32_t index = 0; index < kFailureReportsPerSecond * 3; ++index) {
        reportFailure("loop", "failed");
    }
    // A slow machine may pass into the next second once, never more within the burst.
    EXPECT_GE(received().size(), kFailureReportsPerSecond);
    EXPECT_LE(received().size(), 2 * kFailureReportsPerSecond + 1);
}

TEST(FailureRateLimit, LetsThroughAtMostTheLimitPerWindowAndCountsTheRest) {
    struct Step {
        std::uint64_t at;
        bool admitted;
        std::uint32_t heldBack;  // as said with an admitted report
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    // Two per window of 1000 ms.
    const Case cases[] = {
        {"under the limit", {{0, true, 0}, {999, true, 0}, {1000, true, 0}}},
        {"over the limit, counted with the next report through",
         {{0, true, 0}, {1, true, 0}, {2, false, 0}, {3, false, 0}, {1002, true, 2}}},
        {"a window starts with its first report, not on the clock's second",
         {{500, true, 0}, {600, true, 0}, {1200, false, 0}, {1500, true, 1}}},
        {"nothing held back twice",
         {{0, true, 0}, {0, true, 0}, {0, false, 0}, {1000, true, 1}, {1000, true, 0}}},
    };
    for (const Case& testCase : cases) {
        FailureRateLimit limit(2, 1000);
        for (const Step& step : testCase.steps) {
            std::uint32_t heldBack = 0;
            EXPECT_EQ(limit.admit(step.at, heldBack), step.admitted)
                << testCase.name << " at " << step.at;
            if (step.admitted) {
                EXPECT_EQ(heldBack, step.heldBack) << testCase.name << " at " << step.at;
            }
        }
    }
}

}  // namespace
}  // namespace tavisto
