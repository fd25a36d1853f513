// WM_PAINT through BeginPaint and buffered painting, on a window that is shown.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "config/configuration_loader.h"
#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/painting.h"
#include "render/frame.h"
#include "support/placed_meter.h"
#include "test_window.h"

namespace tavisto::win32 {
namespace {

using tavisto::testing::drawPlaced;
using tavisto::testing::PlacedMeter;

// The surface that the painting window's WM_PAINT blends; null paints no panel.
platform::MemorySurface* paintedSurface = nullptr;
int paints = 0;

LRESULT CALLBACK paintingWindowProc(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
    if (message == WM_PAINT) {
        ++paints;
        paintBand(window, nullptr, paintedSurface);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

Window createPaintingWindow(int width, int height) {
    static const ATOM registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = paintingWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TavistoPaintingTestWindow";
        return RegisterClassExW(&windowClass);
    }();
    if (registered == 0) {
        return Window();
    }
    return Window(CreateWindowExW(0, L"TavistoPaintingTestWindow", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                  width, height, nullptr, nullptr, GetModuleHandleW(nullptr),
                                  nullptr));
}

TEST(Painting, PaintMessageBlendsTheBackBufferAndValidatesTheWindow) {
    const Window window = createPaintingWindow(60, 20);
    ASSERT_TRUE(window);
    const BufferedPaintThread bufferedPaint;
    auto surface = GdiplusSurfaceFactory(window.get()).createMemorySurface();
    ASSERT_NE(surface, nullptr);
    ASSERT_TRUE(surface->replaceBackBuffer(60, 20));
    // An opaque red column over the left 10 pixels.
    const tavisto::testing::SampledCounter full{{parseCounter(nlohmann::json::parse(R"json(
        {"counterPath": "(\\T\\a)", "color": "#FF0000", "minValue": 0, "maxValue": 1})json"))},
                                                1.0};
    PlacedMeter column;
    column.meterType = closedSetValue<MeterType>(u"column", kMeterTypes);
    column.color = parseColour(u"#FF0000");
    column.placement.rect = {0, 0, 10, 20};
    column.width = 10;
    column.placement.barLength = 20.0;
    tavisto::testing::setCounters(column, {full});
    drawPlaced(column, *surface, platform::TaskbarTheme::Dark);

    paintedSurface = surface.get();
    paints = 0;
    InvalidateRect(window.get(), nullptr, TRUE);
    UpdateWindow(window.get());
    paintedSurface = nullptr;

    EXPECT_EQ(paints, 1);
    EXPECT_FALSE(GetUpdateRect(window.get(), nullptr, FALSE));  // EndPaint validated it
    const WindowDc screen = windowDc(window.get());
    EXPECT_EQ(GetPixel(screen.get(), 5, 10), RGB(255, 0, 0));
    EXPECT_NE(GetPixel(screen.get(), 40, 10), RGB(255, 0, 0));
}

}  // namespace
}  // namespace tavisto::win32
