// A MeterPanel on a real window with every Windows backend: sampling ticks draw into
// the GDI+ back buffer, painting blends it over the background, and reloads leave no
// GDI object, USER object or handle behind.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include <nlohmann/json.hpp>

#include "panel/meter_panel.h"
#include "win32/window_backends.h"
#include "platform/win32/dib_section.h"
#include "process_resources.h"
#include "test_window.h"

namespace tavisto::win32 {
namespace {

using testing::pumpMessagesUntil;

// A 300 × 40 band: one opaque red column filled to the top (the thread count is
// clamped to its range of 0 to 1), then a pie, a text and an indicator meter.
constexpr const char* kBand = R"json({"meterGroups": [
    {"name": "Load", "meters": [
        {"meterType": "column", "color": "#FF0000", "width": 10, "refreshRate": 50,
         "counters": [{"counterPath": "(PERFORMANCE_INFORMATION.ThreadCount)",
                       "color": "#FF0000", "minValue": 0, "maxValue": 1}]},
        {"meterType": "pie", "width": 30, "refreshRate": 50,
         "counters": [{"counterPath": "(\\Processor(_Total)\\% Processor Time)",
                       "minValue": 0, "maxValue": 100}]}]},
    {"name": "Memory", "meters": [
        {"meterType": "text", "width": 80, "refreshRate": 100,
         "counters": [{"counterPath": "(PERFORMANCE_INFORMATION.PhysicalAvailable)",
                       "units": "bytes/second", "fontSize": 12}]},
        {"meterType": "indicator", "width": 40, "refreshRate": 100,
         "counters": [{"counterPath": "(PERFORMANCE_INFORMATION.ProcessCount)",
                       "indicator": "RUN", "trigger": "> 0", "fontSize": 12}]}]}]})json";

constexpr std::uint32_t kOpaqueRed = 0xFFFF0000;
constexpr int kWidth = 300;
constexpr int kHeight = 40;

// Lets the panel's timers tick for a while.
void runTimers(DWORD milliseconds) {
    pumpMessagesUntil([] { return false; }, milliseconds);
}

// The top-down 32-bit pixels of a memory DC, as WM_PRINTCLIENT paints into one.
class PrintTarget {
  public:
    PrintTarget(int width, int height) : dc_(CreateCompatibleDC(nullptr)), width_(width) {
        section_ = createTopDownDib(dc_.get(), width, height);
        original_ = SelectObject(dc_.get(), section_.bitmap.get());
    }
    ~PrintTarget() { SelectObject(dc_.get(), original_); }
    PrintTarget(const PrintTarget&) = delete;
    PrintTarget& operator=(const PrintTarget&) = delete;

    HDC dc() const { return dc_.get(); }
    std::uint32_t rgb(int x, int y) const {
        GdiFlush();
        return section_.pixels[static_cast<std::size_t>(y * width_ + x)] & 0x00FFFFFF;
    }

  private:
    MemoryDc dc_;
    DibSection section_;
    HGDIOBJ original_ = nullptr;
    int width_;
};

class BandPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window);
        platform = std::make_unique<testing::WindowBackends>(window.get());
    }
    void TearDown() override {
        panel.reset();
        platform.reset();
    }

    // As the band window does for its first document.
    void loadBand() {
        panel = std::make_unique<MeterPanel>(platform->services(), std::string(kBand),
                                             BandDirection::Horizontal);
    }

    GdiplusMemorySurface& surface() {
        return dynamic_cast<GdiplusMemorySurface&>(panel->surface());
    }

    Window window = testing::createTestWindow(kWidth, kHeight);
    std::unique_ptr<testing::WindowBackends> platform;
    std::unique_ptr<MeterPanel> panel;
};

TEST_F(BandPanel, TicksDrawTheMetersIntoABackBufferOfTheClientSize) {
    loadBand();
    runTimers(200);
    EXPECT_EQ(surface().width(), kWidth);
    EXPECT_EQ(surface().height(), kHeight);
    EXPECT_EQ(surface().pixel(5, 30), kOpaqueRed);
    EXPECT_EQ(surface().pixel(5, 5), kOpaqueRed);
    EXPECT_EQ(surface().pixel(kWidth - 5, 20), 0u);  // beyond the last group
}

TEST_F(BandPanel, PrintClientBlendsTheMetersOverTheBackground) {
    loadBand();
    runTimers(100);
    PrintTarget withPanel(kWidth, kHeight);
    paintBand(window.get(), withPanel.dc(), &panel->surface());
    EXPECT_EQ(withPanel.rgb(5, 30), 0xFF0000u);

    // Without a panel only the background shows where the column was.
    PrintTarget withoutPanel(kWidth, kHeight);
    paintBand(window.get(), withoutPanel.dc(), nullptr);
    EXPECT_NE(withoutPanel.rgb(5, 30), 0xFF0000u);
    EXPECT_EQ(withoutPanel.rgb(5, 30), withPanel.rgb(kWidth - 5, 20));
}

TEST_F(BandPanel, StopLeavesAnEmptyBackBufferOfTheClientSize) {
    loadBand();
    runTimers(100);
    panel->stop();
    EXPECT_EQ(surface().width(), kWidth);
    EXPECT_EQ(surface().pixel(5, 30), 0u);
    runTimers(100);  // no timer is left to draw again
    EXPECT_EQ(surface().pixel(5, 30), 0u);
}

TEST(ProcessResources, CountsSeeABitmapAWindowAndAHandle) {
    // Wine gives a thread a hidden IME window along with its first window.
    const Window first = testing::createTestWindow(10, 10);
    const testing::ProcessResources before = testing::processResources();
    const Bitmap bitmap(CreateBitmap(4, 4, 1, 32, nullptr));
    const Window window = testing::createTestWindow(10, 10);
    const KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(bitmap && window && event);
    const testing::ProcessResources during = testing::processResources();
    EXPECT_EQ(during.gdiObjects, before.gdiObjects + 1);
    EXPECT_EQ(during.userObjects, before.userObjects + 1);
    EXPECT_EQ(during.kernelHandles, before.kernelHandles + 1);
}

TEST_F(BandPanel, ReloadCyclesLeaveGdiUserAndHandleCountsWhereTheyWere) {
    loadBand();
    // One cycle first, so that GDI+ and PDH have made their lasting caches.
    panel->stop();
    ASSERT_EQ(panel->reload(std::string(kBand), BandDirection::Horizontal), "");
    runTimers(100);
    const testing::ProcessResources before = testing::processResources();
    ASSERT_GT(before.gdiObjects, 0);
    ASSERT_GT(before.userObjects, 0);

    for (int cycle = 0; cycle < 5; ++cycle) {
        panel->stop();
        ASSERT_EQ(panel->reload(std::string(kBand), BandDirection::Horizontal), "");
        runTimers(100);
    }
    const testing::ProcessResources after = testing::processResources();
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.userObjects, before.userObjects);
    EXPECT_EQ(after.kernelHandles, before.kernelHandles);
}

}  // namespace
}  // namespace tavisto::win32
