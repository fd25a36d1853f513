#include "platform/win32/gdiplus_surface.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/gdiplus_session.h"

namespace tavisto::win32 {
namespace {

namespace gdip = Gdiplus::DllExports;

// Runs a GDI+ creation call and owns what it made only when it succeeded; a failed
// call's out parameter is not trusted.
template <typename Owner, typename Create>
Owner created(Create create) {
    typename Owner::Handle made = nullptr;
    if (create(&made) != Gdiplus::Ok) {
        return Owner();
    }
    return Owner(made);
}

// Shares the font with the surface's cache, so it outlives the cache entry.
class GdiplusFontObject final : public platform::Font {
  public:
    explicit GdiplusFontObject(std::shared_ptr<const GdiplusFont> font) : font_(std::move(font)) {}
    Gdiplus::GpFont* get() const { return font_->get(); }

  private:
    std::shared_ptr<const GdiplusFont> font_;
};

using ResolvedFonts = std::vector<GdiplusMemorySurface::ResolvedFont>;

// Family by name, else GDI+'s generic sans-serif family (shared, never deleted).
// `named` keeps the family created by name alive until the font exists.
Gdiplus::GpFontFamily* familyFor(const std::wstring& name, GdiplusFontFamily& named) {
    named = created<GdiplusFontFamily>([&](Gdiplus::GpFontFamily** family) {
        return gdip::GdipCreateFontFamilyFromName(name.c_str(), nullptr, family);
    });
    if (named) {
        return named.get();
    }
    const SansSerifFamily fallback = sansSerifFamily();
    return fallback.status == Gdiplus::Ok ? fallback.family : nullptr;
}

GdiplusFont fontOf(Gdiplus::GpFontFamily* family, float sizePixels) {
    if (family == nullptr) {
        return GdiplusFont();
    }
    return created<GdiplusFont>([&](Gdiplus::GpFont** font) {
        return gdip::GdipCreateFont(family, sizePixels, Gdiplus::FontStyleRegular,
                                    Gdiplus::UnitPixel, font);
    });
}

GdiplusFont createFontOf(std::u16string_view family, float sizePixels) {
    const std::wstring name(family.begin(), family.end());
    GdiplusFontFamily named;
    GdiplusFont font = fontOf(familyFor(name, named), sizePixels);
    if (!font) {
        // A named family that cannot make the font gets one more try with the
        // generic family.
        const SansSerifFamily fallback = sansSerifFamily();
        if (named && fallback.status == Gdiplus::Ok) {
            font = fontOf(fallback.family, sizePixels);
        }
    }
    return font;
}

// end − start + 1, saturated: a rectangle may span the whole coordinate range.
INT extentPlusOne(std::int32_t start, std::int32_t end) {
    const std::int64_t extent = std::int64_t{end} - start + 1;
    return static_cast<INT>(std::clamp<std::int64_t>(extent, 0, std::numeric_limits<INT>::max()));
}

// One drawing session: a GDI+ graphics object on the memory DC. The brushes, pens
// and string formats of each call are created for it and deleted after it.
class GdiplusCanvas final : public platform::Canvas {
  public:
    GdiplusCanvas(GdiplusGraphics graphics, ResolvedFonts& fonts)
        : graphics_(std::move(graphics)), resolvedFonts_(fonts) {}

    void clearToTransparent(const Rect& area) override {
        // One pixel wider and higher, so the column at `right` and the row at
        // `bottom` are cleared as well.
        gdip::GdipSetClipRectI(graphics(), area.left, area.top,
                               extentPlusOne(area.left, area.right),
                               extentPlusOne(area.top, area.bottom), Gdiplus::CombineModeReplace);
        gdip::GdipGraphicsClear(graphics(), 0x00FFFFFF);
        gdip::GdipResetClip(graphics());
    }

    // GDI+ has no way to move pixels in place, so the copy goes through GDI on the
    // graphics object's DC; BitBlt copies overlapping areas of one bitmap correctly.
    void scrollArea(const Rect& area, int dx, int dy) override {
        HDC dc = nullptr;
        if (gdip::GdipGetDC(graphics(), &dc) != Gdiplus::Ok) {
            return;
        }
        BITMAP bitmap{};
        const HGDIOBJ selected = GetCurrentObject(dc, OBJ_BITMAP);
        const bool sized =
            selected != nullptr && GetObjectW(selected, sizeof(bitmap), &bitmap) != 0;
        const LONG left = std::max<LONG>(area.left, 0);
        const LONG top = std::max<LONG>(area.top, 0);
        const LONG right = sized ? std::min<LONG>(area.right, bitmap.bmWidth) : left;
        const LONG bottom = sized ? std::min<LONG>(area.bottom, std::labs(bitmap.bmHeight)) : top;
        const LONG width = right - left;
        const LONG height = bottom - top;
        const bool moves =
            width > 0 && height > 0 && std::labs(dx) < width && std::labs(dy) < height;
        if (moves) {
            // Source and destination: the part of the area that stays inside it.
            const LONG sourceLeft = left + std::max(-dx, 0);
            const LONG sourceTop = top + std::max(-dy, 0);
            BitBlt(dc, sourceLeft + dx, sourceTop + dy, width - std::labs(dx),
                   height - std::labs(dy), dc, sourceLeft, sourceTop, SRCCOPY);
        }
        gdip::GdipReleaseDC(graphics(), dc);
        if (width <= 0 || height <= 0) {
            return;
        }
        // The strips left behind.
        if (!moves) {
            clearArea(left, top, width, height);
            return;
        }
        if (dx != 0) {
            clearArea(dx > 0 ? left : right + dx, top, std::labs(dx), height);
        }
        if (dy != 0) {
            clearArea(left, dy > 0 ? top : bottom + dy, width, std::labs(dy));
        }
    }

    void setQuality(platform::RenderQuality quality) override {
        switch (quality) {
            case platform::RenderQuality::Shapes:
                gdip::GdipSetSmoothingMode(graphics(), Gdiplus::SmoothingModeAntiAlias);
                gdip::GdipSetInterpolationMode(graphics(),
                                               Gdiplus::InterpolationModeHighQualityBicubic);
                break;
            case platform::RenderQuality::TextModern:
                gdip::GdipSetSmoothingMode(graphics(), Gdiplus::SmoothingModeAntiAlias);
                gdip::GdipSetCompositingQuality(graphics(), Gdiplus::CompositingQualityHighQuality);
                gdip::GdipSetTextRenderingHint(graphics(), Gdiplus::TextRenderingHintAntiAlias);
                gdip::GdipSetInterpolationMode(graphics(),
                                               Gdiplus::InterpolationModeHighQualityBicubic);
                break;
            case platform::RenderQuality::TextLegacy:
                gdip::GdipSetTextRenderingHint(graphics(), Gdiplus::TextRenderingHintAntiAlias);
                gdip::GdipSetCompositingQuality(graphics(),
                                                Gdiplus::CompositingQualityAssumeLinear);
                break;
            case platform::RenderQuality::PixelExact:
                gdip::GdipSetSmoothingMode(graphics(), Gdiplus::SmoothingModeNone);
                break;
        }
    }

    void fillRectangle(Argb color, int x, int y, int width, int height) override {
        if (const GdiplusSolidBrush brush = solidBrush(color)) {
            gdip::GdipFillRectangleI(graphics(), brush.get(), x, y, width, height);
        }
    }

    void outlineRectangle(Argb color, int x, int y, int width, int height) override {
        if (const GdiplusPen pen = onePixelPen(color)) {
            gdip::GdipDrawRectangleI(graphics(), pen.get(), x, y, width, height);
        }
    }

    void fillPie(Argb color, int x, int y, int width, int height, float startAngle,
                 float sweepAngle) override {
        if (const GdiplusSolidBrush brush = solidBrush(color)) {
            gdip::GdipFillPieI(graphics(), brush.get(), x, y, width, height, startAngle,
                               sweepAngle);
        }
    }

    void outlineEllipse(Argb color, int x, int y, int width, int height) override {
        if (const GdiplusPen pen = onePixelPen(color)) {
            gdip::GdipDrawEllipseI(graphics(), pen.get(), x, y, width, height);
        }
    }

    std::unique_ptr<platform::Font> createFont(std::u16string_view family,
                                               float sizePixels) override {
        for (GdiplusMemorySurface::ResolvedFont& kept : resolvedFonts_) {
            if (kept.sizePixels == sizePixels && kept.family == family) {
                kept.used = true;
                return std::make_unique<GdiplusFontObject>(kept.font);
            }
        }
        GdiplusFont font = createFontOf(family, sizePixels);
        if (!font) {
            return nullptr;
        }
        if (resolvedFonts_.size() >= GdiplusMemorySurface::kMaxResolvedFonts) {
            resolvedFonts_.erase(resolvedFonts_.begin());
        }
        auto shared = std::make_shared<const GdiplusFont>(std::move(font));
        resolvedFonts_.push_back({std::u16string(family), sizePixels, shared, true});
        return std::make_unique<GdiplusFontObject>(std::move(shared));
    }

    void drawString(std::u16string_view text, const platform::Font& font, Argb color,
                    const RectF& layout, platform::TextAlignment alignment,
                    platform::TextAlignment lineAlignment) override {
        const GdiplusSolidBrush brush = solidBrush(color);
        const auto format = created<GdiplusStringFormat>([](Gdiplus::GpStringFormat** made) {
            return gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, made);
        });
        if (!brush || !format) {
            return;
        }
        gdip::GdipSetStringFormatAlign(format.get(),
                                       static_cast<Gdiplus::StringAlignment>(alignment));
        gdip::GdipSetStringFormatLineAlign(format.get(),
                                           static_cast<Gdiplus::StringAlignment>(lineAlignment));
        const Gdiplus::RectF rect(layout.x, layout.y, layout.width, layout.height);
        // UTF-16 code units are wchar_t on Windows; the length is given, so no
        // terminator is needed.
        gdip::GdipDrawString(
            graphics(), reinterpret_cast<const WCHAR*>(text.data()), static_cast<INT>(text.size()),
            static_cast<const GdiplusFontObject&>(font).get(), &rect, format.get(), brush.get());
    }

  private:
    Gdiplus::GpGraphics* graphics() const { return graphics_.get(); }

    void clearArea(INT x, INT y, INT width, INT height) {
        gdip::GdipSetClipRectI(graphics(), x, y, width, height, Gdiplus::CombineModeReplace);
        gdip::GdipGraphicsClear(graphics(), 0x00FFFFFF);
        gdip::GdipResetClip(graphics());
    }

    static GdiplusSolidBrush solidBrush(Argb color) {
        return created<GdiplusSolidBrush>(
            [&](Gdiplus::GpSolidFill** brush) { return gdip::GdipCreateSolidFill(color, brush); });
    }

    static GdiplusPen onePixelPen(Argb color) {
        return created<GdiplusPen>([&](Gdiplus::GpPen** pen) {
            return gdip::GdipCreatePen1(color, 1.0F, Gdiplus::UnitWorld, pen);
        });
    }

    GdiplusGraphics graphics_;
    ResolvedFonts& resolvedFonts_;
};

}  // namespace

GdiplusMemorySurface::GdiplusMemorySurface(MemoryDc dc) noexcept : dc_(std::move(dc)) {}

GdiplusMemorySurface::~GdiplusMemorySurface() {
    // The back buffer cannot be deleted while selected, nor the DC deleted while it
    // holds anything but its own bitmap.
    if (originalBitmap_ != nullptr) {
        SelectObject(dc_.get(), originalBitmap_);
    }
}

bool GdiplusMemorySurface::replaceBackBuffer(int width, int height) {
    // Every rebuild of the frame, even one that keeps the old buffer, lets go of the
    // fonts that were not drawn with since the last one.
    std::erase_if(resolvedFonts_, [](const ResolvedFont& kept) { return !kept.used; });
    for (ResolvedFont& kept : resolvedFonts_) {
        kept.used = false;
    }
    if (width <= 0 || height <= 0) {
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: rows run bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap buffer(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!buffer || bits == nullptr) {
        return false;
    }
    const HGDIOBJ replaced = SelectObject(dc_.get(), buffer.get());
    if (replaced == nullptr) {
        return false;
    }
    if (originalBitmap_ == nullptr) {
        originalBitmap_ = replaced;
    }
    // The previous back buffer is no longer selected and is deleted here.
    backBuffer_ = std::move(buffer);
    bits_ = static_cast<const std::uint32_t*>(bits);
    width_ = width;
    height_ = height;
    return true;
}

std::unique_ptr<platform::Canvas> GdiplusMemorySurface::beginDrawing() {
    if (!backBuffer_) {
        return nullptr;
    }
    auto graphics = created<GdiplusGraphics>(
        [&](Gdiplus::GpGraphics** made) { return gdip::GdipCreateFromHDC(dc_.get(), made); });
    if (!graphics) {
        return nullptr;
    }
    return std::make_unique<GdiplusCanvas>(std::move(graphics), resolvedFonts_);
}

std::uint32_t GdiplusMemorySurface::pixel(int x, int y) const {
    if (bits_ == nullptr || x < 0 || y < 0 || x >= width_ || y >= height_) {
        return 0;
    }
    GdiFlush();
    const auto row = static_cast<std::size_t>(height_ - 1 - y);
    return bits_[row * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
}

std::unique_ptr<platform::MemorySurface> GdiplusSurfaceFactory::createMemorySurface() {
    const WindowDc windowDc = win32::windowDc(bandWindow_);
    MemoryDc dc(CreateCompatibleDC(windowDc.get()));
    if (!dc) {
        return nullptr;
    }
    return std::make_unique<GdiplusMemorySurface>(std::move(dc));
}

}  // namespace tavisto::win32
