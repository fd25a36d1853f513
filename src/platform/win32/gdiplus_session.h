#pragma once
// GDI+ start-up and shutdown, and the generic sans-serif family that font creation
// falls back to.

#include "platform/win32/handles.h"

namespace tavisto::win32 {

// Starts GDI+ for the object's life. Sessions may overlap; GDI+ counts them.
class GdiplusSession {
  public:
    GdiplusSession() noexcept;
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    bool started() const { return static_cast<bool>(token_); }

  private:
    GdiplusToken token_;
};

struct SansSerifFamily {
    Gdiplus::GpFontFamily* family = nullptr;  // GDI+'s own object: never deleted
    Gdiplus::GpStatus status = Gdiplus::GenericError;
};

// The generic sans-serif family with the status of obtaining it. Obtained once and
// shared by the whole process until GDI+ shuts down, which invalidates it.
SansSerifFamily sansSerifFamily() noexcept;

}  // namespace tavisto::win32
