#include <gtest/gtest.h>

#include "core/windows_path.h"

namespace tavisto {
namespace {

TEST(WindowsPath, JoinsWithExactlyOneSeparator) {
    const struct {
        const wchar_t *folder, *name, *joined;
    } cases[] = {
        {L"C:\\Tavisto", L"a.json", L"C:\\Tavisto\\a.json"},
        {L"C:\\Tavisto\\", L"a.json", L"C:\\Tavisto\\a.json"},
        {L"C:/Tavisto/", L"a.json", L"C:/Tavisto/a.json"},
        {L"C:\\Tavisto", L"", L"C:\\Tavisto\\"},
        {L"", L"a.json", L"a.json"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(joinPath(test.folder, test.name), test.joined) << test.folder;
    }
}

TEST(WindowsPath, TrimsTrailingSeparatorsButKeepsARoot) {
    const struct {
        const wchar_t *path, *trimmed;
    } cases[] = {
        {L"C:\\Tavisto\\/", L"C:\\Tavisto"},
        {L"C:\\Tavisto", L"C:\\Tavisto"},
        {L"C:\\\\", L"C:\\"},
        {L"\\", L"\\"},
        {L"", L""},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(withoutTrailingSeparators(test.path), test.trimmed) << test.path;
    }
}

}  // namespace
}  // namespace tavisto
