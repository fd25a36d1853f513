#include "platform/win32/gdiplus_session.h"

namespace tavisto::win32 {
namespace {

// Band windows of the same process may run on different threads.
SRWLOCK familyLock = SRWLOCK_INIT;
bool familyObtained = false;
SansSerifFamily sharedFamily;

void forgetSansSerifFamily() noexcept {
    AcquireSRWLockExclusive(&familyLock);
    familyObtained = false;
    sharedFamily = {};
    ReleaseSRWLockExclusive(&familyLock);
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
    AcquireSRWLockExclusive(&familyLock);
    if (!familyObtained) {
        sharedFamily.status =
            Gdiplus::DllExports::GdipGetGenericFontFamilySansSerif(&sharedFamily.family);
        familyObtained = true;
    }
    const SansSerifFamily family = sharedFamily;
    ReleaseSRWLockExclusive(&familyLock);
    return family;
}

}  // namespace tavisto::win32
