// The real Tavisto.exe --taskbar against fake taskbars of this process: where its
// window goes, what it draws, how it follows the taskbar, and what it leaves behind.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "platform/win32/gdiplus_session.h"

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
    // its end less the margin), as tall as its client area and `length` long.
    static bool placedIn(const FakeTaskbar& taskbar, std::int32_t length, LONG rightEdge) {
        return host::pumpUntil(
            [&] {
                const HWND meters = taskbar.meters();
                if (meters == nullptr) {
                    return false;
                }
                const RECT rect = rectInParent(meters);
                return rect.right == rightEdge && rect.right - rect.left == length &&
                       rect.top == 0 && rect.bottom == taskbar.client().bottom;
            },
            kPromptly);
    }
    static LONG notificationLeft(const FakeTaskbar& taskbar) {
        RECT area{};
        GetWindowRect(taskbar.notificationArea(), &area);
        MapWindowPoints(nullptr, taskbar.window(), reinterpret_cast<POINT*>(&area), 2);
        return area.left;
    }

    win32::GdiplusSession gdiplus_;
};

TEST_F(TaskbarTest, AttachesBesideTheNotificationAreaAndDrawsTheMeters) {
    writeConfiguration(configuration(30));
    const FakeTaskbar taskbar(TaskbarKind::Composition);
    const Companion companion(L"--taskbar");
    ASSERT_TRUE(companion.started());
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_GT(length, 0);
    ASSERT_TRUE(placedIn(taskbar, length, notificationLeft(taskbar)));

    // The column fills with red once sampled; the padding stays see-through but
    // clickable.
    Frame frame;
    ASSERT_TRUE(host::pumpUntil(
        [&] {
            frame = requestFrame(taskbar.meters());
            return frame.count(kOpaqueRed) > 0;
        },
        kPromptly));
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

TEST_F(TaskbarTest, FollowsTheNotificationAreaAndTheConfiguration) {
    writeConfiguration(configuration(30));
    FakeTaskbar taskbar(TaskbarKind::Composition);
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
    auto taskbar = std::make_unique<FakeTaskbar>(TaskbarKind::Composition);
    const Companion companion(L"--taskbar");
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_TRUE(placedIn(*taskbar, length, notificationLeft(*taskbar)));

    taskbar.reset();
    taskbar = std::make_unique<FakeTaskbar>(TaskbarKind::Composition, 900);
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(placedIn(*taskbar, length, notificationLeft(*taskbar)));
    EXPECT_EQ(companionWindowCount(), 1);
}

TEST_F(TaskbarTest, SecondaryTaskbarHasItsOwnWindowWhileItExists) {
    writeConfiguration(configuration(30, kAllMonitors));
    const FakeTaskbar primary(TaskbarKind::Composition);
    auto secondary = std::make_unique<FakeTaskbar>(TaskbarKind::Secondary, 500);
    const Companion companion(L"--taskbar");
    const std::int32_t length = engineBandLength(configuration(30), kTaskbarHeight);
    ASSERT_TRUE(placedIn(primary, length, notificationLeft(primary)));
    // No notification area there: the far end, less the margin.
    EXPECT_TRUE(placedIn(*secondary, length, secondary->client().right - 12));

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

TEST_F(TaskbarTest, SecondInstanceEndsAtOnceAndKillingLeavesTheTaskbarAsItWas) {
    writeConfiguration(configuration(30));
    const FakeTaskbar taskbar(TaskbarKind::Composition);
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

    const FakeTaskbar taskbar(TaskbarKind::Composition);
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

TEST_F(TaskbarTest, ObjectCountsStayFlatOverReloadsAndTaskbarRecreations) {
    writeConfiguration(configuration(30));
    auto taskbar = std::make_unique<FakeTaskbar>(TaskbarKind::Composition);
    const Companion companion(L"--taskbar");
    const std::int32_t lengths[] = {engineBandLength(configuration(30), kTaskbarHeight),
                                    engineBandLength(configuration(80), kTaskbarHeight)};
    ASSERT_TRUE(placedIn(*taskbar, lengths[0], notificationLeft(*taskbar)));
    const auto recreate = [&] {
        taskbar.reset();
        taskbar = std::make_unique<FakeTaskbar>(TaskbarKind::Composition);
        PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    };
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

// Not a check: scripts/run uses it to picture a configuration in the fake Windows 11
// taskbar (TAVISTO_TASKBAR_CONFIGURATION, the file; TAVISTO_TASKBAR_PICTURE, the PNG).
TEST_F(TaskbarTest, PicturesAGivenConfiguration) {
    const std::wstring source = host::environmentValue(L"TAVISTO_TASKBAR_CONFIGURATION");
    const std::wstring png = host::environmentValue(L"TAVISTO_TASKBAR_PICTURE");
    if (source.empty() || png.empty()) {
        GTEST_SKIP() << "no configuration to picture";
    }
    ASSERT_TRUE(CopyFileW(source.c_str(), host::configurationFile().c_str(), FALSE));
    const FakeTaskbar taskbar(TaskbarKind::Composition);
    const Companion companion(L"--taskbar");
    Frame frame;
    // Something drawn, then time for every refresh rate to have sampled.
    ASSERT_TRUE(host::pumpUntil(
        [&] {
            frame = taskbar.meters() != nullptr ? requestFrame(taskbar.meters()) : Frame{};
            return frame.width > 0 && frame.count(kClickableClear) < frame.width * frame.height;
        },
        kPromptly));
    host::pumpFor(2500);
    frame = requestFrame(taskbar.meters());
    host::Capture picture{frame.width, frame.height, {}};
    for (const std::uint32_t pixel : frame.pixels) {
        // Over a dark taskbar, as Windows 11 draws it by default.
        const std::uint32_t alpha = pixel >> 24;
        std::uint32_t rgb = 0;
        for (const int shift : {0, 8, 16}) {
            const std::uint32_t over = ((pixel >> shift) & 0xFF) + 0x20 * (255 - alpha) / 255;
            rgb |= std::min<std::uint32_t>(over, 255) << shift;
        }
        picture.pixels.push_back(rgb);
    }
    EXPECT_TRUE(host::savePng(picture, png));
}

}  // namespace
}  // namespace tavisto::companion::testing
