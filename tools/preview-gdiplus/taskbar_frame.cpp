#include "preview-gdiplus/taskbar_frame.h"

#include <gdiplus.h>

#include "platform/win32/dib_section.h"
#include "platform/win32/painting.h"

namespace tavisto::preview {
namespace {

constexpr const wchar_t* kTaskbarClass = L"TavistoPreviewTaskbar";
constexpr const wchar_t* kBandClass = L"TavistoPreviewBand";

// The image/png encoder of GDI+.
constexpr CLSID kPngEncoder = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

bool registerClass(const wchar_t* name, HBRUSH background) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

// A top-down 32-bit DIB selected into a memory DC.
class PaintTarget {
  public:
    PaintTarget(int width, int height) : dc_(CreateCompatibleDC(nullptr)) {
        section_ = win32::createTopDownDib(dc_.get(), width, height);
        if (section_) {
            original_ = SelectObject(dc_.get(), section_.bitmap.get());
        }
    }
    ~PaintTarget() {
        if (original_ != nullptr) {
            SelectObject(dc_.get(), original_);
        }
    }
    PaintTarget(const PaintTarget&) = delete;
    PaintTarget& operator=(const PaintTarget&) = delete;

    HDC dc() const { return original_ != nullptr ? dc_.get() : nullptr; }
    BYTE* bits() const { return reinterpret_cast<BYTE*>(section_.pixels); }

  private:
    win32::MemoryDc dc_;
    win32::DibSection section_;
    HGDIOBJ original_ = nullptr;
};

}  // namespace

TaskbarFrame::TaskbarFrame(Argb background)
    : background_(CreateSolidBrush(
          RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF))) {
    if (!background_ || !registerClass(kTaskbarClass, background_.get()) ||
        !registerClass(kBandClass, nullptr)) {
        return;
    }
    taskbar_.reset(CreateWindowExW(0, kTaskbarClass, L"Tavisto preview", WS_POPUP, 0, 0, 1, 1,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    if (taskbar_) {
        band_.reset(CreateWindowExW(0, kBandClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 1, 1,
                                    taskbar_.get(), nullptr, GetModuleHandleW(nullptr), nullptr));
    }
}

void TaskbarFrame::resizeBand(int width, int height) {
    SetWindowPos(taskbar_.get(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(band_.get(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TaskbarFrame::writePng(platform::MemorySurface& surface, const std::wstring& path) const {
    RECT client{};
    GetClientRect(band_.get(), &client);
    const int width = client.right;
    const int height = client.bottom;
    const PaintTarget target(width, height);
    if (target.dc() == nullptr) {
        return false;
    }
    win32::paintBand(band_.get(), target.dc(), &surface);
    GdiFlush();

    namespace gdip = Gdiplus::DllExports;
    Gdiplus::GpBitmap* made = nullptr;
    if (gdip::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppRGB,
                                        target.bits(), &made) != Gdiplus::Ok) {
        return false;
    }
    const win32::GdiplusBitmap picture(made);
    return gdip::GdipSaveImageToFile(picture.get(), path.c_str(), &kPngEncoder, nullptr) ==
           Gdiplus::Ok;
}

}  // namespace tavisto::preview
