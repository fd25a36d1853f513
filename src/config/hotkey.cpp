#include "config/hotkey.h"

#include <algorithm>
#include <cctype>

#include "core/failure_sink.h"

namespace tavisto {
namespace {

constexpr std::uint32_t kFirstFunctionKey = 0x70;
constexpr int kFunctionKeys = 24;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

bool sameWord(std::string_view text, std::string_view word) {
    return text.size() == word.size() &&
           std::equal(text.begin(), text.end(), word.begin(), [](char left, char right) {
               return std::toupper(static_cast<unsigned char>(left)) ==
                      std::toupper(static_cast<unsigned char>(right));
           });
}

std::uint8_t modifierOf(std::string_view part) {
    if (sameWord(part, "Ctrl") || sameWord(part, "Control")) {
        return Hotkey::Control;
    }
    if (sameWord(part, "Alt")) {
        return Hotkey::Alt;
    }
    if (sameWord(part, "Shift")) {
        return Hotkey::Shift;
    }
    if (sameWord(part, "Win")) {
        return Hotkey::Windows;
    }
    return 0;
}

std::uint32_t keyOf(std::string_view part) {
    if (part.size() == 1 && std::isalnum(static_cast<unsigned char>(part[0]))) {
        return static_cast<std::uint32_t>(std::toupper(static_cast<unsigned char>(part[0])));
    }
    if (part.size() >= 2 && part.size() <= 3 && (part[0] == 'F' || part[0] == 'f') &&
        std::all_of(part.begin() + 1, part.end(),
                    [](char digit) { return std::isdigit(static_cast<unsigned char>(digit)); }) &&
        part[1] != '0') {
        const int number = std::stoi(std::string(part.substr(1)));
        if (number >= 1 && number <= kFunctionKeys) {
            return kFirstFunctionKey + static_cast<std::uint32_t>(number - 1);
        }
    }
    return 0;
}

// Stand for every letter, or every digit, in the list below.
constexpr std::uint32_t kAnyLetter = 0x100;
constexpr std::uint32_t kAnyDigit = 0x101;

constexpr std::uint32_t functionKey(int number) {
    return kFirstFunctionKey + static_cast<std::uint32_t>(number - 1);
}

struct CommonShortcut {
    std::uint8_t modifiers;  // exactly these
    std::uint32_t key;       // a key, kAnyLetter or kAnyDigit
    std::string_view use;
};

constexpr std::uint8_t kCtrl = Hotkey::Control;
constexpr std::uint8_t kAlt = Hotkey::Alt;
constexpr std::uint8_t kShift = Hotkey::Shift;
constexpr std::uint8_t kWin = Hotkey::Windows;

// The first entry that matches names the use. (Alt+Tab, Ctrl+Esc, Ctrl+Alt+Del and the
// like need no entry: their keys are none that a hotkey may have.)
constexpr CommonShortcut kCommonShortcuts[] = {
    {kCtrl, 'A', "select all"},
    {kCtrl, 'C', "copy"},
    {kCtrl, 'V', "paste"},
    {kCtrl, 'X', "cut"},
    {kCtrl, 'Z', "undo"},
    {kCtrl, 'Y', "redo"},
    {kCtrl, 'S', "save"},
    {kCtrl, 'O', "open"},
    {kCtrl, 'N', "new"},
    {kCtrl, 'P', "print"},
    {kCtrl, 'F', "find"},
    {kCtrl, 'W', "close the tab"},
    {kCtrl, 'T', "open a tab"},
    {kCtrl, functionKey(4), "close the document"},
    {kCtrl | kShift, 'Z', "redo"},
    {kAlt, functionKey(4), "close the window"},
    {kWin, 'L', "lock the computer"},
    {kWin, 'D', "show the desktop"},
    {kWin, 'E', "open File Explorer"},
    {kWin, 'R', "open Run"},
    {kWin, 'I', "open Settings"},
    {kWin, 'S', "search"},
    {kWin, 'V', "open the clipboard history"},
    {kWin, 'X', "open the Start button's menu"},
    {kWin | kShift, 'S', "take a screenshot"},
    {kWin | kCtrl, 'D', "add a virtual desktop"},
    {kWin | kCtrl, functionKey(4), "close the virtual desktop"},
    {kWin | kCtrl | kShift, 'B', "restart the graphics driver"},
    // AltGr is Ctrl+Alt: a hotkey of Ctrl+Alt takes the character AltGr types.
    {kCtrl | kAlt, 'E', "type the euro sign with AltGr"},
    {kCtrl | kAlt, 'Q', "type @ with AltGr on German keyboards"},
    {kCtrl | kAlt, kAnyDigit, "type characters such as @ { [ ] } with AltGr"},
    {kCtrl, kAnyLetter, "the commands of many programs"},
    {kCtrl, kAnyDigit, "switch tabs"},
    {kAlt, kAnyLetter, "menus and buttons by their underlined letters"},
    {kWin, kAnyLetter, "commands of Windows"},
    {kWin, kAnyDigit, "start the programs on the taskbar"},
};

bool keyMatches(std::uint32_t listed, std::uint32_t key) {
    if (listed == kAnyLetter) {
        return key >= 'A' && key <= 'Z';
    }
    if (listed == kAnyDigit) {
        return key >= '0' && key <= '9';
    }
    return listed == key;
}

// Appended piece by piece: GCC 12 warns about the temporaries of a chain of "+".
std::string quoted(std::string_view part, std::string_view rest) {
    std::string text(1, '"');
    text.append(part);
    text.push_back('"');
    text.append(rest);
    return text;
}

}  // namespace

std::optional<Hotkey> parseHotkey(std::string_view text, std::string& error) {
    Hotkey hotkey;
    std::size_t start = 0;
    while (true) {
        const std::size_t plus = text.find('+', start);
        const std::string_view part =
            trimmed(text.substr(start, plus == std::string_view::npos ? plus : plus - start));
        const bool last = plus == std::string_view::npos;
        if (!last) {
            const std::uint8_t modifier = modifierOf(part);
            if (modifier == 0 || (hotkey.modifiers & modifier) != 0) {
                error = quoted(part, " is not a modifier (Ctrl, Alt, Shift, Win)");
                return std::nullopt;
            }
            hotkey.modifiers |= modifier;
            start = plus + 1;
            continue;
        }
        hotkey.key = keyOf(part);
        if (hotkey.key == 0) {
            error = quoted(part, " is not a key (a letter, a digit or F1 to F24)");
            return std::nullopt;
        }
        break;
    }
    if ((hotkey.modifiers & ~Hotkey::Shift) == 0) {
        error = "a hotkey needs Ctrl, Alt or Win";
        return std::nullopt;
    }
    return hotkey;
}

std::string_view commonUseOf(const Hotkey& hotkey) {
    for (const CommonShortcut& shortcut : kCommonShortcuts) {
        if (shortcut.modifiers == hotkey.modifiers && keyMatches(shortcut.key, hotkey.key)) {
            return shortcut.use;
        }
    }
    return {};
}

std::optional<Hotkey> readHotkey(const nlohmann::json& document, std::string& error) noexcept {
    try {
        if (!document.is_object()) {
            return std::nullopt;
        }
        const auto found = document.find("hotkey");
        if (found == document.end() || found->is_null()) {
            return std::nullopt;
        }
        if (!found->is_string()) {
            error = "\"hotkey\" is not a string";
            return std::nullopt;
        }
        const std::string& text = found->get_ref<const std::string&>();
        if (trimmed(text).empty()) {
            return std::nullopt;
        }
        return parseHotkey(text, error);
    } catch (...) {
        reportCaughtException("the hotkey");
        return std::nullopt;
    }
}

}  // namespace tavisto
