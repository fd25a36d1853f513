#pragma once
// Owners of Windows resources. One template, `Owned`, holds a handle and releases it
// with the release call of its kind; each kind is an alias with its own traits, so a
// memory DC (DeleteDC), a window DC (ReleaseDC) and a paint DC (EndPaint) cannot be
// mixed up. Slim reader/writer locks are held by scoped guards. Stock objects (GetStockObject, the
// bitmap a new memory DC starts with, GDI+'s generic font families) belong to the system and are
// never put in an owner.

#include <windows.h>

#include <gdiplus.h>
#include <pdh.h>
#include <uxtheme.h>

#include <cstdint>
#include <utility>

namespace tavisto::win32 {

// Traits: `Handle`, `static Handle invalid()` and `void release(Handle)`; traits may
// carry what the release call needs besides the handle (the window of a window DC).
template <typename Traits>
class Owned {
  public:
    using Handle = typename Traits::Handle;

    Owned() noexcept = default;
    explicit Owned(Handle handle, Traits traits = {}) noexcept
        : traits_(std::move(traits)), handle_(handle) {}
    ~Owned() { reset(); }

    Owned(Owned&& other) noexcept : traits_(std::move(other.traits_)), handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            traits_ = std::move(other.traits_);
            handle_ = other.release();
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }
    const Traits& traits() const noexcept { return traits_; }

    // Gives up ownership without releasing.
    Handle release() noexcept { return std::exchange(handle_, Traits::invalid()); }

    void reset(Handle handle = Traits::invalid()) noexcept {
        const Handle previous = std::exchange(handle_, handle);
        if (previous != Traits::invalid()) {
            traits_.release(previous);
        }
    }

  private:
    [[no_unique_address]] Traits traits_{};
    Handle handle_ = Traits::invalid();
};

namespace handle_traits {

template <typename H, auto Release, std::intptr_t Invalid = 0>
struct Simple {
    using Handle = H;
    static Handle invalid() noexcept {
        if constexpr (Invalid == 0) {
            return nullptr;
        } else {
            return reinterpret_cast<Handle>(Invalid);
        }
    }
    void release(Handle handle) const noexcept { Release(handle); }
};

// A DC from CreateCompatibleDC.
struct MemoryDc {
    using Handle = HDC;
    static Handle invalid() noexcept { return nullptr; }
    void release(Handle dc) const noexcept { DeleteDC(dc); }
};

// A DC from GetDC; the window is null for the screen's DC.
struct WindowDc {
    using Handle = HDC;
    HWND window = nullptr;
    static Handle invalid() noexcept { return nullptr; }
    void release(Handle dc) const noexcept { ReleaseDC(window, dc); }
};

// A DC from BeginPaint, with the paint record that EndPaint needs.
struct PaintDc {
    using Handle = HDC;
    HWND window = nullptr;
    PAINTSTRUCT paint{};
    static Handle invalid() noexcept { return nullptr; }
    void release(Handle) const noexcept { EndPaint(window, &paint); }
};

// A buffer from BeginBufferedPaint; ending it copies the buffer to its target.
struct PaintBuffer {
    using Handle = HPAINTBUFFER;
    static Handle invalid() noexcept { return nullptr; }
    void release(Handle buffer) const noexcept { EndBufferedPaint(buffer, TRUE); }
};

struct GdiplusToken {
    using Handle = ULONG_PTR;
    static Handle invalid() noexcept { return 0; }
    void release(Handle token) const noexcept { Gdiplus::GdiplusShutdown(token); }
};

inline void closeQuery(PDH_HQUERY query) noexcept {
    PdhCloseQuery(query);
}
inline void destroyWindow(HWND window) noexcept {
    DestroyWindow(window);
}
inline void closeHandle(HANDLE handle) noexcept {
    CloseHandle(handle);
}
inline void closeKey(HKEY key) noexcept {
    RegCloseKey(key);
}
inline void destroyMenu(HMENU menu) noexcept {
    DestroyMenu(menu);
}
inline void destroyIcon(HICON icon) noexcept {
    DestroyIcon(icon);
}
inline void freeLibrary(HMODULE module) noexcept {
    FreeLibrary(module);
}
template <typename Pointer>
void localFree(Pointer memory) noexcept {
    LocalFree(memory);
}
inline void globalFree(HGLOBAL memory) noexcept {
    GlobalFree(memory);
}
template <typename Object>
void deleteGdiObject(Object object) noexcept {
    DeleteObject(object);
}

// GDI+ objects through the flat API.
inline void deleteGraphics(Gdiplus::GpGraphics* graphics) noexcept {
    Gdiplus::DllExports::GdipDeleteGraphics(graphics);
}
inline void deleteBrush(Gdiplus::GpSolidFill* brush) noexcept {
    Gdiplus::DllExports::GdipDeleteBrush(brush);
}
inline void deletePen(Gdiplus::GpPen* pen) noexcept {
    Gdiplus::DllExports::GdipDeletePen(pen);
}
inline void deleteFont(Gdiplus::GpFont* font) noexcept {
    Gdiplus::DllExports::GdipDeleteFont(font);
}
inline void deleteFontFamily(Gdiplus::GpFontFamily* family) noexcept {
    Gdiplus::DllExports::GdipDeleteFontFamily(family);
}
inline void deleteStringFormat(Gdiplus::GpStringFormat* format) noexcept {
    Gdiplus::DllExports::GdipDeleteStringFormat(format);
}
inline void disposeBitmap(Gdiplus::GpBitmap* bitmap) noexcept {
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
}

}  // namespace handle_traits

using MemoryDc = Owned<handle_traits::MemoryDc>;
using WindowDc = Owned<handle_traits::WindowDc>;
using PaintDc = Owned<handle_traits::PaintDc>;
using PaintBuffer = Owned<handle_traits::PaintBuffer>;
using GdiplusToken = Owned<handle_traits::GdiplusToken>;

using Bitmap = Owned<handle_traits::Simple<HBITMAP, handle_traits::deleteGdiObject<HBITMAP>>>;
using GdiBrush = Owned<handle_traits::Simple<HBRUSH, handle_traits::deleteGdiObject<HBRUSH>>>;
using GdiFont = Owned<handle_traits::Simple<HFONT, handle_traits::deleteGdiObject<HFONT>>>;
using Window = Owned<handle_traits::Simple<HWND, handle_traits::destroyWindow>>;
// Kernel objects whose failure value is null (threads, events, processes).
using KernelHandle = Owned<handle_traits::Simple<HANDLE, handle_traits::closeHandle>>;
// CreateFileW's failure value is INVALID_HANDLE_VALUE, not null.
using FileHandle = Owned<handle_traits::Simple<HANDLE, handle_traits::closeHandle, -1>>;
using RegistryKey = Owned<handle_traits::Simple<HKEY, handle_traits::closeKey>>;
using Menu = Owned<handle_traits::Simple<HMENU, handle_traits::destroyMenu>>;
// An icon of our own, from LoadImageW without LR_SHARED.
using Icon = Owned<handle_traits::Simple<HICON, handle_traits::destroyIcon>>;
// A counted reference to a module (LoadLibraryW, GetModuleHandleExW without
// GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT).
using ModuleReference = Owned<handle_traits::Simple<HMODULE, handle_traits::freeLibrary>>;
// Memory the system allocated for the caller with LocalAlloc (FormatMessageW's
// FORMAT_MESSAGE_ALLOCATE_BUFFER, CommandLineToArgvW).
template <typename Pointer>
using LocalMemory = Owned<handle_traits::Simple<Pointer, handle_traits::localFree<Pointer>>>;
// Memory from GlobalAlloc, until the clipboard takes it.
using GlobalMemory = Owned<handle_traits::Simple<HGLOBAL, handle_traits::globalFree>>;
using PdhQuery = Owned<handle_traits::Simple<PDH_HQUERY, handle_traits::closeQuery>>;

using GdiplusGraphics =
    Owned<handle_traits::Simple<Gdiplus::GpGraphics*, handle_traits::deleteGraphics>>;
using GdiplusSolidBrush =
    Owned<handle_traits::Simple<Gdiplus::GpSolidFill*, handle_traits::deleteBrush>>;
using GdiplusPen = Owned<handle_traits::Simple<Gdiplus::GpPen*, handle_traits::deletePen>>;
using GdiplusFont = Owned<handle_traits::Simple<Gdiplus::GpFont*, handle_traits::deleteFont>>;
using GdiplusFontFamily =
    Owned<handle_traits::Simple<Gdiplus::GpFontFamily*, handle_traits::deleteFontFamily>>;
using GdiplusStringFormat =
    Owned<handle_traits::Simple<Gdiplus::GpStringFormat*, handle_traits::deleteStringFormat>>;
using GdiplusBitmap =
    Owned<handle_traits::Simple<Gdiplus::GpBitmap*, handle_traits::disposeBitmap>>;

// The two handles CreateProcessW fills in.
struct StartedProcess {
    KernelHandle process;
    KernelHandle thread;
};

// Takes ownership of what a successful CreateProcessW returned.
inline StartedProcess ownProcess(const PROCESS_INFORMATION& information) noexcept {
    return {KernelHandle(information.hProcess), KernelHandle(information.hThread)};
}

// A slim reader/writer lock held exclusively, or shared, for the owner's scope.
class ExclusiveLock {
  public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : lock_(lock) {
        AcquireSRWLockExclusive(&lock_);
    }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  private:
    SRWLOCK& lock_;
};

class SharedLock {
  public:
    explicit SharedLock(SRWLOCK& lock) noexcept : lock_(lock) { AcquireSRWLockShared(&lock_); }
    ~SharedLock() { ReleaseSRWLockShared(&lock_); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

  private:
    SRWLOCK& lock_;
};

// GetDC of a window, or of the screen when the window is null.
inline WindowDc windowDc(HWND window) noexcept {
    return WindowDc(GetDC(window), handle_traits::WindowDc{window});
}

// BeginPaint; when it gives no DC the paint is ended at once and the owner is empty.
inline PaintDc beginPaint(HWND window) noexcept {
    handle_traits::PaintDc traits{window, {}};
    const HDC dc = BeginPaint(window, &traits.paint);
    if (dc == nullptr) {
        EndPaint(window, &traits.paint);
        return PaintDc();
    }
    return PaintDc(dc, traits);
}

}  // namespace tavisto::win32
