// The companion's parts that need no taskbar: where the meters go, the command line, the
// clickable frame, the log's bound, autostart, what the settings window says about a
// configuration file and how it creates one (and that it reads nothing without an
// application data folder), and the counter picker's fragments.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <pdhmsg.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "companion/autostart.h"
#include "companion/command_line.h"
#include "companion/configuration_status.h"
#include "companion/counter_paths.h"
#include "companion/example_file.h"
#include "companion/log_file.h"
#include "companion/placement.h"
#include "companion/settings_controls.h"
#include "companion/settings_window.h"
#include "companion/taskbar_finder.h"
#include "config/configuration_checker.h"
#include "config/configuration_loader.h"
#include "config/taskbar_settings.h"
#include "core/text_conversion.h"
#include "desk_band_host.h"
#include "platform/win32/handles.h"
#include "platform/win32/layered_frame.h"
#include "window/machine_counter_catalog.h"

namespace tavisto::companion {
namespace {

TEST(Placement, PutsTheBandAgainstTheChosenEdge) {
    const Rect horizontal{0, 0, 1000, 48};
    const Rect vertical{0, 0, 60, 800};
    const struct {
        const char* name;
        TaskbarShape taskbar;
        TaskbarSettings settings;
        std::int32_t length;
        Rect expected;
    } cases[] = {
        {"beside the notification area",
         {horizontal, Rect{800, 0, 1000, 48}, std::nullopt, 1.0},
         {},
         100,
         {700, 0, 800, 48}},
        {"offset away from it, scaled",
         {horizontal, Rect{800, 0, 1000, 48}, std::nullopt, 1.5},
         {Monitors::Primary, Edge::Right, 10},
         100,
         {685, 0, 785, 48}},
        {"secondary: the end less the scaled clock",
         {horizontal, std::nullopt, std::nullopt, 2.0, false},
         {},
         50,
         {824 - 50, 0, 824, 48}},
        {"primary with no notification area yet: the end less the scaled reserve",
         {horizontal, std::nullopt, std::nullopt, 1.5, true},
         {},
         50,
         {700 - 50, 0, 700, 48}},
        {"Wine's desktop taskbar, whose tray has no window: the end less the reserve",
         {Rect{0, 0, 1024, 20}, std::nullopt, Rect{0, 0, 53, 20}, 1.0, true},
         {},
         32,
         {824 - 32, 0, 824, 20}},
        {"taller than the visible bar: across the bar only",
         {Rect{0, 0, 1000, 72}, Rect{800, 24, 1000, 72}, Rect{0, 24, 48, 72}, 1.0},
         {},
         100,
         {700, 24, 800, 72}},
        {"vertical and wider than its bar",
         {Rect{0, 0, 90, 800}, Rect{0, 700, 60, 800}, Rect{0, 0, 60, 60}, 1.0},
         {},
         120,
         {0, 580, 60, 700}},
        {"left end with offset",
         {horizontal, Rect{800, 0, 1000, 48}, std::nullopt, 1.0},
         {Monitors::Primary, Edge::Left, 8},
         100,
         {8, 0, 108, 48}},
        {"vertical taskbar: above the notification area",
         {vertical, Rect{0, 700, 60, 800}, std::nullopt, 1.0},
         {},
         120,
         {0, 580, 60, 700}},
        {"longer than the room: starts at the near end",
         {horizontal, Rect{80, 0, 1000, 48}, std::nullopt, 1.0},
         {},
         300,
         {0, 0, 300, 48}},
        {"no configuration: zero length",
         {horizontal, Rect{800, 0, 1000, 48}, std::nullopt, 1.0},
         {},
         0,
         {800, 0, 800, 48}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(placeBand(test.taskbar, test.settings, test.length), test.expected);
    }
}

TEST(CommandLine, TaskbarSwitchesBelongTogether) {
    const struct {
        std::vector<std::wstring> arguments;
        Mode mode;
        bool force;
        AutostartChange autostart;
    } cases[] = {
        {{}, Mode::Default, false, AutostartChange::None},
        {{L"--taskbar"}, Mode::Taskbar, false, AutostartChange::None},
        {{L"--force", L"--taskbar"}, Mode::Taskbar, true, AutostartChange::None},
        {{L"--taskbar", L"--install-autostart"}, Mode::Taskbar, false, AutostartChange::Install},
        {{L"--taskbar", L"--uninstall-autostart"},
         Mode::Taskbar,
         false,
         AutostartChange::Uninstall},
        {{L"--install-autostart"}, Mode::Invalid, false, AutostartChange::None},
        {{L"--taskbar", L"--install-autostart", L"--uninstall-autostart"},
         Mode::Invalid,
         false,
         AutostartChange::None},
        {{L"--taskbar", L"--Taskbar"}, Mode::Invalid, false, AutostartChange::None},
        {{L"--version"}, Mode::Version, false, AutostartChange::None},
        {{L"--taskbar", L"--version"}, Mode::Invalid, false, AutostartChange::None},
        {{L"--values"}, Mode::Values, false, AutostartChange::None},
        {{L"--taskbar", L"--values"}, Mode::Invalid, false, AutostartChange::None},
        {{L"--values", L"--values"}, Mode::Invalid, false, AutostartChange::None},
    };
    for (const auto& test : cases) {
        const CommandLine parsed = parseCommandLine(test.arguments);
        EXPECT_EQ(parsed.mode, test.mode) << test.arguments.size();
        if (test.mode != Mode::Invalid) {
            EXPECT_EQ(parsed.force, test.force);
            EXPECT_EQ(parsed.autostart, test.autostart);
        }
    }
}

TEST(LayeredFrame, OnlyFullyTransparentPixelsChange) {
    EXPECT_EQ(win32::clickablePixel(0x00000000), 0x01000000u);
    EXPECT_EQ(win32::clickablePixel(0x00FFFFFF), 0x01000000u);
    EXPECT_EQ(win32::clickablePixel(0x01000000), 0x01000000u);
    EXPECT_EQ(win32::clickablePixel(0x80402010), 0x80402010u);
    EXPECT_EQ(win32::clickablePixel(0xFFFF0000), 0xFFFF0000u);
}

TEST(LogFile, StartsAfreshBeforePassingItsLimit) {
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring folder = std::wstring(temporary) + L"tavisto-log-test";
    const std::wstring path = folder + L"\\Tavisto.log";
    host::removeFolder(folder);
    const std::wstring line(600, L'x');
    std::uint64_t largest = 0;
    for (int i = 0; i < 2000; ++i) {
        appendLogLine(path, line);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
        largest = std::max(largest, (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    }
    EXPECT_GT(largest, kLogLimitBytes);
    EXPECT_LT(largest, 1024u * 1024u);
    host::removeFolder(folder);
}

// A line longer than the bound is cut between two characters: the log stays UTF-8.
TEST(LogFile, CutsALongLineBetweenCharacters) {
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring folder = std::wstring(temporary) + L"tavisto-log-cut-test";
    const std::wstring path = folder + L"\\Tavisto.log";
    const struct {
        const wchar_t* character;
        std::size_t bytes;  // in UTF-8
    } cases[] = {{L"x", 1}, {L"\u00E9", 2}, {L"\u20AC", 3}, {L"\U0001F600", 4}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.bytes);
        host::removeFolder(folder);
        std::wstring line;
        for (int i = 0; i < 2000; ++i) {
            line += test.character;
        }
        appendLogLine(path, line);
        std::string written;
        {
            const win32::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(file);
            char chunk[4096];
            DWORD read = 0;
            while (ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
                written.append(chunk, read);
            }
        }
        ASSERT_TRUE(written.ends_with("\r\n"));
        written.resize(written.size() - 2);
        EXPECT_EQ(firstInvalidUtf8(written), std::string::npos);
        EXPECT_LE(written.size(), kLogLineBytes);
        EXPECT_GT(written.size(), kLogLineBytes - test.bytes);
        EXPECT_TRUE(written.ends_with(utf16ToUtf8(
            std::u16string(test.character, test.character + std::wcslen(test.character)))));
    }
    host::removeFolder(folder);
}

LRESULT CALLBACK plainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return DefWindowProcW(window, message, wParam, lParam);
}

// A Windows build that renamed the composition bridge.
constexpr wchar_t kRenamedBridgeClass[] = L"Windows.UI.Composition.DesktopWindowContentBridge2";

// A top-level window of the primary taskbar's class with the given children: a bridge
// of the class named (none: null).
win32::Window taskbarWindow(bool shown, int height, const wchar_t* bridge, int bandHost) {
    for (const wchar_t* name :
         {kPrimaryTaskbarClass, kCompositionBridgeClass, kRenamedBridgeClass, kBandHostClass}) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = plainProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = name;
        RegisterClassW(&windowClass);
    }
    win32::Window taskbar(CreateWindowExW(WS_EX_TOOLWINDOW, kPrimaryTaskbarClass, nullptr,
                                          WS_POPUP | (shown ? WS_VISIBLE : 0), 0, 400, 600, height,
                                          nullptr, nullptr, nullptr, nullptr));
    if (bridge != nullptr) {
        CreateWindowExW(0, bridge, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 600, height, taskbar.get(),
                        nullptr, nullptr, nullptr);
    }
    if (bandHost != 0) {
        // 1: shown with an area; -1: a hidden leftover.
        CreateWindowExW(0, kBandHostClass, nullptr, bandHost > 0 ? WS_CHILD | WS_VISIBLE : WS_CHILD,
                        0, 0, 400, height, taskbar.get(), nullptr, nullptr, nullptr);
    }
    return taskbar;
}

TEST(TaskbarFinder, JudgesOnlyATaskbarThatIsReady) {
    const wchar_t* const bridge = kCompositionBridgeClass;
    const struct {
        const char* name;
        bool shown;
        int height;
        const wchar_t* bridge;
        int bandHost;
        TaskbarKind expected;
    } cases[] = {
        {"hidden", false, 48, bridge, 0, TaskbarKind::NotReady},
        {"no area", true, 0, bridge, 0, TaskbarKind::NotReady},
        {"composition", true, 48, bridge, 0, TaskbarKind::Composition},
        {"composition with a hidden band host", true, 48, bridge, -1, TaskbarKind::Composition},
        {"bridge and a shown band host", true, 48, bridge, 1, TaskbarKind::HostsDeskBands},
        {"classic", true, 48, nullptr, 1, TaskbarKind::HostsDeskBands},
        {"neither: Wine's desktop taskbar", true, 20, nullptr, 0, TaskbarKind::Plain},
        {"a hidden band host only", true, 48, nullptr, -1, TaskbarKind::Plain},
        {"a bridge of another name", true, 48, kRenamedBridgeClass, 0, TaskbarKind::Plain},
        {"a bridge of another name and a shown band host", true, 48, kRenamedBridgeClass, 1,
         TaskbarKind::HostsDeskBands},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const win32::Window taskbar =
            taskbarWindow(test.shown, test.height, test.bridge, test.bandHost);
        ASSERT_TRUE(taskbar);
        EXPECT_EQ(judgeTaskbar(taskbar.get()), test.expected);
    }
    // Every ready taskbar but one that hosts desk bands takes the meters without --force.
    EXPECT_TRUE(takesTheMeters(TaskbarKind::Composition));
    EXPECT_TRUE(takesTheMeters(TaskbarKind::Plain));
    EXPECT_FALSE(takesTheMeters(TaskbarKind::HostsDeskBands));
    EXPECT_FALSE(takesTheMeters(TaskbarKind::NotReady));
}

TEST(TaskbarFinder, NeverChoosesATaskbarOfAProgramOtherThanExplorer) {
    // This test program is not explorer.exe: its ready taskbar is an impostor's.
    const win32::Window impostor = taskbarWindow(true, 48, kCompositionBridgeClass, 0);
    EXPECT_FALSE(ownedByShell(impostor.get()));
    EXPECT_NE(findPrimaryTaskbar(), impostor.get());
}

std::wstring runValue() {
    wchar_t value[1024] = {};
    DWORD bytes = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, value,
                     &bytes) != ERROR_SUCCESS) {
        return L"<none>";
    }
    return value;
}

TEST(Autostart, WritesTheQuotedProgramWithTheTaskbarSwitchAndRemovesIt) {
    const std::wstring program = L"C:\\Program Files\\Tavisto\\Tavisto.exe";
    ASSERT_TRUE(installAutostart(program));
    EXPECT_EQ(runValue(), L"\"C:\\Program Files\\Tavisto\\Tavisto.exe\" --taskbar");
    ASSERT_TRUE(uninstallAutostart());
    EXPECT_EQ(runValue(), L"<none>");
    EXPECT_TRUE(uninstallAutostart());
}

std::wstring testFolder(const wchar_t* name) {
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    return std::wstring(temporary) + name;
}

constexpr char16_t kEmpty[] = u"{\"meterGroups\": []}";

std::string utf16Bytes(std::u16string_view text, bool bigEndian, bool mark) {
    std::string bytes = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(ConfigurationStatus, StatesTheCountsOrTheReasonForRefusal) {
    const struct {
        const char* name;
        std::string bytes;
        ConfigurationState state;
        std::wstring stateLine;
        std::size_t findingLine;  // of the first finding; 0: no finding
    } cases[] = {
        {"counted, singular and plural; percentages without a range show nothing",
         R"json({ "meterGroups": [
               { "meters": [ { "meterType": "text", "width": 9, "refreshRate": 500, "counters": [
                   { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal)", "units": "percent" },
                   { "counterPath": "(PERFORMANCE_INFORMATION.CommitTotal)", "units": "percent" }
               ] } ] },
               { "meters": [] } ] })json",
         ConfigurationState::Loaded,
         L"Loaded, but meters that can show nothing: 1; groups: 2, meters: 1, counters: 2 "
         L"(errors: 0, warnings: 3)",
         3},
        {"a type error", "{\n  \"meterGroups\": 5\n}", ConfigurationState::Refused,
         L"Refused: \"meterGroups\" must be an object or an array, not a number (line 2, "
         L"column 18). The band keeps what it showed before (errors: 1, "
         L"warnings: 0).",
         2},
        {"not UTF-8 on line 3", "{\n\"meterGroups\": [],\n\"name\": \"\xC3\x28\"\n}",
         ConfigurationState::Refused,
         L"Refused: the file is not saved as UTF-8: save it again with the UTF-8 encoding (line 3, "
         L"column 10). The band keeps what it showed before (errors: 1, "
         L"warnings: 0).",
         3},
        {"UTF-16 LE with a mark", utf16Bytes(kEmpty, false, true), ConfigurationState::Loaded,
         L"Loaded: groups: 0, meters: 0, counters: 0 (errors: 0, warnings: 1)", 1},
        {"UTF-16 BE with a mark", utf16Bytes(kEmpty, true, true), ConfigurationState::Loaded,
         L"Loaded: groups: 0, meters: 0, counters: 0 (errors: 0, warnings: 1)", 1},
        {"UTF-8 with a mark", "\xEF\xBB\xBF{\"meterGroups\": []}", ConfigurationState::Loaded,
         L"Loaded: groups: 0, meters: 0, counters: 0", 0},
        {"UTF-16 without a mark", utf16Bytes(kEmpty, false, false), ConfigurationState::Refused,
         L"Refused: the file is not saved as UTF-8: save it again with the UTF-8 encoding (line 1, "
         L"column 2). The band keeps what it showed before (errors: 1, warnings: 0).",
         1},
        {"UTF-16 with an unpaired surrogate", utf16Bytes(u"{\"a\": \"\xDC00\"}", true, true),
         ConfigurationState::Refused,
         L"Refused: the file, saved as UTF-16, holds half of a character pair: save it again as "
         L"UTF-8 (line 1, column 8). The band keeps what it showed before (errors: 1, "
         L"warnings: 0).",
         1},
        {"UTF-16 with U+0000 after the document",
         utf16Bytes(std::u16string(kEmpty) + u'\0' + u"{\"x\": [", false, true),
         ConfigurationState::Refused,
         L"Refused: the file, saved as UTF-16, holds a NUL character (U+0000): remove it, and "
         L"save the file again as UTF-8 (line 1, column 20). The band keeps what it showed "
         L"before (errors: 1, warnings: 0).",
         1},
        // The band loads the file; Tavisto.exe refuses the hotkey alone.
        {"a hotkey Tavisto.exe cannot read",
         "{\"meterGroups\": [],\n \"hotkey\": \"Ctrl+Hyper+M\"}", ConfigurationState::Loaded,
         L"Loaded: groups: 0, meters: 0, counters: 0 (errors: 1, warnings: 0). The hotkey "
         L"\"Ctrl+Hyper+M\" cannot be read: \"Hyper\" is not a modifier (Ctrl, Alt, Shift, Win); "
         L"Tavisto.exe registers "
         L"none.",
         2},
        {"a hotkey that programs use", "{\"meterGroups\": [], \"hotkey\": \"Ctrl+C\"}",
         ConfigurationState::Loaded,
         L"Loaded: groups: 0, meters: 0, counters: 0 (errors: 0, warnings: 1)", 1},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        const ConfigurationStatus status = describeConfiguration(example.bytes);
        EXPECT_EQ(status.state, example.state);
        EXPECT_EQ(status.stateLine, example.stateLine);
        ASSERT_EQ(status.findings.empty(), example.findingLine == 0);
        if (example.findingLine != 0) {
            EXPECT_EQ(status.findings.front().line, example.findingLine);
        }
    }
}

// The file's own "language" chooses the words of its state line, and with it the
// settings window's; a file that does not parse names none, so the user's is spoken.
TEST(ConfigurationStatus, SpeaksTheLanguageTheFileNames) {
    const struct {
        const char* bytes;
        const TextTable* texts;
        std::wstring_view stateLine;
    } cases[] = {
        {R"({"language": "de", "meterGroups": []})", textsFor("de"),
         L"Geladen: Gruppen: 0, Anzeigen: 0, Leistungsindikatoren: 0"},
        {R"({"language": "ja-JP", "meterGroups": [{"meters": []}]})", textsFor("ja"),
         L"読み込み済み: グループ: 1、メーター: 0、カウンター: 0"},
        // Refused, yet it parses: the refusal is in its language.
        {"{\"language\": \"fr\",\n \"meterGroups\": 5}", textsFor("fr"),
         L"Refusé : \"meterGroups\" doit être un objet ou un tableau, pas un nombre (ligne 2, "
         L"colonne 17). La barre conserve ce qu'elle affichait auparavant (erreurs : 1, "
         L"avertissements : 0)."},
        {R"({"language": "de", "meterGroups": [)", &englishTexts(), L"Refused: "},
        {R"({"language": "xx", "meterGroups": []})", &englishTexts(), L"Loaded: "},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.bytes);
        const ConfigurationStatus status = describeConfiguration(example.bytes);
        ASSERT_NE(example.texts, nullptr);
        EXPECT_EQ(status.texts, example.texts);
        EXPECT_TRUE(status.stateLine.starts_with(example.stateLine)) << status.stateLine;
    }
}

// The state line of the newest result: after a refusal, when the file that last loaded
// was written; while a newer check runs, marked first.
TEST(ConfigurationStatus, StateLineSaysWhenTheLastLoadWasAndWhetherAnotherCheckRuns) {
    const ConfigurationStatus loaded{ConfigurationState::Loaded, L"Loaded: 1 group", {}, {}};
    const ConfigurationStatus refused{ConfigurationState::Refused, L"Refused: why.", {}, {}};
    const struct {
        const ConfigurationStatus* status;
        const wchar_t* lastLoaded;
        bool checking;
        std::wstring line;
    } cases[] = {
        {&loaded, L"", false, L"Loaded: 1 group"},
        {&loaded, L"2026-12-08 13:05:09", false, L"Loaded: 1 group"},
        {&loaded, L"", true, L"Checking again\u2026 Loaded: 1 group"},
        {&refused, L"", false, L"Refused: why."},
        {&refused, L"2026-12-08 13:05:09", false,
         L"Refused: why. Last loaded: the file as written at 2026-12-08 13:05:09."},
        {&refused, L"2026-12-08 13:05:09", true,
         L"Checking again\u2026 Refused: why. Last loaded: the file as written at 2026-12-08 "
         L"13:05:09."},
        // Before the first result.
        {nullptr, L"", false, L""},
        {nullptr, L"", true, L"Checking\u2026"},
    };
    const ConfigurationStatus none;
    for (const auto& test : cases) {
        EXPECT_EQ(stateLineWithLastLoad(test.status != nullptr ? *test.status : none,
                                        test.lastLoaded, test.checking),
                  test.line);
    }
}

class OneMissingCounter : public CounterCatalog {
  public:
    std::string missingReason(std::u16string_view englishPath) override {
        if (englishPath == u"SYSTEM_POWER_STATUS.BatteryLifePercent") {
            return "no battery";
        }
        return englishPath == u"\\Nothing Here\\At All" ? "this machine has no such counter" : "";
    }
};

TEST(ConfigurationStatus, NamesTheCounterThisMachineCannotReadAndWhy) {
    OneMissingCounter counters;
    const ConfigurationStatus status = describeConfiguration(
        R"json({"meterGroups": [{"meters": [{"meterType": "pie", "width": 9, "refreshRate": 500,
            "counters": [{"counterPath": "(\\Nothing Here\\At All)", "minValue": 0, "maxValue": 1},
                         {"counterPath": "(\\Memory\\Available Bytes)", "minValue": 0,
                          "maxValue": 1}]}]}]})json",
        &counters);
    EXPECT_EQ(status.state, ConfigurationState::Loaded);
    EXPECT_EQ(status.stateLine,
              L"Loaded: groups: 1, meters: 1, counters: 2 (errors: 0, warnings: 1). The counter "
              L"\\Nothing "
              L"Here\\At All cannot be read on this machine: this machine has no such counter.");

    const ConfigurationStatus battery = describeConfiguration(
        R"json({"meterGroups": [{"meters": [{"meterType": "text", "width": 40,
            "refreshRate": 1000, "counters": [
            {"counterPath": "(SYSTEM_POWER_STATUS.ACLineStatus)", "units": "count"},
            {"counterPath": "(SYSTEM_POWER_STATUS.BatteryLifePercent)", "units": "percent",
             "minValue": 0, "maxValue": 100}]}]}]})json",
        &counters);
    EXPECT_EQ(battery.stateLine,
              L"Loaded: groups: 1, meters: 1, counters: 2 (errors: 0, warnings: 1). The sensor "
              L"SYSTEM_POWER_STATUS.BatteryLifePercent is not available on this machine: no "
              L"battery.");
}

TEST(MachineCounterCatalog, SaysInPlainWordsWhyTheSystemRefusedACounter) {
    EXPECT_EQ(window::counterRefusalText(static_cast<PDH_STATUS>(PDH_CSTATUS_NO_COUNTER)),
              "this machine has no such counter (system code 0xC0000BB9)");
    EXPECT_EQ(window::counterRefusalText(0x12345678), "the system refused it with code 0x12345678");
    window::MachineCounterCatalog machine;
    EXPECT_EQ(machine.missingReason(u"\\Processor(_Total)\\% Processor Time"), "");
    EXPECT_NE(machine.missingReason(u"\\Nothing Here\\At All"), "");
    // Wine reports no adapter performance data, and a machine on mains without a battery.
    EXPECT_EQ(machine.missingReason(u"SYSTEM_POWER_STATUS.ACLineStatus"), "");
    EXPECT_EQ(machine.missingReason(u"SYSTEM_POWER_STATUS.BatteryLifeTime"), "no battery");
    EXPECT_TRUE(machine.missingReason(u"ADAPTER_PERFDATA.Temperature")
                    .starts_with("no GPU here reports its sensors"));
}

TEST(ConfigurationStatus, RefusesHugeFilesUnreadAndSaysWhyOthersCannotBeRead) {
    const std::wstring folder = testFolder(L"tavisto-status-test");
    host::removeFolder(folder);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring file = folder + L"\\TavistoConfig.json";

    EXPECT_EQ(readConfigurationStatus(file).state, ConfigurationState::Missing);

    // Valid JSON, but one byte over the limit.
    ASSERT_TRUE(host::writeNewFile(file, "{}" + std::string(1024 * 1024 - 1, ' ')));
    const ConfigurationStatus huge = readConfigurationStatus(file);
    EXPECT_EQ(huge.state, ConfigurationState::Refused);
    ASSERT_EQ(huge.findings.size(), 1u);
    EXPECT_EQ(huge.findings.front().code, "size");

    ASSERT_TRUE(host::writeInPlace(file, "{}"));
    EXPECT_EQ(readConfigurationStatus(file).state, ConfigurationState::Loaded);
    {
        // Held open by a program that shares it with nobody.
        const win32::FileHandle locked(
            CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(locked);
        const ConfigurationStatus status = readConfigurationStatus(file);
        EXPECT_EQ(status.state, ConfigurationState::Unreadable);
        EXPECT_EQ(status.stateLine,
                  L"Unreadable: " + systemErrorText(englishTexts(), ERROR_SHARING_VIOLATION));
    }
    host::removeFolder(folder);
}

TEST(ExampleFile, CreatesTheFolderAndNeverOverwrites) {
    const std::wstring root = testFolder(L"tavisto-example-test");
    host::removeFolder(root);
    const std::wstring folder = root + L"\\nested\\Tavisto\\";
    const std::wstring file = folder + L"TavistoConfig.json";

    const CreateResult created = createFromExample(folder, file, "{ \"meterGroups\": [] }");
    EXPECT_EQ(created.outcome, CreateResult::Outcome::Created);
    const CreateResult again = createFromExample(folder, file, "{}");
    EXPECT_EQ(again.outcome, CreateResult::Outcome::AlreadyThere);
    EXPECT_EQ(readConfigurationStatus(file).stateLine,
              L"Loaded: groups: 0, meters: 0, counters: 0");

    // Nothing but the file is left in the folder: no temporary file.
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"*.*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do {
        if (found.cFileName[0] != L'.') {
            names.emplace_back(found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(names, std::vector<std::wstring>{L"TavistoConfig.json"});

    // A folder that cannot be made, under a file: the system's reason comes back.
    const std::wstring impossible = file + L"\\below";
    const CreateResult failed =
        createFromExample(impossible, impossible + L"\\TavistoConfig.json", "{}");
    EXPECT_EQ(failed.outcome, CreateResult::Outcome::Failed);
    EXPECT_NE(failed.error, 0u);
    host::removeFolder(root);
}

TEST(CounterPaths, FragmentIsJsonWhosePathTheConfigurationAccepts) {
    const struct {
        const wchar_t* object;
        const wchar_t* instance;
        const wchar_t* counter;
        const char* path;  // as the configuration holds it, once the JSON is read
        std::string_view units;  // proposed from the counter's name
    } cases[] = {
        {L"Processor", L"_Total", L"% Processor Time", "(\\Processor(_Total)\\% Processor Time)",
         "percent"},
        {L"Memory", L"", L"Available Bytes", "(\\Memory\\Available Bytes)", "bytes"},
        {L"Process", L"say \"hi\"\\now", L"IO Data Bytes/sec",
         "(\\Process(say \"hi\"\\now)\\IO Data Bytes/sec)", "bytes/second"},
        {L"Netzwerkschnittstelle", L"\u00dcbertragung", L"Bytes gesendet/s",
         "(\\Netzwerkschnittstelle(\xc3\x9c"
         "bertragung)\\Bytes gesendet/s)",
         "bytes"},
        {L"System", L"", L"Processes", "(\\System\\Processes)", "count"},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.path);
        const std::string fragment =
            counterPathFragment(example.object, example.instance, example.counter);
        const nlohmann::json member = nlohmann::json::parse("{" + fragment + "}");
        EXPECT_EQ(member.at("counterPath").get<std::string>(), example.path);
        EXPECT_EQ(proposedUnits(example.counter), example.units);
        // As the picker copies it: with the members that let any meter show the value.
        const std::string configuration =
            R"json({ "meterGroups": [ { "meters": [ { "meterType": "column", "width": 40,
               "refreshRate": 1000, "counters": [ { )json" +
            fragment + ", " + proposedReading(example.counter) + " } ] } ] } ] }";
        const std::vector<Finding> findings = checkConfiguration(configuration);
        EXPECT_FALSE(hasErrors(findings)) << configuration;
        EXPECT_TRUE(std::none_of(findings.begin(), findings.end(), [](const Finding& finding) {
            return finding.code == "shows-nothing";
        })) << configuration;
    }
}

TEST(CounterPaths, EveryFieldOfEverySourceGivesAFragmentInItsUnitsThatShowsSomething) {
    EXPECT_EQ(fieldSourceNames(),
              (std::vector<std::wstring>{L"PERFORMANCE_INFORMATION", L"SYSTEM_INFO",
                                         L"ADAPTER_PERFDATA", L"SYSTEM_POWER_STATUS"}));
    EXPECT_TRUE(fieldsOf(L"Processor").empty());
    std::size_t fields = 0;
    for (const std::wstring& source : fieldSourceNames()) {
        for (const std::wstring& field : fieldsOf(source)) {
            ++fields;
            const std::string fragment = fieldFragment(source, field);
            SCOPED_TRACE(fragment);
            const std::string configuration =
                R"json({ "meterGroups": [ { "meters": [ { "meterType": "column", "width": 40,
                   "refreshRate": 1000, "counters": [ { )json" +
                fragment + " } ] } ] } ] }";
            EXPECT_TRUE(checkConfiguration(configuration).empty());
        }
    }
    EXPECT_EQ(fields, 19u);
    EXPECT_EQ(fieldFragment(L"ADAPTER_PERFDATA", L"Temperature"),
              R"j("counterPath": "(ADAPTER_PERFDATA.Temperature)", "units": "celsius", )j"
              R"j("minValue": 0, "maxValue": 100)j");
    EXPECT_EQ(fieldFragment(L"SYSTEM_POWER_STATUS", L"BatteryLifeTime"),
              R"j("counterPath": "(SYSTEM_POWER_STATUS.BatteryLifeTime)", "units": "seconds", )j"
              R"j("minValue": 0, "maxValue": 1, "dynamicMaxValue": true)j");
}

TEST(CounterPaths, WildcardFragmentsCarryTheChosenCombination) {
    const std::vector<InstanceChoice> gpu = instanceChoices(englishTexts(), L"GPU Engine");
    struct Expected {
        bool grouped;
        InstanceCombine combine;
        std::uint8_t top = 0;
    };
    const Expected expected[] = {
        {true, InstanceCombine::Max},      {false, InstanceCombine::Sum},
        {false, InstanceCombine::Max},     {false, InstanceCombine::Min},
        {false, InstanceCombine::Average}, {false, InstanceCombine::Count},
        {false, InstanceCombine::Sum, 5}};
    ASSERT_EQ(gpu.size(), std::size(expected));
    // Every other object offers the plain combinations only, without the grouped one.
    ASSERT_EQ(instanceChoices(englishTexts(), L"Processor").size(), std::size(expected) - 1);
    for (std::size_t i = 0; i < gpu.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string fragment = withInstances(
            counterPathFragment(L"GPU Engine", L"*", L"Utilization Percentage"), L"*", gpu[i]);
        const std::string configuration =
            R"json({ "meterGroups": [ { "meters": [ { "meterType": "column", "width": 40,
               "refreshRate": 1000, "counters": [ { )json" +
            fragment + ", " + proposedReading(L"Utilization Percentage") + " } ] } ] } ] }";
        EXPECT_TRUE(checkConfiguration(configuration).empty()) << configuration;
        const MeterCounter counter = parseCounter(nlohmann::json::parse("{" + fragment + "}"));
        // The sum needs no "instances" object.
        ASSERT_EQ(counter.instances.has_value(), i != 1);
        if (counter.instances) {
            EXPECT_EQ(counter.instances->grouped, expected[i].grouped);
            EXPECT_EQ(counter.instances->combine, expected[i].combine);
            EXPECT_EQ(counter.instances->top, expected[i].top);
        }
    }
    // A single instance has nothing to combine.
    EXPECT_EQ(withInstances("x", L"_Total", gpu[0]), "x");
}

TEST(CounterPaths, ReadsTheEnglishNameTableAndSkipsMalformedPairs) {
    using namespace std::string_view_literals;
    const auto names = parseCounterNames(
        L"1\0"
        L"1847\0"
        L"2\0System\0"
        L"x\0Bad\0"
        L"4\0\0"
        L"6\0Processor"sv);
    const std::map<unsigned long, std::wstring> expected{{1, L"1847"}, {2, L"System"}};
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(parseCounterNames(L""sv).empty());
}

// What the settings window showed when the timer looked, just before closing it.
struct SettingsSeen {
    std::wstring path;
    std::wstring state;
    bool editEnabled = true;
    bool openFolderEnabled = true;
    bool createShown = true;
    LRESULT findings = -1;
    std::vector<DWORD> threads;
} seen;

void CALLBACK lookAndClose(HWND, UINT, UINT_PTR timer, DWORD) noexcept {
    KillTimer(nullptr, timer);
    const HWND window = FindWindowW(kSettingsWindowClass, nullptr);
    const auto text = [window](int id) {
        wchar_t buffer[512] = {};
        GetDlgItemTextW(window, id, buffer, 512);
        return std::wstring(buffer);
    };
    SendMessageW(GetDlgItem(window, kCheckAgainButton), BM_CLICK, 0, 0);
    // Sent as the button would send it, though it is hidden, with no file to keep.
    DeleteFileW(L"TavistoConfig.json");
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(kCreateButton, BN_CLICKED), 0);
    seen = {text(kPathText),
            text(kStateText),
            IsWindowEnabled(GetDlgItem(window, kEditButton)) != FALSE,
            IsWindowEnabled(GetDlgItem(window, kOpenFolderButton)) != FALSE,
            IsWindowVisible(GetDlgItem(window, kCreateButton)) != FALSE,
            SendDlgItemMessageW(window, kFindingsList, LVM_GETITEMCOUNT, 0, 0),
            host::threadIds()};
    PostMessageW(window, WM_CLOSE, 0, 0);
}

TEST(SettingsWindow, WithoutAnApplicationDataFolderReadsWatchesAndCreatesNothing) {
    // A refused file in the current folder, where a relative path would find it.
    const std::wstring current = testFolder(L"tavisto-no-folder-test");
    host::removeFolder(current);
    ASSERT_TRUE(CreateDirectoryW(current.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(current + L"\\TavistoConfig.json", "{ \"meterGroups\": 5 }"));
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(current.c_str()));
    const std::vector<DWORD> threads = host::threadIds();
    ASSERT_NE(SetTimer(nullptr, 0, 500, lookAndClose), 0u);
    EXPECT_EQ(SettingsWindow(L"").run(), 0);
    SetCurrentDirectoryW(previous);

    EXPECT_EQ(seen.path, L"File: none (no application data folder)");
    EXPECT_TRUE(seen.state.starts_with(L"No configuration: ")) << seen.state;
    EXPECT_FALSE(seen.editEnabled);
    EXPECT_FALSE(seen.openFolderEnabled);
    EXPECT_FALSE(seen.createShown);
    EXPECT_EQ(seen.findings, 0);
    EXPECT_EQ(seen.threads, threads) << "a watcher or a check was started";
    EXPECT_EQ(GetFileAttributesW((current + L"\\TavistoConfig.json").c_str()),
              INVALID_FILE_ATTRIBUTES);
    host::removeFolder(current);
}

}  // namespace
}  // namespace tavisto::companion
