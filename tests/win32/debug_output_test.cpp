// The line a failure report makes in the debugger's output, formed without allocating.

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/debug_output.h"

namespace tavisto::win32 {
namespace {

TEST(DebugOutput, ALineNamesThePlaceAndWhatWasCaughtAndIsCutToItsBuffer) {
    struct Case {
        const char* name;
        std::string what;
        std::size_t capacity;
        std::wstring expected;
    };
    const Case cases[] = {
        {"whole", "the query closed", 128, L"Tavisto: tick: the query closed\n"},
        {"UTF-8 becomes UTF-16", "caf\xC3\xA9", 128, L"Tavisto: tick: caf\u00E9\n"},
        {"cut, still one line", std::string(300, 'x'), 24, L"Tavisto: tick: xxxxxxx\n"},
        {"no room but for the end", "lost", 1, L""},
    };
    for (const Case& testCase : cases) {
        std::wstring line(testCase.capacity, L'?');
        const std::size_t length =
            formatDebugLine("tick", testCase.what, line.data(), testCase.capacity);
        EXPECT_EQ(line.c_str(), testCase.expected) << testCase.name;
        EXPECT_EQ(length, testCase.expected.size()) << testCase.name;
    }
}

}  // namespace
}  // namespace tavisto::win32
