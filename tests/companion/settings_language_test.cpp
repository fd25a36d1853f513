// The real Tavisto.exe's settings window in the user's language and in the language
// the configuration names, with every fixed text fitting its control.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "companion/settings_controls.h"
#include "core/texts.h"
#include "desk_band_host.h"
#include "platform/win32/handles.h"
#include "platform/win32/user_languages.h"
#include "settings_program.h"

namespace tavisto::companion::testing {
namespace {

constexpr DWORD kPromptly = 10000;

std::wstring wide(const TextTable& texts, TextId id) {
    const std::u16string_view words = text(texts, id);
    return {words.begin(), words.end()};
}

std::string configurationIn(const char* language) {
    return std::string(R"({ "language": ")") + language + R"(", "meterGroups": [] })";
}

// Whether the window's fixed texts are those of `texts`, within a bounded wait: the
// window takes the file's language from its first check.
bool speaks(const SettingsProgram& program, const TextTable& texts) {
    return host::pumpUntil(
        [&] {
            return windowText(program.control(kCheckAgainButton)) ==
                       wide(texts, TextId::SettingsCheckAgain) &&
                   windowText(program.window()) == wide(texts, TextId::SettingsTitle);
        },
        kPromptly);
}

// The language of the user's Windows that this run was started in: Wine derives it
// from the Unix locale the programs start with (LC_ALL), which no Windows program can
// change for the programs it starts. scripts/test-taskbar runs these tests once more in
// German and names that language in TAVISTO_USER_LANGUAGE.
std::string runLanguage() {
    const std::wstring language = host::environmentValue(L"TAVISTO_USER_LANGUAGE");
    return {language.begin(), language.end()};
}

// The dialog font, as the settings window makes it at the system's DPI: the message
// font of the system's metrics. (A font handle of another process means nothing here.)
win32::GdiFont dialogFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return win32::GdiFont(nullptr);
    }
    return win32::GdiFont(CreateFontIndirectW(&metrics.lfMessageFont));
}

struct Clipped {
    int id;
    std::wstring text;
    int needed;
    int width;
};

// The visible labels, buttons and check boxes whose text is wider or taller than the
// control, measured here in the window's font. The lines that end in an ellipsis
// (the file's path, the state) are made to shorten what does not fit.
std::vector<Clipped> clippedControls(HWND window) {
    std::vector<Clipped> clipped;
    const win32::WindowDc dc = win32::windowDc(window);
    const win32::GdiFont font = dialogFont();
    EXPECT_TRUE(font);
    const HGDIOBJ original = SelectObject(dc.get(), font.get());
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        const bool isStatic = _wcsicmp(className, WC_STATICW) == 0;
        const bool isButton = _wcsicmp(className, WC_BUTTONW) == 0;
        const LONG_PTR ellipsis = SS_ENDELLIPSIS | SS_PATHELLIPSIS | SS_WORDELLIPSIS;
        if ((style & WS_VISIBLE) == 0 || (!isStatic && !isButton) ||
            (isStatic && (style & ellipsis) != 0)) {
            continue;
        }
        const std::wstring words = windowText(child);
        RECT bounds{};
        DrawTextW(dc.get(), words.c_str(), -1, &bounds,
                  DT_CALCRECT | DT_SINGLELINE |
                      (isStatic && (style & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0U));
        // A push button draws its text inside its edges; a check box after its box.
        const int room = !isButton ? 0 : (style & BS_TYPEMASK) == BS_AUTOCHECKBOX ? 13 + 4 : 2 * 4;
        RECT client{};
        GetClientRect(child, &client);
        const int needed = static_cast<int>(bounds.right) + room;
        if (needed > client.right || bounds.bottom > client.bottom) {
            clipped.push_back({GetDlgCtrlID(child), words, needed, static_cast<int>(client.right)});
        }
    }
    SelectObject(dc.get(), original);
    return clipped;
}

class SettingsLanguageTest : public ::testing::Test {
  protected:
    void SetUp() override { host::removeFolder(host::configurationFolder()); }
    void TearDown() override { host::removeFolder(host::configurationFolder()); }
};

TEST_F(SettingsLanguageTest, EveryFixedTextFitsItsControlInLongAndWideScripts) {
    for (const char* language : {"qps-ploc", "ja"}) {
        SCOPED_TRACE(language);
        host::removeFolder(host::configurationFolder());
        CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
        ASSERT_TRUE(host::writeNewFile(host::configurationFile(), configurationIn(language)));
        const SettingsProgram program;
        const TextTable* texts = textsFor(language);
        ASSERT_NE(texts, nullptr);
        ASSERT_TRUE(speaks(program, *texts));
        for (const Clipped& control : clippedControls(program.window())) {
            ADD_FAILURE() << "control " << control.id << " (" << control.text << ") is "
                          << control.width << " pixels wide, its text needs " << control.needed;
        }
    }
}

TEST_F(SettingsLanguageTest, SpeaksTheUsersLanguageUnlessTheFileNamesOne) {
    if (runLanguage() != "de") {
        GTEST_SKIP() << "runs in the German run of scripts/test-taskbar";
    }
    // The run is German indeed, else the window could not be.
    const std::vector<std::string> languages = win32::userDisplayLanguages();
    ASSERT_FALSE(languages.empty());
    ASSERT_EQ(languages.front().substr(0, 2), "de");
    const TextTable& deutsch = *textsFor("de");
    {
        // No file: nothing names a language.
        const SettingsProgram program;
        ASSERT_TRUE(speaks(program, deutsch)) << windowText(program.window());
        EXPECT_TRUE(program.waitForState(wide(deutsch, TextId::SettingsMissing).c_str()))
            << program.state();
        EXPECT_EQ(windowText(program.control(kPathText)).rfind(L"Datei: ", 0), 0u);
    }
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), configurationIn("ja")));
    const SettingsProgram program;
    const TextTable& japanese = *textsFor("ja");
    ASSERT_TRUE(speaks(program, japanese)) << windowText(program.window());
    EXPECT_TRUE(program.waitForState(L"読み込み済み: ")) << program.state();
    // The file no longer names one: back to the user's, at the next check.
    ASSERT_TRUE(host::writeInPlace(host::configurationFile(), R"({ "meterGroups": [] })"));
    program.click(kCheckAgainButton);
    EXPECT_TRUE(speaks(program, deutsch)) << windowText(program.window());
}

}  // namespace
}  // namespace tavisto::companion::testing
