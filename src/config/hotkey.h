#pragma once
// The optional "hotkey" of the configuration: the key combination that opens Tavisto.exe's
// Show values window from anywhere. Only the companion reads it; the desk band ignores it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavisto {

struct Hotkey {
    enum Modifier : std::uint8_t { Control = 1, Alt = 2, Shift = 4, Windows = 8 };
    std::uint8_t modifiers = 0;
    // "A" to "Z" and "0" to "9" as their upper-case characters; function keys as 0x70
    // (F1) to 0x87 (F24), the system's own virtual-key codes for them.
    std::uint32_t key = 0;
    bool operator==(const Hotkey&) const = default;
};

// Reads a combination such as "Ctrl+Alt+M": modifiers ("Ctrl" or "Control", "Alt",
// "Shift", "Win") and one key (a letter, a digit or F1 to F24), joined by "+", in any case,
// with spaces around the parts allowed. At least one modifier besides Shift is needed, so
// that the combination cannot take a key from what the user types. Nothing for any other
// text, with why in `error`.
std::optional<Hotkey> parseHotkey(std::string_view text, std::string& error);

// What programs or Windows do with the combination, in a few words ("copy", "lock the
// computer"), when registering it for the whole session would take it from them or find it
// taken; empty for any other. The one list of such shortcuts.
std::string_view commonUseOf(const Hotkey& hotkey);

// Reads "hotkey" from a parsed configuration document: nothing when it is absent or
// empty (the default: no hotkey); nothing with why in `error` when it is not a string or
// cannot be read. Never throws.
std::optional<Hotkey> readHotkey(const nlohmann::json& document, std::string& error) noexcept;

}  // namespace tavisto
