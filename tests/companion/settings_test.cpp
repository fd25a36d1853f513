// The real Tavisto.exe (TAVISTO_EXE) started without arguments: its settings window
// driven through window messages, as a user's clicks would.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "companion/autostart.h"
#include "companion/counter_picker.h"
#include "companion/settings_controls.h"
#include "companion/show_values_window.h"
#include "companion/taskbar_host.h"
#include "config/configuration_checker.h"
#include "desk_band_host.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/handles.h"
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
                          "units": "percent" } ] }
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
                          "units": "percent" } ] }
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

std::wstring windowText(HWND window) {
    wchar_t text[1024] = {};
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// What the screen shows of the window, 0x00RRGGBB: the pixels a user sees.
host::Capture screenCapture(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    host::Capture picture{frame.right - frame.left, frame.bottom - frame.top, {}};
    const win32::WindowDc screen = win32::windowDc(nullptr);
    const win32::MemoryDc memory(CreateCompatibleDC(screen.get()));
    const win32::Bitmap bitmap(CreateCompatibleBitmap(screen.get(), picture.width, picture.height));
    if (!memory || !bitmap) {
        return {};
    }
    const HGDIOBJ original = SelectObject(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, picture.width, picture.height, screen.get(), frame.left, frame.top,
           SRCCOPY);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const COLORREF colour = GetPixel(memory.get(), x, y);
            picture.pixels.push_back(static_cast<std::uint32_t>(GetRValue(colour)) << 16 |
                                     static_cast<std::uint32_t>(GetGValue(colour)) << 8 |
                                     GetBValue(colour));
        }
    }
    SelectObject(memory.get(), original);
    return picture;
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

// A Tavisto.exe showing its settings window; closed (bounded) at the end.
class SettingsProgram {
  public:
    SettingsProgram() {
        std::wstring command = L"\"" + host::environmentValue(L"TAVISTO_EXE") + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &started)) {
            process_ = win32::ownProcess(started).process;
        }
        host::pumpUntil(
            [this] {
                window_ = FindWindowW(kSettingsWindowClass, nullptr);
                return window_ != nullptr && IsWindowVisible(window_);
            },
            kPromptly);
    }
    ~SettingsProgram() {
        if (window_ != nullptr) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
        }
        if (process_ && WaitForSingleObject(process_.get(), kPromptly) != WAIT_OBJECT_0) {
            TerminateProcess(process_.get(), 1);
        }
    }
    SettingsProgram(const SettingsProgram&) = delete;
    SettingsProgram& operator=(const SettingsProgram&) = delete;

    HWND window() const { return window_; }
    HWND control(int id) const { return GetDlgItem(window_, id); }
    std::wstring state() const { return windowText(control(kStateText)); }
    void click(int id) const { SendMessageW(control(id), BM_CLICK, 0, 0); }
    bool waitForState(const wchar_t* prefix) const {
        return host::pumpUntil([&] { return startsWith(state(), prefix); }, kPromptly);
    }
    HANDLE process() const { return process_.get(); }

    // The findings list, row by row: severity, line:column, message. The texts are
    // read through memory of the window's own process, as the list view needs.
    std::vector<std::vector<std::wstring>> findings() const {
        const HWND list = control(kFindingsList);
        std::vector<std::vector<std::wstring>> rows;
        constexpr std::size_t kCharacters = 512;
        struct Remote {
            LVITEMW item;
            wchar_t text[kCharacters];
        };
        auto* remote = static_cast<Remote*>(VirtualAllocEx(
            process_.get(), nullptr, sizeof(Remote), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (remote == nullptr) {
            return rows;
        }
        const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            std::vector<std::wstring> cells;
            for (int column : {kSeverityColumn, kPositionColumn, kMessageColumn}) {
                Remote local{};
                local.item.iSubItem = column;
                local.item.pszText = remote->text;
                local.item.cchTextMax = static_cast<int>(kCharacters);
                WriteProcessMemory(process_.get(), remote, &local, sizeof(local), nullptr);
                SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                             reinterpret_cast<LPARAM>(&remote->item));
                ReadProcessMemory(process_.get(), remote, &local, sizeof(local), nullptr);
                local.text[kCharacters - 1] = L'\0';
                cells.emplace_back(local.text);
            }
            rows.push_back(std::move(cells));
        }
        VirtualFreeEx(process_.get(), remote, 0, MEM_RELEASE);
        return rows;
    }

  private:
    win32::KernelHandle process_;
    HWND window_ = nullptr;
};

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
    EXPECT_TRUE(program.waitForState(L"Loaded: 1 group, 1 meter, 1 counter")) << program.state();
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
    EXPECT_TRUE(program.waitForState(L"Loaded: 1 group")) << program.state();
}

TEST_F(SettingsTest, AnswersDuringChecksShowsOnlyTheNewestResultAndClosesPromptly) {
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), slowToCheck()));
    const SettingsProgram program;
    ASSERT_NE(program.window(), nullptr);
    // Saved again and again, as the watcher reports it: the window answers at once
    // meanwhile.
    for (int save = 0; save < 10; ++save) {
        PostMessageW(program.window(), window::kReloadMessage, 0, 0);
    }
    for (int probe = 0; probe < 5; ++probe) {
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(program.window(), WM_NULL, 0, 0, SMTO_NORMAL, 200, &answer),
                  0)
            << probe;
        host::pumpFor(20);
    }
    // Saved once more before those checks end.
    ASSERT_TRUE(host::replaceThroughRename(host::configurationFile(), kFixed));
    ASSERT_TRUE(program.waitForState(L"Loaded: 1 group, 1 meter, 1 counter")) << program.state();
    // An earlier check's result, however late, never replaces it.
    host::pumpUntil([&] { return startsWith(program.state(), L"Refused"); }, 1000);
    EXPECT_TRUE(startsWith(program.state(), L"Loaded: 1 group")) << program.state();

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
    EXPECT_TRUE(program.waitForState(L"Loaded: 1 group")) << program.state();
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

TEST_F(SettingsTest, TaskbarCheckBoxWritesAndRemovesTheRunValueAndStartsAndStopsTheMeters) {
    ASSERT_TRUE(uninstallAutostart());
    const SettingsProgram program;
    const HWND box = program.control(kTaskbarCheckBox);
    ASSERT_TRUE(IsWindowVisible(box));
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    program.click(kTaskbarCheckBox);
    EXPECT_EQ(runValue(), autostartCommand(host::environmentValue(L"TAVISTO_EXE")));
    EXPECT_TRUE(host::pumpUntil([] { return FindWindowW(kHostWindowClass, nullptr) != nullptr; },
                                kPromptly));

    program.click(kTaskbarCheckBox);
    EXPECT_EQ(runValue(), L"");
    EXPECT_TRUE(host::pumpUntil([] { return FindWindowW(kHostWindowClass, nullptr) == nullptr; },
                                kPromptly));
}

TEST_F(SettingsTest, CounterPickerOpensAndEscClosesOnlyThePicker) {
    const SettingsProgram program;
    ASSERT_NE(program.window(), nullptr);
    program.click(kCountersButton);
    HWND picker = nullptr;
    ASSERT_TRUE(host::pumpUntil(
        [&] { return (picker = FindWindowW(kCounterPickerClass, nullptr)) != nullptr; },
        kPromptly));
    // Wine lists no performance objects; Esc closes the picker and nothing else.
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

// Not a check: scripts/run uses it to picture the window with a refused file's findings
// (TAVISTO_SETTINGS_PICTURE, the PNG), taken from the screen as the user sees it, below
// the meters of the file that loaded before it (TAVISTO_TASKBAR_CONFIGURATION, else a
// small one).
TEST_F(SettingsTest, PicturesTheWindowWithFindings) {
    const std::wstring png = host::environmentValue(L"TAVISTO_SETTINGS_PICTURE");
    if (png.empty()) {
        GTEST_SKIP() << "no picture asked for";
    }
    const win32::GdiplusSession gdiplus;
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    const std::wstring source = host::environmentValue(L"TAVISTO_TASKBAR_CONFIGURATION");
    ASSERT_TRUE(source.empty()
                    ? host::writeNewFile(host::configurationFile(), kFixed)
                    : CopyFileW(source.c_str(), host::configurationFile().c_str(), FALSE) != FALSE);
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Loaded"));
    ASSERT_TRUE(host::replaceThroughRename(host::configurationFile(), kRefused));
    ASSERT_TRUE(program.waitForState(L"Refused"));
    SetForegroundWindow(program.window());
    host::pumpFor(1000);
    const host::Capture picture = screenCapture(program.window());
    ASSERT_GT(picture.width, 0);
    EXPECT_TRUE(host::savePng(picture, png));
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
    // The unnamed group's percentage of an unbounded range is 0.
    EXPECT_TRUE(host::pumpUntil([&] { return windowText(text) == L"Group 1: 0%"; }, kPromptly))
        << windowText(text).size();
    PostMessageW(text, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(host::pumpUntil(
        [] { return FindWindowW(kShowValuesWindowClass, nullptr) == nullptr; }, kPromptly));
    EXPECT_TRUE(IsWindow(program.window()));
}

TEST_F(SettingsTest, PicturesShowValues) {
    const std::wstring png = host::environmentValue(L"TAVISTO_SHOW_VALUES_PICTURE");
    if (png.empty()) {
        GTEST_SKIP() << "no picture asked for";
    }
    const win32::GdiplusSession gdiplus;
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    const std::wstring source = host::environmentValue(L"TAVISTO_TASKBAR_CONFIGURATION");
    ASSERT_TRUE(source.empty()
                    ? host::writeNewFile(host::configurationFile(), kFixed)
                    : CopyFileW(source.c_str(), host::configurationFile().c_str(), FALSE) != FALSE);
    const SettingsProgram program;
    ASSERT_TRUE(program.waitForState(L"Loaded"));
    program.click(kShowValuesButton);
    HWND values = nullptr;
    ASSERT_TRUE(host::pumpUntil(
        [&] { return (values = FindWindowW(kShowValuesWindowClass, nullptr)) != nullptr; },
        kPromptly));
    // Rate counters show their values from the second sample on.
    host::pumpFor(2500);
    const host::Capture picture = screenCapture(values);
    ASSERT_GT(picture.width, 0);
    EXPECT_TRUE(host::savePng(picture, png));
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
