// The backend tests run with GDI+ started for the whole process, as the band does
// while its object lives.

#include <gtest/gtest.h>

#include "platform/win32/gdiplus_session.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const tavisto::win32::GdiplusSession gdiplus;
    if (!gdiplus.started()) {
        return 2;
    }
    return RUN_ALL_TESTS();
}
