// The real Tavisto.exe --taskbar against fake taskbars of this process: where its
// window goes, what it draws, how it follows the taskbar, and what it leaves behind.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "companion/settings_controls.h"
#include "companion/show_values_window.h"
#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/handles.h"
#include "settings_program.h"
#include "window/configuration_location.h"
#include "window/window_texts.h"

namespace tavisto::companion::testing {
namespace {

std::string column(const char* color, int width) {
    return R"json({ "meterType": "column", "width": )json" + std::to_string(width) +
           R"json(, "refreshRate": 200, "counters": [ { "counterPath":
           "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
           "color": ")json" +
           color + R"json(", "minValue": 0, "maxValue": 1 } ] })json";
}

// One full red column; `taskbar` is the optional "taskbar" member.
std::string configuration(int groupWidth, const std::string& taskbar = {}) {
    return R"({ "horizontalPadding": 1, "verticalPadding": 2,)" + taskbar +
           R"( "meterGroups": [ { "name": "only", "width": )" + std::to_string(groupWidth) +
           R"(, "meters": [ )" + column("#FF0000", groupWidth) + " ] } ] }";
}

const std::string kAllMonitors = R"( "taskbar": { "monitors": "all" },)";
constexpr std::uint32_t kOpaqueRed = 0xFFFF0000;
constexpr std::uint32_t kClickableClear = 0x01000000;
constexpr DWORD kPromptly = 10000;

class TaskbarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Physical pixels, as the taskbar and the companion see them at any scale.
        SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
        host::removeFolder(host::configurationFolder());
        CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    }
    void TearDown() override { host::removeFolder(host::configurationFolder()); }

    static void writeConfiguration(const std::string& text) {
        const std::wstring file = host::configurationFile();
        ASSERT_TRUE(GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES
                        ? host::writeNewFile(file, text)
                        : host::writeInPlace(file, text));
    }

    // Waits until `taskbar` holds the meters, right against its notification area (or
    // `farEdge`), across its whole visible bar and `length` long (along: any, when -1).
    static ::testing::AssertionResult placedIn(const FakeTaskbar& taskbar, std::int32_t length,
                                               LONG farEdge, DWORD timeout = kPromptly) {
        RECT rect{};
        const bool placed = host::pumpUntil(
            [&] {
                const HWND meters = taskbar.meters();
                if (meters == nullptr) {
                    rect = {};
                    return false;
                }
                rect = rectInParent(meters);
                const RECT bar = taskbar.visibleBar();
                const bool horizontal = taskbar.horizontal();
                const LONG end = horizontal ? rect.right : rect.bottom;
                const LONG along = horizontal ? rect.right - rect.left : rect.bottom - rect.top;
                const bool across = horizontal ? rect.top == bar.top && rect.bottom == bar.bottom
                                               : rect.left == bar.left && rect.right == bar.right;
                return end == farEdge && (length < 0 ? along > 0 : along == length) && across;
            },
            timeout);
        if (placed) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "meters at {" << rect.left << ", " << rect.top << ", " << rect.right << ", "
               << rect.bottom << "}, wanted to end at " << farEdge << ", " << length << " long";
    }
    // The meters' frame once their red column has been sampled; without red after a
    // while, the last one seen.
    static Frame redFrame(const FakeTaskbar& taskbar) {
        Frame frame;
        host::pumpUntil(
            [&] {
                frame = requestFrame(taskbar.meters());
                return frame.count(kOpaqueRed) > 0;
            },
            kPromptly);
        return frame;
    }
    // The near side of the notification area along the taskbar.
    static LONG notificationLeft(const FakeTaskbar& taskbar) {
        const RECT area = rectInParent(taskbar.notificationArea());
        return taskbar.horizontal() ? area.left : area.top;
    }

    win32::GdiplusSession gdiplus_;
};

TEST_F(TaskbarTest, AttachesBesideTheNotificationAreaAndDrawsTheMeters) {
    writeConfiguration(configuration(30));
    const FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    ASSERT_TRUE(companion.started());
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_GT(length, 0);
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));

    // The column fills with red once sampled; the padding stays see-through but
    // clickable.
    const Frame frame = redFrame(taskbar);
    ASSERT_GT(frame.count(kOpaqueRed), 0);
    EXPECT_EQ(frame.width, length);
    EXPECT_EQ(frame.height, kTaskbarHeight);
    EXPECT_EQ(frame.pixels.front(), kClickableClear);
    EXPECT_EQ(frame.count(0), 0);

    // A left click starts Task Manager, as on the band.
    const std::vector<DWORD> earlier = host::processesNamed(L"taskmgr.exe");
    PostMessageW(taskbar.meters(), WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
    DWORD started = 0;
    EXPECT_TRUE(host::pumpUntil(
        [&] {
            for (const DWORD id : host::processesNamed(L"taskmgr.exe")) {
                if (std::find(earlier.begin(), earlier.end(), id) == earlier.end()) {
                    started = id;
                }
            }
            return started != 0;
        },
        kPromptly));
    // Started by this test through the companion: ended by its id.
    if (const win32::KernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, started));
        process) {
        TerminateProcess(process.get(), 0);
    }
}

// New processes of a program since `earlier` was taken; each is ended by its id.
std::vector<DWORD> startedSince(const std::vector<DWORD>& earlier, const wchar_t* program) {
    std::vector<DWORD> started;
    for (const DWORD id : host::processesNamed(program)) {
        if (std::find(earlier.begin(), earlier.end(), id) == earlier.end()) {
            started.push_back(id);
        }
    }
    return started;
}

void endProcesses(const std::vector<DWORD>& ids) {
    for (const DWORD id : ids) {
        if (const win32::KernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
            process) {
            TerminateProcess(process.get(), 0);
        }
    }
}

// The Show values window of a process; null when it has none.
HWND showValuesWindowOf(DWORD processId) {
    for (HWND window = FindWindowW(kShowValuesWindowClass, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, kShowValuesWindowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) {
            return window;
        }
    }
    return nullptr;
}

TEST_F(TaskbarTest, ALeftClickOpensWhatTheGroupUnderItChose) {
    // Two groups, 30 pixels each after a padding of 1: Show values, then nothing.
    const std::string groups =
        R"({ "horizontalPadding": 1, "verticalPadding": 2, "meterGroups": [
        { "name": "values", "width": 30, "click": "showValues", "meters": [ )" +
        column("#FF0000", 30) + R"( ] },
        { "name": "quiet", "width": 30, "click": "none", "meters": [ )" +
        column("#00FF00", 30) + " ] } ] }";
    writeConfiguration(groups);
    const FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    const std::int32_t length = engineBandLength(groups, kTaskbarHeight);
    ASSERT_GT(length, 60);
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
    const HWND meters = taskbar.meters();

    // On "none" nothing opens; on "showValues" the companion's own Show values window,
    // which, as the clicks are handled in turn, shows that the first one has been.
    const std::vector<DWORD> earlier = host::processesNamed(L"taskmgr.exe");
    const std::vector<DWORD> companions = host::processesNamed(L"Tavisto.exe");
    PostMessageW(meters, WM_LBUTTONUP, 0, MAKELPARAM(length - 5, 5));
    PostMessageW(meters, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));
    HWND values = nullptr;
    EXPECT_TRUE(host::pumpUntil(
        [&] { return (values = showValuesWindowOf(companion.id())) != nullptr; }, kPromptly));
    EXPECT_TRUE(startedSince(earlier, L"taskmgr.exe").empty());
    EXPECT_TRUE(startedSince(companions, L"Tavisto.exe").empty());
    PostMessageW(values, WM_CLOSE, 0, 0);

    // In the padding, outside every group: Task Manager.
    PostMessageW(meters, WM_LBUTTONUP, 0, MAKELPARAM(0, 5));
    EXPECT_TRUE(host::pumpUntil([&] { return !startedSince(earlier, L"taskmgr.exe").empty(); },
                                kPromptly));
    endProcesses(startedSince(earlier, L"taskmgr.exe"));
}

TEST_F(TaskbarTest, ValuesAloneShowsTheValuesUntilTheirWindowCloses) {
    writeConfiguration(configuration(30));
    const Companion companion(window::kShowValuesSwitch);
    ASSERT_TRUE(companion.started());
    HWND values = nullptr;
    ASSERT_TRUE(host::pumpUntil(
        [&] { return (values = showValuesWindowOf(companion.id())) != nullptr; }, kPromptly));
    EXPECT_EQ(companion.exitCode(0), -1);
    PostMessageW(values, WM_CLOSE, 0, 0);
    EXPECT_EQ(companion.exitCode(kPromptly), 0);
}

TEST_F(TaskbarTest, FollowsTheNotificationAreaAndTheConfiguration) {
    writeConfiguration(configuration(30));
    FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));

    taskbar.resizeNotificationArea(kNotificationWidth + 60);
    EXPECT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));

    writeConfiguration(configuration(80));
    const std::int32_t longer = engineBandLength(configuration(80), kTaskbarHeight);
    ASSERT_NE(longer, length);
    EXPECT_TRUE(placedIn(taskbar, longer, notificationLeft(taskbar)));
}

TEST_F(TaskbarTest, AttachesAgainToANewTaskbarAfterTaskbarCreated) {
    writeConfiguration(configuration(30));
    auto taskbar = std::make_unique<FakeTaskbar>();
    const Companion companion(L"--taskbar");
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_TRUE(placedIn(*taskbar, length, notificationLeft(*taskbar)));

    // The new one broadcasts "TaskbarCreated", as Explorer does.
    taskbar.reset();
    taskbar = std::make_unique<FakeTaskbar>(Scenario{.length = 900});
    EXPECT_TRUE(placedIn(*taskbar, length, notificationLeft(*taskbar)));
    EXPECT_EQ(companionWindowCount(), 1);
}

TEST_F(TaskbarTest, SecondaryTaskbarHasItsOwnWindowWhileItExists) {
    writeConfiguration(configuration(30, kAllMonitors));
    const FakeTaskbar primary;
    auto secondary =
        std::make_unique<FakeTaskbar>(Scenario{.kind = TaskbarKind::Secondary, .length = 500});
    const Companion companion(L"--taskbar");
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_TRUE(placedIn(primary, length, notificationLeft(primary)));
    // No notification area there, but a clock: the far end, less the clock's width.
    EXPECT_TRUE(placedIn(*secondary, length, secondary->client().right - 88));

    secondary.reset();
    EXPECT_TRUE(host::pumpUntil([] { return companionWindowCount() == 1; }, kPromptly));
    host::pumpFor(2500);  // two checks: the lost window is not made again elsewhere
    EXPECT_EQ(companionWindowCount(), 1);
    EXPECT_NE(primary.meters(), nullptr);
}

TEST_F(TaskbarTest, TaskbarThatHostsDeskBandsIsLeftToTheBandUnlessForced) {
    writeConfiguration(configuration(30));
    const FakeTaskbar taskbar(TaskbarKind::Classic);
    const struct {
        const wchar_t* arguments;
        bool attaches;
    } cases[] = {{L"--taskbar", false}, {L"--taskbar --force", true}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.attaches ? "forced" : "not forced");
        Companion companion(test.arguments);
        if (test.attaches) {
            EXPECT_TRUE(host::pumpUntil([&] { return taskbar.meters() != nullptr; }, kPromptly));
        } else {
            long code = -1;
            host::pumpUntil([&] { return (code = companion.exitCode(0)) != -1; }, kPromptly);
            EXPECT_EQ(code, 0);
            EXPECT_EQ(companionWindowCount(), 0);
        }
    }
}

// A taskbar of neither kind, with a hidden band host left over or none: Wine's desktop
// taskbar, or a Windows build whose bridge has another name. The meters go into it
// without --force once it has stayed so for a moment (a Windows 10 taskbar is one until
// its band site is made). With no notification area, they keep the reserve clear of its
// far end, where Wine paints its tray icons. A Windows 11 taskbar may keep a hidden band
// host: it takes them beside its notification area.
TEST_F(TaskbarTest, TaskbarOfNeitherKindTakesTheMeters) {
    writeConfiguration(configuration(30));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    const struct {
        const char* name;
        Scenario scenario;
    } cases[] = {
        {"bare", {.kind = TaskbarKind::Plain}},
        {"a hidden band host", {.kind = TaskbarKind::Plain, .hiddenBandHost = true}},
        {"composition, a hidden band host", {.hiddenBandHost = true}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const FakeTaskbar taskbar(test.scenario);
        ASSERT_NE(taskbar.window(), nullptr);
        const Companion companion(L"--taskbar");
        const LONG farEdge = test.scenario.kind == TaskbarKind::Plain ? taskbar.client().right - 200
                                                                      : notificationLeft(taskbar);
        EXPECT_TRUE(placedIn(taskbar, length, farEdge));
        EXPECT_EQ(companion.exitCode(0), -1);
        EXPECT_EQ(companionWindowCount(), 1);
    }
}

TEST_F(TaskbarTest, SecondInstanceEndsAtOnceAndKillingLeavesTheTaskbarAsItWas) {
    writeConfiguration(configuration(30));
    const FakeTaskbar taskbar;
    const std::vector<HWND> own = taskbar.children();
    Companion first(L"--taskbar");
    ASSERT_TRUE(host::pumpUntil([&] { return taskbar.meters() != nullptr; }, kPromptly));

    const Companion second(L"--taskbar");
    long code = -1;
    host::pumpUntil([&] { return (code = second.exitCode(0)) != -1; }, kPromptly);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(companionWindowCount(), 1);

    first.kill();
    EXPECT_TRUE(host::pumpUntil([&] { return taskbar.children() == own; }, kPromptly));
    EXPECT_EQ(companionWindowCount(), 0);
}

TEST_F(TaskbarTest, WaitsIdleForTheTaskbarAndShowsNothingUntilTheConfigurationLoads) {
    host::removeFolder(host::configurationFolder());
    const Companion companion(L"--taskbar");
    host::pumpFor(1000);
    const std::uint64_t before = companion.processorTime();
    host::pumpFor(3000);
    // 100 ns units. Any idle Wine program takes about 1 % of its own; a loop that spins
    // or polls fast would take tens of percent of the three seconds (30,000,000).
    EXPECT_LT(companion.processorTime() - before, 1'500'000u);
    EXPECT_EQ(companion.exitCode(0), -1);

    const FakeTaskbar taskbar;
    ASSERT_TRUE(placedIn(taskbar, 0, notificationLeft(taskbar)));
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    writeConfiguration(configuration(30));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));

    writeConfiguration("{ \"meterGroups\": [ ");
    host::pumpFor(1500);
    EXPECT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
    EXPECT_EQ(companion.exitCode(0), -1);
}

TEST_F(TaskbarTest, SaysInTheLogWhyAReloadWasRefused) {
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"does not parse", "{ \"meterGroups\": [ "},
        {"does not load", R"({"meterGroups": [{"meters": [{"width": "wide"}]}]})"},
    };
    DeleteFileW(companionLogPath().c_str());
    writeConfiguration(configuration(30));
    const FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
    const auto occurrences = [](const std::string& line) {
        const std::string log = companionLog();
        std::size_t count = 0;
        for (std::size_t at = log.find(line); at != std::string::npos;
             at = log.find(line, at + line.size())) {
            ++count;
        }
        return count;
    };
    std::size_t loadedAgain = 0;
    for (const Case& testCase : cases) {
        const std::string reason = engineRefusal(configuration(30), testCase.text, kTaskbarHeight);
        ASSERT_FALSE(reason.empty()) << testCase.name;
        const std::string refused = "the configuration was refused: " + reason +
                                    "; the meters show the last one that loaded\r\n";
        writeConfiguration(testCase.text);
        EXPECT_TRUE(host::pumpUntil([&] { return occurrences(refused) == 1; }, kPromptly))
            << testCase.name << ", the log:\n"
            << companionLog();
        EXPECT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar))) << testCase.name;
        // Back to a file that loads, which the log says once.
        writeConfiguration(configuration(30));
        ++loadedAgain;
        EXPECT_TRUE(host::pumpUntil(
            [&] { return occurrences("the configuration loaded\r\n") == loadedAgain; }, kPromptly))
            << testCase.name;
    }
}

TEST_F(TaskbarTest, ObjectCountsStayFlatOverReloadsAndTaskbarRecreations) {
    writeConfiguration(configuration(30));
    auto taskbar = std::make_unique<FakeTaskbar>();
    const Companion companion(L"--taskbar");
    const std::int32_t lengths[] = {engineBandLength(configuration(30), kTaskbarHeight),
                                    engineBandLength(configuration(80), kTaskbarHeight)};
    ASSERT_TRUE(placedIn(*taskbar, lengths[0], notificationLeft(*taskbar)));
    const auto recreate = [&] { ASSERT_TRUE(taskbar->recreate()); };
    // One of each first: what is made once and kept (caches, classes) is not a leak.
    writeConfiguration(configuration(80));
    ASSERT_TRUE(placedIn(*taskbar, lengths[1], notificationLeft(*taskbar)));
    recreate();
    ASSERT_TRUE(placedIn(*taskbar, lengths[1], notificationLeft(*taskbar)));
    const ForeignResources before = resourcesOf(companion.id());
    ASSERT_GT(before.gdiObjects, 0);

    for (int reload = 0; reload < 50; ++reload) {
        writeConfiguration(configuration(reload % 2 == 0 ? 30 : 80));
        ASSERT_TRUE(placedIn(*taskbar, lengths[reload % 2], notificationLeft(*taskbar))) << reload;
    }
    for (int recreation = 0; recreation < 10; ++recreation) {
        recreate();
        ASSERT_TRUE(placedIn(*taskbar, lengths[1], notificationLeft(*taskbar))) << recreation;
    }
    const ForeignResources after = resourcesOf(companion.id());
    // A leak per reload or per re-creation would add at least 10.
    EXPECT_LE(after.gdiObjects, before.gdiObjects + 3);
    EXPECT_EQ(after.windows, before.windows);
}

// Shell replacements and bar programs make taskbar windows of Explorer's classes: the
// meters go to Explorer's, whichever came first, and never to the impostor's.
TEST_F(TaskbarTest, AttachesOnlyToExplorersTaskbarNeverToAnImpostor) {
    writeConfiguration(configuration(30));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    const Scenario impostor{.image = L"shellbar.exe"};
    for (const bool impostorFirst : {true, false}) {
        SCOPED_TRACE(impostorFirst ? "impostor first" : "impostor after");
        std::unique_ptr<FakeTaskbar> before =
            std::make_unique<FakeTaskbar>(impostorFirst ? impostor : Scenario{});
        ASSERT_NE(before->window(), nullptr);
        const Companion companion(L"--taskbar");
        const auto after = std::make_unique<FakeTaskbar>(impostorFirst ? Scenario{} : impostor);
        const FakeTaskbar& explorer = impostorFirst ? *after : *before;
        const FakeTaskbar& other = impostorFirst ? *before : *after;
        ASSERT_TRUE(placedIn(explorer, length, notificationLeft(explorer)));
        host::pumpFor(1200);  // two checks more: nothing moves to the impostor
        EXPECT_EQ(other.meters(), nullptr);
        EXPECT_NE(explorer.meters(), nullptr);
        EXPECT_EQ(companionWindowCount(), 1);
    }
}

// A notification area that is empty at first, or absent (secondary taskbars show a
// clock there all the same), keeps the meters clear by a fallback; when it appears or
// changes, the meters follow within a second.
TEST_F(TaskbarTest, KeepsClearOfTheNotificationAreaBeforeAndAfterItAppears) {
    writeConfiguration(configuration(30, kAllMonitors));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    FakeTaskbar primary({.lateTray = true});
    const FakeTaskbar secondary({.kind = TaskbarKind::Secondary, .length = 600});
    const Companion companion(L"--taskbar");
    const struct {
        const char* name;
        const FakeTaskbar& taskbar;
        LONG fallback;
    } cases[] = {{"primary, empty area", primary, primary.client().right - 200},
                 {"secondary, no area", secondary, secondary.client().right - 88}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_TRUE(placedIn(test.taskbar, length, test.fallback));
    }
    for (const int trayLength : {120, 260}) {
        SCOPED_TRACE(trayLength);
        primary.command(FakeCommand::ResizeTray, trayLength);
        EXPECT_TRUE(placedIn(primary, length, primary.client().right - trayLength, 1000));
    }
}

// Every edge at 100 % and 150 %, the small taskbar, and taskbars thicker than the bar
// they draw: the meters lie along the bar, beside the notification area, across the
// visible bar only, and are laid out again when the taskbar moves to another edge.
TEST_F(TaskbarTest, LiesAlongTheVisibleBarOnEveryEdge) {
    writeConfiguration(configuration(30));
    const struct {
        const char* name;
        DWORD dpi;
        Scenario scenario;
        TaskbarEdge movedTo;
    } cases[] = {
        {"bottom", 96, {}, TaskbarEdge::Left},
        {"top", 96, {.edge = TaskbarEdge::Top}, TaskbarEdge::Bottom},
        {"left", 96, {.edge = TaskbarEdge::Left}, TaskbarEdge::Right},
        {"right", 96, {.edge = TaskbarEdge::Right}, TaskbarEdge::Top},
        {"bottom, 150 %", 144, {.thickness = 72}, TaskbarEdge::Right},
        {"top, 150 %", 144, {.edge = TaskbarEdge::Top, .thickness = 72}, TaskbarEdge::Left},
        {"left, 150 %", 144, {.edge = TaskbarEdge::Left, .thickness = 72}, TaskbarEdge::Bottom},
        {"right, 150 %", 144, {.edge = TaskbarEdge::Right, .thickness = 72}, TaskbarEdge::Top},
        {"small", 96, {.thickness = kSmallTaskbarHeight}, TaskbarEdge::Right},
        {"bottom, phantom part", 96, {.phantom = 24}, TaskbarEdge::Right},
        {"right, phantom part, 150 %",
         144,
         {.edge = TaskbarEdge::Right, .thickness = 72, .phantom = 36},
         TaskbarEdge::Bottom},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const ScreenScale scale(test.dpi);
        FakeTaskbar taskbar(test.scenario);
        const Companion companion(L"--taskbar");
        // At 100 % along a horizontal bar the length is the engine's; elsewhere any.
        const std::int32_t length =
            taskbar.horizontal() && test.dpi == 96
                ? engineBandLength(configuration(30), test.scenario.thickness)
                : -1;
        ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
        // The red column is drawn inside the bar the user sees, as thick as that bar.
        const Frame frame = redFrame(taskbar);
        EXPECT_GT(frame.count(kOpaqueRed), 0);
        EXPECT_EQ(taskbar.horizontal() ? frame.height : frame.width, test.scenario.thickness);
        if (taskbar.horizontal() && test.dpi != 96) {
            // Laid out at the taskbar's scale: half as long again as at 100 %.
            const std::int32_t unscaled = engineBandLength(configuration(30), kTaskbarHeight);
            EXPECT_NEAR(frame.width, unscaled * 1.5, 3);
        }

        taskbar.command(FakeCommand::MoveTo, static_cast<LPARAM>(test.movedTo));
        EXPECT_TRUE(placedIn(taskbar, -1, notificationLeft(taskbar), 1000));
        EXPECT_EQ(companionWindowCount(), 1);
    }
}

// Explorer rebuilds its children under a kept root and reorders them, and other programs
// take our window out: the meters are back in place, on top, within two seconds, and
// still just one window.
TEST_F(TaskbarTest, ComesBackWhenTheTaskbarRebuildsOrLosesIt) {
    writeConfiguration(configuration(30));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
    const struct {
        const char* name;
        std::function<void()> upset;
    } cases[] = {
        {"children rebuilt, bridge on top", [&] { taskbar.command(FakeCommand::RebuildChildren); }},
        {"taken out of the taskbar", [&] { SetParent(taskbar.meters(), nullptr); }},
        {"hidden", [&] { ShowWindow(taskbar.meters(), SW_HIDE); }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        test.upset();
        EXPECT_TRUE(host::pumpUntil(
            [&] {
                const HWND meters = taskbar.meters();
                return meters != nullptr && GetWindow(taskbar.window(), GW_CHILD) == meters &&
                       IsWindowVisible(meters);
            },
            2000));
        EXPECT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar), 100));
        EXPECT_EQ(companionWindowCount(), 1);
    }
}

// While Explorer restarts, the old taskbar may linger hidden and not answering when the
// new one announces itself, before or after it is shown: the meters wait until it is
// shown and end up once, in the new taskbar.
TEST_F(TaskbarTest, OverlappingRestartLeavesOneWindowInTheNewTaskbar) {
    writeConfiguration(configuration(30));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    auto old = std::make_unique<FakeTaskbar>(Scenario{.lingerMilliseconds = 2500});
    const Companion companion(L"--taskbar");
    ASSERT_TRUE(placedIn(*old, length, notificationLeft(*old)));
    for (const DWORD hidden : {0UL, 800UL, 0UL}) {
        SCOPED_TRACE(hidden);
        old->endWithoutWaiting();
        auto fresh = std::make_unique<FakeTaskbar>(
            Scenario{.lingerMilliseconds = 2500, .hiddenMilliseconds = hidden});
        EXPECT_TRUE(placedIn(*fresh, length, notificationLeft(*fresh), 2000));
        EXPECT_EQ(GetPropW(fresh->window(), kEarlyGuestProperty), nullptr);
        old.reset();  // waits for it to go
        host::pumpFor(1200);
        EXPECT_NE(fresh->meters(), nullptr);
        EXPECT_EQ(companionWindowCount(), 1);
        old = std::move(fresh);
    }
}

// A taskbar that stops pumping messages joins its input with our window's: every window
// of the companion still answers at once, and the meters carry on afterwards.
TEST_F(TaskbarTest, KeepsAnsweringWhileTheTaskbarHangs) {
    writeConfiguration(configuration(30));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
    const std::vector<HWND> windows = windowsOf(companion.id());
    ASSERT_GE(windows.size(), 2u);  // the hidden receiver and the meters

    taskbar.command(FakeCommand::Hang, 5000);
    host::pumpFor(300);
    const ULONGLONG end = GetTickCount64() + 4000;
    int rounds = 0;
    for (; GetTickCount64() < end; ++rounds) {
        for (const HWND window : windows) {
            DWORD_PTR answer = 0;
            const ULONGLONG sent = GetTickCount64();
            EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 200, &answer), 0);
            EXPECT_LE(GetTickCount64() - sent, 200u);
        }
        host::pumpFor(250);
    }
    EXPECT_GT(rounds, 5);
    EXPECT_GT(redFrame(taskbar).count(kOpaqueRed), 0);
    EXPECT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
}

// The visible menu window of a process; null when it shows none.
HWND menuOf(DWORD processId) {
    for (const HWND window : windowsOf(processId)) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wstring(name) == L"#32768" && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

// A right click opens Tavisto's menu on the way up and never the taskbar's; with
// "clickThrough" the meters let every click through to the taskbar under them.
TEST_F(TaskbarTest, RightClickOpensOurMenuOnlyAndClickThroughLetsClicksPass) {
    writeConfiguration(configuration(30));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    const FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
    const HWND meters = taskbar.meters();
    PostMessageW(meters, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(2, 2));
    host::pumpFor(500);
    EXPECT_EQ(menuOf(companion.id()), nullptr);
    PostMessageW(meters, WM_RBUTTONUP, 0, MAKELPARAM(2, 2));
    HWND menu = nullptr;
    EXPECT_TRUE(
        host::pumpUntil([&] { return (menu = menuOf(companion.id())) != nullptr; }, kPromptly));
    EXPECT_EQ(GetPropW(taskbar.window(), kTaskbarMenusProperty), nullptr);
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(host::pumpUntil([&] { return menuOf(companion.id()) == nullptr; }, kPromptly));

    RECT rect{};
    GetWindowRect(meters, &rect);
    const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    EXPECT_EQ(WindowFromPoint(centre), meters);
    for (const bool clickThrough : {true, false}) {
        SCOPED_TRACE(clickThrough ? "click-through" : "clickable again");
        writeConfiguration(configuration(30, std::string(R"( "taskbar": { "clickThrough": )") +
                                                 (clickThrough ? "true" : "false") + " },"));
        EXPECT_TRUE(host::pumpUntil(
            [&] {
                const HWND hit = WindowFromPoint(centre);
                const HWND under = GetAncestor(hit, GA_ROOT);
                return clickThrough ? hit != meters && under == taskbar.window() : hit == meters;
            },
            kPromptly));
        EXPECT_EQ(taskbar.meters(), meters);
    }
}

// 200 rebuilt children and re-created taskbars in a row: the companion holds what it held
// after the first ten.
TEST_F(TaskbarTest, ObjectCountsStayFlatOver200Rebuilds) {
    writeConfiguration(configuration(30));
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));
    ForeignResources settled;
    for (int round = 1; round <= 200; ++round) {
        if (round % 2 == 0) {
            ASSERT_TRUE(taskbar.recreate()) << round;
        } else {
            taskbar.command(FakeCommand::RebuildChildren);
            ASSERT_TRUE(host::pumpUntil(
                [&] { return GetWindow(taskbar.window(), GW_CHILD) == taskbar.meters(); }, 2000))
                << round;
        }
        ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar))) << round;
        if (round == 10) {
            settled = resourcesOf(companion.id());
            ASSERT_GT(settled.gdiObjects, 0);
            ASSERT_GT(settled.handles, 0);
        }
    }
    const ForeignResources after = resourcesOf(companion.id());
    // A leak per rebuild would add at least 95.
    EXPECT_LE(after.gdiObjects, settled.gdiObjects + 3);
    EXPECT_LE(after.handles, settled.handles + 3);
    EXPECT_EQ(after.windows, settled.windows);
}

}  // namespace
}  // namespace tavisto::companion::testing

namespace tavisto::companion::testing {
namespace {

HWND valuesWindowOf(DWORD processId) {
    for (const HWND window : windowsOf(processId)) {
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (std::wstring(name) == kShowValuesWindowClass && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

// The text of a control in another process: GetWindowTextW would give its caption only.
std::wstring textOf(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        kPromptly, &copied);
    return text;
}

void pressHotkey(WORD key) {
    INPUT inputs[6] = {};
    const WORD keys[3] = {VK_CONTROL, VK_MENU, key};
    for (int index = 0; index < 3; ++index) {
        inputs[index].type = INPUT_KEYBOARD;
        inputs[index].ki.wVk = keys[index];
        inputs[5 - index].type = INPUT_KEYBOARD;
        inputs[5 - index].ki.wVk = keys[index];
        inputs[5 - index].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(6, inputs, sizeof(INPUT));
}

// Show values opens from the meters' menu and from the hotkey, in the foreground with
// the focus in its text, lists the groups, and closes with Esc.
TEST_F(TaskbarTest, ShowValuesOpensFromTheMenuAndTheHotkeyAndClosesOnEsc) {
    const std::string text = configuration(30, R"( "hotkey": "Ctrl+Alt+M",)");
    writeConfiguration(text);
    const FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    ASSERT_TRUE(
        placedIn(taskbar, engineBandLength(text, kTaskbarHeight), notificationLeft(taskbar)));
    const std::function<void()> openers[] = {
        [&] {
            PostMessageW(taskbar.meters(), WM_RBUTTONUP, 0, MAKELPARAM(2, 2));
            HWND menu = nullptr;
            host::pumpUntil([&] { return (menu = menuOf(companion.id())) != nullptr; }, kPromptly);
            PostMessageW(menu, WM_CHAR, 'v', 0);
        },
        [] { pressHotkey('M'); },
    };
    for (const auto& open : openers) {
        HWND values = nullptr;
        open();
        ASSERT_TRUE(host::pumpUntil(
            [&] { return (values = valuesWindowOf(companion.id())) != nullptr; }, kPromptly));
        const HWND edit = GetWindow(values, GW_CHILD);
        GUITHREADINFO focus{};
        focus.cbSize = sizeof(focus);
        EXPECT_TRUE(host::pumpUntil(
            [&] {
                return GetGUIThreadInfo(GetWindowThreadProcessId(values, nullptr), &focus) &&
                       focus.hwndFocus == edit && GetForegroundWindow() == values;
            },
            kPromptly));
        EXPECT_TRUE(host::pumpUntil([&] { return textOf(edit) == L"only: 100%"; }, kPromptly))
            << textOf(edit).size() << " characters";
        PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(
            host::pumpUntil([&] { return valuesWindowOf(companion.id()) == nullptr; }, kPromptly));
    }
}

// The Show values window speaks the configuration's "language" once it has loaded, as the
// meters do: its title and the line of a group whose meters show nothing.
TEST_F(TaskbarTest, ValuesWindowSpeaksTheConfiguredLanguage) {
    const std::string silent = R"({ "language": "LANGUAGE", "meterGroups": [
        { "name": "only", "width": 30, "meters": [ { "meterType": "none", "width": 30 } ] } ] })";
    for (const std::string tag : {"de", "qps-ploc"}) {
        std::string file = silent;
        writeConfiguration(file.replace(file.find("LANGUAGE"), 8, tag));
        const TextTable& texts = *textsFor(tag);
        const std::wstring title = window::wideText(texts, TextId::ValuesTitle);
        const std::wstring line =
            window::wideText(fillText(text(texts, TextId::ValuesLine),
                                      {{u"name", u"only"},
                                       {u"value", text(texts, TextId::ValuesNothingShown)}}));
        ASSERT_NE(title, window::wideText(englishTexts(), TextId::ValuesTitle)) << tag;
        const Companion companion(window::kShowValuesSwitch);
        HWND values = nullptr;
        ASSERT_TRUE(host::pumpUntil(
            [&] { return (values = showValuesWindowOf(companion.id())) != nullptr; }, kPromptly));
        EXPECT_TRUE(host::pumpUntil(
            [&] {
                wchar_t shown[256] = {};
                GetWindowTextW(values, shown, 256);
                return shown == title;
            },
            kPromptly))
            << tag;
        EXPECT_TRUE(host::pumpUntil(
            [&] { return textOf(GetWindow(values, GW_CHILD)) == line; }, kPromptly))
            << tag << ": " << textOf(GetWindow(values, GW_CHILD)).size() << " characters";
        PostMessageW(values, WM_CLOSE, 0, 0);
        EXPECT_EQ(companion.exitCode(kPromptly), 0);
    }
}

// A hotkey another program holds is said in the log; the meters run on.
TEST_F(TaskbarTest, TakenHotkeyIsReportedNotFatal) {
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT | MOD_NOREPEAT, 'K'));
    DeleteFileW(companionLogPath().c_str());
    const std::string text = configuration(30, R"( "hotkey": "Ctrl+Alt+K",)");
    writeConfiguration(text);
    const FakeTaskbar taskbar;
    const Companion companion(L"--taskbar");
    EXPECT_TRUE(
        placedIn(taskbar, engineBandLength(text, kTaskbarHeight), notificationLeft(taskbar)));
    EXPECT_TRUE(host::pumpUntil(
        [] {
            return companionLog().find("the hotkey is taken by another program") !=
                   std::string::npos;
        },
        kPromptly))
        << companionLog();
    EXPECT_EQ(companion.exitCode(0), -1);
    // Another program's window of the same class, found first, says something else: the
    // settings window reads the meters' own.
    const win32::Window impostor = impostorHostWindow(L"Tavisto: spoofed by another program");
    EXPECT_EQ(FindWindowW(TAVISTO_COMPANION_WINDOW_CLASS, nullptr), impostor.get());
    // The settings window, a process of its own, says it under the file's state.
    const Companion settings(L"");
    HWND state = nullptr;
    EXPECT_TRUE(host::pumpUntil(
        [&] {
            state = GetDlgItem(FindWindowW(kSettingsWindowClass, nullptr), kStateText);
            return textOf(state).find(L"Hotkey: the hotkey is taken by another program") !=
                   std::wstring::npos;
        },
        kPromptly))
        << (state != nullptr ? textOf(state).size() : 0) << " characters in the state line";
    EXPECT_EQ(textOf(state).find(L"spoofed"), std::wstring::npos);
    UnregisterHotKey(nullptr, 1);
}

}  // namespace
}  // namespace tavisto::companion::testing
