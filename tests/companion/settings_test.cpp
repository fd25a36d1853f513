// The real Tavisto.exe (TAVISTO_EXE) started without arguments: its settings window
// driven through window messages, as a user's clicks would.

#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "companion/autostart.h"
#include "companion/configuration_status.h"
#include "companion/counter_picker.h"
#include "companion/settings_controls.h"
#include "companion/show_values_window.h"
#include "companion/taskbar_host.h"
#include "config/configuration_checker.h"
#include "desk_band_host.h"
#include "platform/win32/handles.h"
#include "settings_program.h"
#include "window/config_watcher.h"

namespace tavisto::companion::testing {
namespace {

constexpr DWORD kPromptly = 10000;

// "width" has the wrong type (line 6) and "colour" is misspelt (line 7).
constexpr char kRefused[] = R"json({
  "meterGroups": [
    {
      "meters": [
        { "meterType": "text", "refreshRate": 1000,
          "width": "wide",
          "colour": "#FFFFFF",
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal)",
                          "units": "percent", "minValue": 0, "maxValue": 100 } ] }
      ]
    }
  ]
})json";

constexpr char kFixed[] = R"json({
  "meterGroups": [
    {
      "meters": [
        { "meterType": "text", "refreshRate": 1000,
          "width": 40,
          "color": "#FFFFFF",
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal)",
                          "units": "percent", "minValue": 0, "maxValue": 100 } ] }
      ]
    }
  ]
})json";

// Close to the size limit, with a finding in every meter: each check takes a while.
std::string slowToCheck() {
    std::string text = R"({ "meterGroups": [ { "meters": [)";
    const std::string meter = R"({ "meterType": "text", "width": "wide", "refreshRate": 1000 },)";
    while (text.size() + meter.size() < 1000 * 1024) {
        text += "\n" + meter;
    }
    text.back() = ' ';
    return text + "] } ] }";
}

std::string readFile(const std::wstring& path) {
    const win32::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (file && ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        bytes.append(chunk, read);
    }
    return bytes;
}

std::wstring runValue() {
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    return value;
}

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { host::removeFolder(host::configurationFolder()); }
    void TearDown() override { host::removeFolder(host::configurationFolder()); }
};

TEST_F(SettingsTest, CreateFromExampleWritesAFileThatLoadsAndTheButtonGoes) {
    const SettingsProgram program;
    ASSERT_NE(program.window(), nullptr);
    EXPECT_EQ(windowText(program.control(kPathText)), L"File: " + host::configurationFile());
    ASSERT_TRUE(program.waitForState(L"Missing"));
    EXPECT_TRUE(IsWindowVisible(program.control(kCreateButton)));

    program.click(kCreateButton);

    const std::string written = readFile(host::configurationFile());
    ASSERT_FALSE(written.empty());
    EXPECT_FALSE(hasErrors(checkConfiguration(written)));
    EXPECT_TRUE(program.waitForState(L"Loaded: ")) << program.state();
    EXPECT_FALSE(IsWindowVisible(program.control(kCreateButton)));
}

TEST_F(SettingsTest, RefusedFileListsItsFindingsAndAFixedSaveLoads) {
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kRefused));
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Refused")) << program.state();
    EXPECT_FALSE(IsWindowVisible(program.control(kCreateButton)));
    // Why, in plain words; no file has loaded since the window opened.
    EXPECT_TRUE(startsWith(program.state(),
                           L"Refused: \"width\" must be a number, not text (line 6, column 20)."))
        << program.state();
    EXPECT_EQ(program.state().find(L"Last loaded"), std::wstring::npos);

    const auto rows = program.findings();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], L"error");
    EXPECT_TRUE(startsWith(rows[0][1], L"6:")) << rows[0][1];
    EXPECT_TRUE(startsWith(rows[0][2],
                           L"\"width\" must be a number, not text (the band says: "
                           L"[json.exception.type_error.302] type must be number"))
        << rows[0][2];
    EXPECT_EQ(rows[1][0], L"warning");
    EXPECT_TRUE(startsWith(rows[1][1], L"7:")) << rows[1][1];
    EXPECT_NE(rows[1][2].find(L"color"), std::wstring::npos) << rows[1][2];

    // Saved as editors do: the watcher alone must bring the window up to date.
    ASSERT_TRUE(host::replaceThroughRename(host::configurationFile(), kFixed));
    EXPECT_TRUE(program.waitForState(L"Loaded: groups: 1, meters: 1, counters: 1"))
        << program.state();
    EXPECT_TRUE(program.findings().empty());

    // Refused again: the band still shows the file that loaded, written a moment ago.
    SYSTEMTIME now{};
    GetLocalTime(&now);
    ASSERT_TRUE(host::replaceThroughRename(host::configurationFile(), kRefused));
    ASSERT_TRUE(program.waitForState(L"Refused")) << program.state();
    const std::wstring today = std::to_wstring(now.wYear) + L"-" + (now.wMonth < 10 ? L"0" : L"") +
                               std::to_wstring(now.wMonth);
    EXPECT_NE(program.state().find(L" Last loaded: the file as written at " + today),
              std::wstring::npos)
        << program.state();
}

TEST_F(SettingsTest, CheckAgainReadsTheFileAgain) {
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Missing"));
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kFixed));
    program.click(kCheckAgainButton);
    EXPECT_TRUE(program.waitForState(L"Loaded: groups: 1")) << program.state();
}

TEST_F(SettingsTest, SavesFasterThanChecksShowTheNewestResultMarkedAndClosesPromptly) {
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kFixed));
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Loaded: groups: 1")) << program.state();
    // Saved again and again, faster than a check takes, as the watcher reports it: the
    // window answers at once meanwhile, and shows the newest result, marked as being
    // checked again. (The result shown before, marked, says "Loaded".)
    ASSERT_TRUE(host::writeInPlace(host::configurationFile(), slowToCheck()));
    const std::wstring marked = std::wstring(L"Checking again\u2026 Refused: ");
    bool shownMarked = false;
    for (const ULONGLONG start = GetTickCount64();
         !shownMarked && GetTickCount64() - start < 30000;) {
        PostMessageW(program.window(), window::kReloadMessage, 0, 0);
        DWORD_PTR answer = 0;
        ASSERT_NE(SendMessageTimeoutW(program.window(), WM_NULL, 0, 0, SMTO_NORMAL, 200, &answer),
                  0);
        host::pumpFor(20);
        shownMarked = startsWith(program.state(), marked.c_str());
    }
    EXPECT_TRUE(shownMarked) << program.state();
    // Once the saves stop, the last check's result shows, no longer marked.
    EXPECT_TRUE(program.waitForState(L"Refused: ")) << program.state();
    // Saved once more before those checks end.
    ASSERT_TRUE(host::replaceThroughRename(host::configurationFile(), kFixed));
    ASSERT_TRUE(program.waitForState(L"Loaded: groups: 1, meters: 1, counters: 1"))
        << program.state();
    // An earlier check's result, however late, never replaces it.
    host::pumpUntil([&] { return startsWith(program.state(), L"Refused"); }, 1000);
    EXPECT_TRUE(startsWith(program.state(), L"Loaded: groups: 1")) << program.state();

    // Closed while the large file is checked again.
    ASSERT_TRUE(host::writeInPlace(host::configurationFile(), slowToCheck()));
    PostMessageW(program.window(), window::kReloadMessage, 0, 0);
    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process(), 5000), WAIT_OBJECT_0);
}

TEST_F(SettingsTest, CreateFromExampleLeavesAFileThatAppearedMeanwhile) {
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Missing"));
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kFixed));
    // The button may already be hidden by the watcher: its command is sent as it would be.
    SendMessageW(program.window(), WM_COMMAND, MAKEWPARAM(kCreateButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(program.control(kCreateButton)));
    EXPECT_EQ(readFile(host::configurationFile()), kFixed);
    EXPECT_TRUE(program.waitForState(L"Loaded: groups: 1")) << program.state();
}

TEST_F(SettingsTest, SecondStartBringsTheFirstWindowForwardAndExits) {
    const SettingsProgram program;
    ASSERT_NE(program.window(), nullptr);
    ShowWindow(program.window(), SW_MINIMIZE);
    ASSERT_TRUE(host::pumpUntil([&] { return IsIconic(program.window()) != FALSE; }, kPromptly));

    EXPECT_EQ(host::runProgram(L"\"" + host::environmentValue(L"TAVISTO_EXE") + L"\"", kPromptly),
              0);
    EXPECT_TRUE(host::pumpUntil([&] { return IsIconic(program.window()) == FALSE; }, kPromptly));
    EXPECT_EQ(FindWindowExW(nullptr, program.window(), kSettingsWindowClass, nullptr), nullptr);
    EXPECT_EQ(WaitForSingleObject(program.process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(SettingsTest, EscCloses) {
    const SettingsProgram program;
    ASSERT_NE(program.window(), nullptr);
    PostMessageW(program.control(kEditButton), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(WaitForSingleObject(program.process(), kPromptly), WAIT_OBJECT_0);
}

// The control window of Tavisto.exe --taskbar: one of its class that this process did
// not create.
HWND runningMeters() {
    for (HWND window = FindWindowExW(nullptr, nullptr, kHostWindowClass, nullptr);
         window != nullptr; window = FindWindowExW(nullptr, window, kHostWindowClass, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId()) {
            return window;
        }
    }
    return nullptr;
}

TEST_F(SettingsTest, TaskbarCheckBoxWritesAndRemovesTheRunValueAndStartsAndStopsTheMeters) {
    ASSERT_TRUE(uninstallAutostart());
    const SettingsProgram program;
    const HWND box = program.control(kTaskbarCheckBox);
    ASSERT_TRUE(IsWindowVisible(box));
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    program.click(kTaskbarCheckBox);
    EXPECT_EQ(runValue(), autostartCommand(host::environmentValue(L"TAVISTO_EXE")));
    EXPECT_TRUE(host::pumpUntil([] { return runningMeters() != nullptr; }, kPromptly));
    // Another program's window of the same class, found first: it is left alone.
    const win32::Window impostor = impostorHostWindow(L"Tavisto");
    ASSERT_EQ(FindWindowW(kHostWindowClass, nullptr), impostor.get());

    program.click(kTaskbarCheckBox);
    EXPECT_EQ(runValue(), L"");
    EXPECT_TRUE(host::pumpUntil([] { return runningMeters() == nullptr; }, kPromptly));
    EXPECT_TRUE(IsWindow(impostor.get()));
}

// Another program may create a window of the taskbar meters' class and caption it as
// they caption theirs: the state line never shows it as their state.
TEST_F(SettingsTest, StateLineShowsNoHotkeyStateOfAnotherProgramsWindow) {
    const win32::Window impostor = impostorHostWindow(L"Tavisto: \u202Espoofed by another program");
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Missing")) << program.state();
    program.click(kCheckAgainButton);
    SendMessageW(program.window(), WM_ACTIVATE, WA_ACTIVE, 0);
    host::pumpFor(500);
    EXPECT_EQ(program.state(), L"Missing: there is no configuration file yet.");
}

TEST_F(SettingsTest, CounterPickerOpensAndEscClosesOnlyThePicker) {
    const SettingsProgram program;
    ASSERT_NE(program.window(), nullptr);
    program.click(kCountersButton);
    HWND picker = nullptr;
    ASSERT_TRUE(host::pumpUntil(
        [&] { return (picker = FindWindowW(kCounterPickerClass, nullptr)) != nullptr; },
        kPromptly));
    // Wine lists no performance objects: only the sources of system fields, sorted, the
    // first chosen, its first field's fragment shown.
    EXPECT_EQ(SendDlgItemMessageW(picker, kObjectList, LB_GETCOUNT, 0, 0), 4);
    wchar_t fragment[256] = {};
    GetDlgItemTextW(picker, kFragmentText, fragment, 256);
    EXPECT_TRUE(std::wstring_view(fragment).starts_with(
        LR"j("counterPath": "(ADAPTER_PERFDATA.FanRPM)", "units": "rpm")j"))
        << fragment;
    // Esc closes the picker and nothing else.
    PostMessageW(GetDlgItem(picker, kObjectList), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(host::pumpUntil([] { return FindWindowW(kCounterPickerClass, nullptr) == nullptr; },
                                kPromptly));
    EXPECT_TRUE(IsWindow(program.window()));
    EXPECT_EQ(WaitForSingleObject(program.process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(SettingsTest, PreviewDrawsTheFileAndKeepsTheLastOneThatLoadedWhenASaveIsRefused) {
    constexpr std::uint32_t kDarkTaskbar = 0x202020;
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kFixed));
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Loaded: ")) << program.state();
    const HWND preview = program.control(kPreviewWindow);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(windowText(program.control(kPreviewNote)), L"Meters, live:");
    SetForegroundWindow(program.window());
    // The meter's text over the dark taskbar's colour, which shows beyond the meter.
    host::Capture loaded;
    const auto drawsMeters = [&](const host::Capture& picture) {
        return picture.width > 0 && picture.at(picture.width - 1, 0) == kDarkTaskbar &&
               picture.count(kDarkTaskbar) < picture.width * picture.height - 20;
    };
    EXPECT_TRUE(
        host::pumpUntil([&] { return drawsMeters(loaded = screenCapture(preview)); }, kPromptly));

    ASSERT_TRUE(host::replaceThroughRename(host::configurationFile(), kRefused));
    ASSERT_TRUE(program.waitForState(L"Refused")) << program.state();
    EXPECT_TRUE(host::pumpUntil(
        [&] {
            return windowText(program.control(kPreviewNote)) ==
                   L"Showing the last file that loaded:";
        },
        kPromptly))
        << windowText(program.control(kPreviewNote));
    EXPECT_TRUE(IsWindowVisible(program.control(kPreviewNote)));
    // The preview has read the refused file by now (its watcher saw the same save as the
    // check's), and shows the same meter as before.
    host::pumpFor(500);
    const host::Capture kept = screenCapture(preview);
    EXPECT_TRUE(drawsMeters(kept));
    EXPECT_TRUE(kept.pixels == loaded.pixels) << "the meter changed";
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(program.window(), WM_NULL, 0, 0, SMTO_NORMAL, 200, &answer), 0);
}

// A column of a percentage without a range draws only its outline: the state line says
// so and the preview outlines it in the warning colour, until the file gives it a range.
TEST_F(SettingsTest, PreviewOutlinesAMeterThatCanShowNothingUntilItHasARange) {
    constexpr std::uint32_t kWarningOutline = 0xFF8C00;
    const auto column = [](const std::string& range) {
        return R"j({"meterGroups": [{"meters": [{"meterType": "column", "width": 12,
            "refreshRate": 500, "counters": [{"counterPath": "(PERFORMANCE_INFORMATION.Processes)",
            "color": "#3080FF")j" + range + "}]}]}]}";
    };
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), column("")));
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Loaded, but meters that can show nothing: 1; "))
        << program.state();
    const HWND preview = program.control(kPreviewWindow);
    SetForegroundWindow(program.window());
    EXPECT_TRUE(host::pumpUntil(
        [&] { return screenCapture(preview).count(kWarningOutline) > 0; }, kPromptly));

    ASSERT_TRUE(host::replaceThroughRename(host::configurationFile(),
                                           column(R"(, "minValue": 0, "maxValue": 1000)")));
    ASSERT_TRUE(program.waitForState(L"Loaded: ")) << program.state();
    EXPECT_TRUE(host::pumpUntil(
        [&] { return screenCapture(preview).count(kWarningOutline) == 0; }, kPromptly));
}

}  // namespace
}  // namespace tavisto::companion::testing

namespace tavisto::companion::testing {
namespace {

TEST_F(SettingsTest, ShowValuesListsThePreviewsGroupsAndEscClosesOnlyIt) {
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kFixed));
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Loaded: ")) << program.state();
    program.click(kShowValuesButton);
    HWND values = nullptr;
    ASSERT_TRUE(host::pumpUntil(
        [&] { return (values = FindWindowW(kShowValuesWindowClass, nullptr)) != nullptr; },
        kPromptly));
    const HWND text = GetWindow(values, GW_CHILD);
    // The unnamed group's count of memory pages, kept in its range of 0 to 100, is 100%.
    EXPECT_TRUE(host::pumpUntil([&] { return windowText(text) == L"Group 1: 100%"; }, kPromptly))
        << windowText(text).size();
    PostMessageW(text, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(host::pumpUntil(
        [] { return FindWindowW(kShowValuesWindowClass, nullptr) == nullptr; }, kPromptly));
    EXPECT_TRUE(IsWindow(program.window()));
}

// The controls Tab visits from `first` round to it again, by identifier.
std::vector<int> tabOrder(HWND window, HWND first) {
    std::vector<int> visited;
    HWND at = first;
    do {
        visited.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(window, at, FALSE);
    } while (at != nullptr && at != first && visited.size() < 50);
    return visited;
}

// Whether each control comes after the one before it when read top to bottom, left to
// right; the first that does not, else 0.
int outOfReadingOrder(HWND window, const std::vector<int>& order) {
    for (std::size_t index = 1; index < order.size(); ++index) {
        RECT before{};
        RECT after{};
        GetWindowRect(GetDlgItem(window, order[index - 1]), &before);
        GetWindowRect(GetDlgItem(window, order[index]), &after);
        if (after.top < before.top || (after.top == before.top && after.left <= before.left)) {
            return order[index];
        }
    }
    return 0;
}

// The visible tab stops of the window without an accessible name, read through the
// accessibility interfaces from this process, as a screen reader reads them.
std::vector<int> unnamedControls(HWND window) {
    std::vector<int> unnamed;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child) || (GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) == 0) {
            continue;
        }
        Microsoft::WRL::ComPtr<IAccessible> object;
        BSTR name = nullptr;
        VARIANT self;
        VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        if (FAILED(AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_CLIENT),
                                              __uuidof(IAccessible), &object)) ||
            FAILED(object->get_accName(self, &name)) || name == nullptr ||
            SysStringLen(name) == 0) {
            unnamed.push_back(GetDlgCtrlID(child));
        }
        SysFreeString(name);
    }
    return unnamed;
}

// Both windows from the keyboard: Tab visits the controls in reading order, and every
// control a screen reader reaches has a name, its own text or its label's.
TEST_F(SettingsTest, SettingsAndCounterPickerAreReadableAndReachableByKeyboard) {
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kFixed));
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Loaded: ")) << program.state();
    program.click(kCountersButton);
    HWND picker = nullptr;
    ASSERT_TRUE(host::pumpUntil(
        [&] { return (picker = FindWindowW(kCounterPickerClass, nullptr)) != nullptr; },
        kPromptly));
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const struct {
        const char* name;
        HWND window;
        std::vector<int> order;
    } windows[] = {
        // "Create from example" is hidden while the file exists.
        {"settings",
         program.window(),
         {kFindingsList, kCheckAgainButton, kEditButton, kOpenFolderButton, kCountersButton,
          kShowValuesButton, kTaskManagerButton, kTaskbarCheckBox}},
        // "Combine" shows only for a wildcard instance, which Wine's empty lists never give.
        {"counter picker",
         picker,
         {kObjectList, kCounterList, kInstanceList, kFragmentText, kCopyButton}},
    };
    for (const auto& tested : windows) {
        SCOPED_TRACE(tested.name);
        EXPECT_EQ(tabOrder(tested.window, GetDlgItem(tested.window, tested.order.front())),
                  tested.order);
        EXPECT_EQ(outOfReadingOrder(tested.window, tested.order), 0);
        EXPECT_EQ(unnamedControls(tested.window), std::vector<int>{});
    }
    CoUninitialize();
}

}  // namespace
}  // namespace tavisto::companion::testing
