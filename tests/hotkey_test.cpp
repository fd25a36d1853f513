#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "config/hotkey.h"

namespace tavisto {
namespace {

struct HotkeyCase {
    const char* text;
    std::optional<Hotkey> expected;
};

const HotkeyCase kHotkeyCases[] = {
    {"Ctrl+Alt+M", Hotkey{Hotkey::Control | Hotkey::Alt, 'M'}},
    {" control + shift + f12 ", Hotkey{Hotkey::Control | Hotkey::Shift, 0x7B}},
    {"Win+1", Hotkey{Hotkey::Windows, '1'}},
    {"Alt+F1", Hotkey{Hotkey::Alt, 0x70}},
    {"Alt+F24", Hotkey{Hotkey::Alt, 0x87}},
    {"Alt+F25", std::nullopt},
    {"Alt+F0", std::nullopt},
    {"Shift+M", std::nullopt},  // would take a capital letter from typing
    {"M", std::nullopt},
    {"Ctrl+Ctrl+M", std::nullopt},
    {"Ctrl+Alt", std::nullopt},
    {"Ctrl+Alt+", std::nullopt},
    {"Ctrl+Hyper+M", std::nullopt},
    {"Ctrl+Alt+MM", std::nullopt},
};

TEST(Hotkey, ReadsModifiersAndOneKey) {
    for (const HotkeyCase& hotkey : kHotkeyCases) {
        SCOPED_TRACE(hotkey.text);
        std::string error;
        const std::optional<Hotkey> parsed = parseHotkey(hotkey.text, error);
        EXPECT_EQ(parsed, hotkey.expected);
        EXPECT_EQ(error.empty(), parsed.has_value()) << error;
    }
}

TEST(Hotkey, IsOffUnlessTheDocumentNamesOne) {
    const struct {
        const char* document;
        bool present;
        bool error;
    } cases[] = {
        {R"({})", false, false},
        {R"({"hotkey": ""})", false, false},
        {R"({"hotkey": null})", false, false},
        {R"({"hotkey": 5})", false, true},
        {R"({"hotkey": "Ctrl+M+Alt"})", false, true},
        {R"({"hotkey": "Ctrl+Alt+M"})", true, false},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.document);
        std::string error;
        EXPECT_EQ(readHotkey(nlohmann::json::parse(entry.document), error).has_value(),
                  entry.present);
        EXPECT_EQ(!error.empty(), entry.error);
    }
}

}  // namespace
}  // namespace tavisto
