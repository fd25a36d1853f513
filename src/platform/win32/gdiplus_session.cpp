#include "platform/win32/gdiplus_session.h"

namespace tavisto::win32 {
namespace {

// Band windows of the same process may run on different threads.
SRWLOCK familyLock = SRWLOCK_INIT;
bool familyObtained = false;
SansSerifFamily sharedFamily;

void forgetSansSerifFamily() noexcept {
    const ExclusiveLock held(familyLock);
    familyObtained = false;
    sharedFamily = {};
}

}  // namespace

GdiplusSession::GdiplusSession() noexcept {
    const Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        token_.reset(token);
    }
}

GdiplusSession::~GdiplusSession() {
    if (token_) {
        token_.reset();
        // The generic family dies with GDI+; a later session obtains it again.
        forgetSansSerifFamily();
    }
}

SansSerifFamily sansSerifFamily() noexcept {
    const ExclusiveLock held(familyLock);
    if (!familyObtained) {
        sharedFamily.status =
            Gdiplus::DllExports::GdipGetGenericFontFamilySansSerif(&sharedFamily.family);
        familyObtained = true;
    }
    return sharedFamily;
}

}  // namespace tavisto::win32
