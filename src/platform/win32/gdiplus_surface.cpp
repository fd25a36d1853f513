#include "platform/win32/gdiplus_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/dib_section.h"
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

using ResolvedFonts = GdiplusMemorySurface::ResolvedFonts;

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

// The back buffer's pixels as the canvas writes them directly: top-down rows of
// premultiplied ARGB.
struct PixelRows {
    std::uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;

    std::uint32_t* at(std::int64_t x, std::int64_t y) const { return bits + y * width + x; }
};

// The part of [left, right) × [top, bottom) inside the buffer, in 64 bits: an area may
// span the whole coordinate range.
struct Clipped {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

Clipped clippedTo(const PixelRows& rows, std::int64_t left, std::int64_t top, std::int64_t right,
                  std::int64_t bottom) {
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, 0);
    right = std::min<std::int64_t>(right, rows.width);
    bottom = std::min<std::int64_t>(bottom, rows.height);
    return {left, top, std::max<std::int64_t>(right - left, 0),
            std::max<std::int64_t>(bottom - top, 0)};
}

// One drawing session: a GDI+ graphics object on the back buffer's bitmap. The
// brushes, pens and string formats of each call are created for it and deleted after
// it. Clearing and scrolling write the pixels directly, after GDI+ has finished what
// it was given.
class GdiplusCanvas final : public platform::Canvas {
  public:
    GdiplusCanvas(GdiplusGraphics graphics, PixelRows rows, ResolvedFonts& fonts)
        : graphics_(std::move(graphics)), rows_(rows), resolvedFonts_(fonts) {}

    void clearToTransparent(const InclusiveRect& area) override {
        clear(clippedTo(rows_, area.left, area.top, std::int64_t{area.right} + 1,
                        std::int64_t{area.bottom} + 1));
    }

    void scrollArea(const Rect& area, int dx, int dy) override {
        const Clipped inside = clippedTo(rows_, area.left, area.top, area.right, area.bottom);
        const std::int64_t moveX = dx;
        const std::int64_t moveY = dy;
        const std::int64_t columns = inside.width - std::abs(moveX);
        const std::int64_t rowsKept = inside.height - std::abs(moveY);
        if (columns <= 0 || rowsKept <= 0) {
            clear(inside);
            return;
        }
        flush();
        // Source: the part of the area that stays inside it. Rows are copied in the
        // order that reads each one before it is overwritten.
        const std::int64_t sourceLeft = inside.left + std::max<std::int64_t>(-moveX, 0);
        const std::int64_t sourceTop = inside.top + std::max<std::int64_t>(-moveY, 0);
        for (std::int64_t i = 0; i < rowsKept; ++i) {
            const std::int64_t row = moveY > 0 ? rowsKept - 1 - i : i;
            std::memmove(rows_.at(sourceLeft + moveX, sourceTop + row + moveY),
                         rows_.at(sourceLeft, sourceTop + row),
                         static_cast<std::size_t>(columns) * sizeof(std::uint32_t));
        }
        // The strips left behind.
        if (moveX != 0) {
            clear({moveX > 0 ? inside.left : inside.left + inside.width + moveX, inside.top,
                   std::abs(moveX), inside.height});
        }
        if (moveY != 0) {
            clear({inside.left, moveY > 0 ? inside.top : inside.top + inside.height + moveY,
                   inside.width, std::abs(moveY)});
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
        const auto* kept = resolvedFonts_.find(family, sizePixels, [&] {
            GdiplusFont font = createFontOf(family, sizePixels);
            return font ? std::make_shared<const GdiplusFont>(std::move(font)) : nullptr;
        });
        return kept != nullptr ? std::make_unique<GdiplusFontObject>(*kept) : nullptr;
    }

    void drawString(std::u16string_view text, const platform::Font& font, Argb color,
                    const RectF& layout, platform::TextAlignment alignment,
                    platform::TextAlignment lineAlignment) override {
        const GdiplusStringFormat format = stringFormat(0, alignment, lineAlignment);
        if (format) {
            drawFormatted(text, font, color, layout, format);
        }
    }

    float measureString(std::u16string_view text, const platform::Font& font) override {
        const GdiplusStringFormat format =
            stringFormat(Gdiplus::StringFormatFlagsNoWrap, platform::TextAlignment::Near,
                         platform::TextAlignment::Near);
        if (text.empty() || !format) {
            return 0.0F;
        }
        // An empty layout rectangle sets no bounds.
        const Gdiplus::RectF unbounded;
        Gdiplus::RectF bounds;
        const Gdiplus::GpStatus status = gdip::GdipMeasureString(
            graphics(), wideText(text), static_cast<INT>(text.size()), gdiplusFont(font),
            &unbounded, format.get(), &bounds, nullptr, nullptr);
        // Rounded up to whole pixels: in a layout only a fraction of a pixel wider than the
        // text, GDI+ leaves out the last character.
        return status == Gdiplus::Ok ? std::ceil(bounds.Width) : 0.0F;
    }

    void drawLine(std::u16string_view text, const platform::Font& font, Argb color,
                  const RectF& layout, platform::TextAlignment alignment) override {
        // GDI+ would take a rectangle without width or height as no bounds at all.
        if (!(layout.width > 0.0F) || !(layout.height > 0.0F)) {
            return;
        }
        const GdiplusStringFormat format = stringFormat(Gdiplus::StringFormatFlagsNoWrap, alignment,
                                                        platform::TextAlignment::Center);
        if (format && gdip::GdipSetStringFormatTrimming(
                          format.get(), Gdiplus::StringTrimmingEllipsisCharacter) == Gdiplus::Ok) {
            drawFormatted(text, font, color, layout, format);
        }
    }

  private:
    Gdiplus::GpGraphics* graphics() const { return graphics_.get(); }

    // UTF-16 code units are wchar_t on Windows; the length is always given, so no
    // terminator is needed.
    static const WCHAR* wideText(std::u16string_view text) {
        return reinterpret_cast<const WCHAR*>(text.data());
    }

    static Gdiplus::GpFont* gdiplusFont(const platform::Font& font) {
        return static_cast<const GdiplusFontObject&>(font).get();
    }

    static GdiplusStringFormat stringFormat(INT flags, platform::TextAlignment alignment,
                                            platform::TextAlignment lineAlignment) {
        auto format = created<GdiplusStringFormat>([&](Gdiplus::GpStringFormat** made) {
            return gdip::GdipCreateStringFormat(flags, LANG_NEUTRAL, made);
        });
        if (format) {
            gdip::GdipSetStringFormatAlign(format.get(),
                                           static_cast<Gdiplus::StringAlignment>(alignment));
            gdip::GdipSetStringFormatLineAlign(
                format.get(), static_cast<Gdiplus::StringAlignment>(lineAlignment));
        }
        return format;
    }

    void drawFormatted(std::u16string_view text, const platform::Font& font, Argb color,
                       const RectF& layout, const GdiplusStringFormat& format) {
        const GdiplusSolidBrush brush = solidBrush(color);
        if (!brush) {
            return;
        }
        const Gdiplus::RectF rect(layout.x, layout.y, layout.width, layout.height);
        gdip::GdipDrawString(graphics(), wideText(text), static_cast<INT>(text.size()),
                             gdiplusFont(font), &rect, format.get(), brush.get());
    }

    void flush() { gdip::GdipFlush(graphics(), Gdiplus::FlushIntentionSync); }

    void clear(const Clipped& area) {
        if (area.width <= 0 || area.height <= 0) {
            return;
        }
        flush();
        for (std::int64_t row = area.top; row < area.top + area.height; ++row) {
            std::fill_n(rows_.at(area.left, row), area.width, 0U);
        }
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
    PixelRows rows_;
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
    resolvedFonts_.dropUnused();
    if (width <= 0 || height <= 0) {
        return false;
    }
    DibSection section = createTopDownDib(dc_.get(), width, height);
    if (!section) {
        return false;
    }
    // A new section starts all zero: transparent in premultiplied ARGB.
    auto pixels = created<GdiplusBitmap>([&](Gdiplus::GpBitmap** made) {
        return gdip::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppPARGB,
                                               reinterpret_cast<BYTE*>(section.pixels), made);
    });
    if (!pixels) {
        return false;
    }
    const HGDIOBJ replaced = SelectObject(dc_.get(), section.bitmap.get());
    if (replaced == nullptr) {
        return false;
    }
    if (originalBitmap_ == nullptr) {
        originalBitmap_ = replaced;
    }
    // The previous bitmap lets go of the previous section's pixels before the section,
    // no longer selected, is deleted.
    pixels_ = std::move(pixels);
    backBuffer_ = std::move(section.bitmap);
    bits_ = section.pixels;
    width_ = width;
    height_ = height;
    return true;
}

std::unique_ptr<platform::Canvas> GdiplusMemorySurface::beginDrawing() {
    if (!backBuffer_) {
        return nullptr;
    }
    auto graphics = created<GdiplusGraphics>([&](Gdiplus::GpGraphics** made) {
        return gdip::GdipGetImageGraphicsContext(pixels_.get(), made);
    });
    if (!graphics) {
        return nullptr;
    }
    return std::make_unique<GdiplusCanvas>(std::move(graphics), PixelRows{bits_, width_, height_},
                                           resolvedFonts_);
}

std::uint32_t GdiplusMemorySurface::pixel(int x, int y) const {
    const std::span<const std::uint32_t> pixels = row(y);
    if (x < 0 || static_cast<std::size_t>(x) >= pixels.size()) {
        return 0;
    }
    GdiFlush();
    return pixels[static_cast<std::size_t>(x)];
}

std::span<const std::uint32_t> GdiplusMemorySurface::row(int y) const {
    if (bits_ == nullptr || y < 0 || y >= height_) {
        return {};
    }
    return {bits_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_),
            static_cast<std::size_t>(width_)};
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
