// Graph meters and "auto" colours drawn by the Cairo surface, checked pixel by pixel.

#include <gtest/gtest.h>

#include "platform/linux/cairo_surface.h"
#include "support/graph_scenes.h"

namespace tavisto {
namespace {

TEST(CairoGraph, NewestSampleIsAtTheRightOrAtTheBottomAndOlderOnesMoveAway) {
    platform::CairoSurface surface;
    testing::expectNewestSampleAtTheFarEnd(surface);
}

TEST(CairoGraph, ShiftedPixelsAreWhatAFullDrawingGives) {
    platform::CairoSurface surface;
    testing::expectShiftedPixelsAsDrawnInFull(surface);
}

TEST(CairoGraph, AutoColoursAreWhiteOnADarkTaskbarAndBlackOnALightOne) {
    platform::CairoSurface surface;
    testing::expectAutoColoursFollowTheTheme(surface);
}

}  // namespace
}  // namespace tavisto
