#include "platform/linux/cairo_surface.h"

#include <cairo-ft.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_conversion.h"

namespace tavisto::platform {
namespace {

// Cairo keeps coordinates in 24.8 fixed point, so values beyond about ±8 million
// pixels wrap around. Nothing that far out can reach the band's pixels.
constexpr double kCoordinateLimit = 4194304.0;

bool withinRange(double value) {
    return std::isfinite(value) && std::fabs(value) <= kCoordinateLimit;
}

bool boxWithinRange(double x, double y, double width, double height) {
    return withinRange(x) && withinRange(y) && withinRange(x + width) && withinRange(y + height);
}

void setColor(cairo_t* context, Argb color) {
    const auto channel = [color](int shift) {
        return static_cast<double>((color >> shift) & 0xFFU) / 255.0;
    };
    cairo_set_source_rgba(context, channel(16), channel(8), channel(0), channel(24));
}

// Holds its own reference to the face, so it outlives the surface's cache entry.
class CairoFont final : public Font {
  public:
    CairoFont(cairo_font_face_t* fontFace, float size)
        : face(cairo_font_face_reference(fontFace)), pixels(size) {}
    CairoFontFaceOwner face;
    float pixels;
};

using ResolvedFonts = FontCache<CairoFontFaceOwner>;

// Resolves the family through fontconfig with the generic sans-serif family as the
// weaker alternative, so a family that is not installed falls back to it ("Arial"
// resolves to its metric-compatible substitute by fontconfig's own aliases).
CairoFontFaceOwner findFontFace(std::u16string_view family) {
    FontPatternOwner pattern(FcPatternCreate());
    if (!pattern) {
        return nullptr;
    }
    std::string familyName;
    try {
        familyName = utf16ToUtf8(family);
    } catch (const std::range_error&) {
        // A name that is not valid text names no font; the fallback still applies.
    }
    if (!familyName.empty()) {
        FcPatternAddString(pattern.get(), FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(familyName.c_str()));
    }
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) {
        return nullptr;
    }
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const FontPatternOwner match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) {
        return nullptr;
    }
    CairoFontFaceOwner face(cairo_ft_font_face_create_for_pattern(match.get()));
    if (cairo_font_face_status(face.get()) != CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    return face;
}

// None for text with an unpaired surrogate, which names no characters to draw.
std::optional<std::string> utf8Of(std::u16string_view text) {
    try {
        return utf16ToUtf8(text);
    } catch (const std::range_error&) {
        return std::nullopt;
    }
}

double textWidth(cairo_t* context, const std::string& text) {
    cairo_text_extents_t extents{};
    cairo_text_extents(context, text.c_str(), &extents);
    return extents.x_advance;
}

// The width measureString reports; drawLine compares the same figure, so that a text
// measured to fit is drawn whole.
float lineWidth(cairo_t* context, const std::string& text) {
    return static_cast<float>(textWidth(context, text));
}

// Length of the UTF-8 sequence that starts at `index`.
std::size_t codePointLength(const std::string& text, std::size_t index) {
    std::size_t end = index + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
        ++end;
    }
    return end - index;
}

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // "…"

// The longest start of the line that, followed by "…", fits the width, with the "…".
// Cut between characters, so never inside a surrogate pair of the UTF-16 text; just
// "…" when not even one character leaves room for it.
std::string cutToFit(cairo_t* context, const std::string& line, float width) {
    std::vector<std::size_t> characterEnds{0};
    for (std::size_t end = 0; end < line.size();) {
        end += codePointLength(line, end);
        characterEnds.push_back(end);
    }
    const auto cut = [&](std::size_t characters) {
        return line.substr(0, characterEnds[characters]).append(kEllipsis);
    };
    // The whole line does not fit: keep fewer characters than it has.
    std::size_t kept = 0;
    std::size_t tooMany = characterEnds.size() - 1;
    while (tooMany - kept > 1) {
        const std::size_t middle = kept + (tooMany - kept) / 2;
        if (lineWidth(context, cut(middle)) <= width) {
            kept = middle;
        } else {
            tooMany = middle;
        }
    }
    return cut(kept);
}

// Greedy word wrapping at spaces; a word wider than the line is broken between
// characters, and every line holds at least one character.
std::vector<std::string> wrapLines(cairo_t* context, const std::string& text, double width) {
    std::vector<std::string> lines;
    std::string current;
    const auto addWord = [&](const std::string& word) {
        const std::string joined = current.empty() ? word : current + " " + word;
        if (textWidth(context, joined) <= width) {
            current = joined;
            return;
        }
        if (!current.empty()) {
            lines.push_back(current);
            current.clear();
        }
        for (std::size_t index = 0; index < word.size();) {
            const std::size_t length = codePointLength(word, index);
            const std::string longer = current + word.substr(index, length);
            if (!current.empty() && textWidth(context, longer) > width) {
                lines.push_back(current);
                current.clear();
                continue;
            }
            current = longer;
            index += length;
        }
    };
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
        std::size_t wordStart = lineStart;
        while (wordStart < lineEnd) {
            const std::size_t wordEnd = std::min(text.find(' ', wordStart), lineEnd);
            if (wordEnd > wordStart) {
                addWord(text.substr(wordStart, wordEnd - wordStart));
            }
            wordStart = wordEnd + 1;
        }
        if (!current.empty()) {
            lines.push_back(current);
            current.clear();
        }
        lineStart = lineEnd + 1;
    }
    return lines;
}

double alignedOffset(TextAlignment alignment, double room, double extent) {
    switch (alignment) {
        case TextAlignment::Near:
            return 0.0;
        case TextAlignment::Center:
            return (room - extent) * 0.5;
        case TextAlignment::Far:
            return room - extent;
    }
    return 0.0;
}

class CairoCanvas final : public Canvas {
  public:
    CairoCanvas(CairoContextOwner owned, ResolvedFonts& fonts)
        : context(std::move(owned)), resolvedFonts(fonts) {}

    void clearToTransparent(const InclusiveRect& area) override {
        const double width = static_cast<double>(area.right) - area.left + 1.0;
        const double height = static_cast<double>(area.bottom) - area.top + 1.0;
        if (width <= 0.0 || height <= 0.0 || !boxWithinRange(area.left, area.top, width, height)) {
            return;
        }
        cairo_save(context.get());
        cairo_set_operator(context.get(), CAIRO_OPERATOR_CLEAR);
        cairo_rectangle(context.get(), area.left, area.top, width, height);
        cairo_fill(context.get());
        cairo_restore(context.get());
    }

    // Moves the bytes of the image directly: Cairo does not define drawing a surface
    // onto itself where source and destination overlap.
    void scrollArea(const Rect& area, int dx, int dy) override {
        cairo_surface_t* target = cairo_get_target(context.get());
        if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) {
            return;
        }
        const std::int64_t left = std::max<std::int64_t>(area.left, 0);
        const std::int64_t top = std::max<std::int64_t>(area.top, 0);
        const std::int64_t right =
            std::min<std::int64_t>(area.right, cairo_image_surface_get_width(target));
        const std::int64_t bottom =
            std::min<std::int64_t>(area.bottom, cairo_image_surface_get_height(target));
        if (left >= right || top >= bottom) {
            return;
        }
        cairo_surface_flush(target);
        unsigned char* data = cairo_image_surface_get_data(target);
        const std::int64_t stride = cairo_image_surface_get_stride(target);
        const std::int64_t width = right - left;
        const auto pixelAt = [&](std::int64_t x, std::int64_t y) {
            return reinterpret_cast<std::uint32_t*>(data + y * stride) + x;
        };
        // Rows in the order that never reads a row already overwritten.
        const std::int64_t height = bottom - top;
        for (std::int64_t step = 0; step < height; ++step) {
            const std::int64_t y = dy > 0 ? bottom - 1 - step : top + step;
            const std::int64_t sourceY = y - dy;
            std::uint32_t* row = pixelAt(left, y);
            if (sourceY < top || sourceY >= bottom || dx <= -width || dx >= width) {
                std::fill(row, row + width, 0U);
                continue;
            }
            const std::int64_t shift = dx;
            const std::int64_t kept = width - (shift < 0 ? -shift : shift);
            const std::uint32_t* source = pixelAt(left, sourceY);
            if (shift >= 0) {
                std::memmove(row + shift, source, static_cast<std::size_t>(kept) * 4);
                std::fill(row, row + shift, 0U);
            } else {
                std::memmove(row, source - shift, static_cast<std::size_t>(kept) * 4);
                std::fill(row + kept, row + width, 0U);
            }
        }
        cairo_surface_mark_dirty_rectangle(target, static_cast<int>(left), static_cast<int>(top),
                                           static_cast<int>(width), static_cast<int>(height));
    }

    void setQuality(RenderQuality quality) override {
        // Older Windows leaves shapes unsmoothed in the text settings.
        cairo_set_antialias(context.get(), quality == RenderQuality::TextLegacy ||
                                                   quality == RenderQuality::PixelExact
                                               ? CAIRO_ANTIALIAS_NONE
                                               : CAIRO_ANTIALIAS_GOOD);
        if (quality == RenderQuality::TextModern || quality == RenderQuality::TextLegacy) {
            cairo_font_options_t* options = cairo_font_options_create();
            cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
            cairo_set_font_options(context.get(), options);
            cairo_font_options_destroy(options);
        }
    }

    // Rectangles fill whole pixels: the area runs from x to x + width.
    void fillRectangle(Argb color, int x, int y, int width, int height) override {
        if (width <= 0 || height <= 0 || !boxWithinRange(x, y, width, height)) {
            return;
        }
        setColor(context.get(), color);
        cairo_rectangle(context.get(), x, y, width, height);
        cairo_fill(context.get());
    }

    // Outlines and circles are drawn through pixel centres, so a one-pixel line covers
    // the pixels at x and at x + width, as on Windows.
    void outlineRectangle(Argb color, int x, int y, int width, int height) override {
        if (width < 0 || height < 0 || !boxWithinRange(x, y, width, height)) {
            return;
        }
        setColor(context.get(), color);
        cairo_set_line_width(context.get(), 1.0);
        cairo_rectangle(context.get(), x + 0.5, y + 0.5, width, height);
        cairo_stroke(context.get());
    }

    void fillPie(Argb color, int x, int y, int width, int height, float startAngle,
                 float sweepAngle) override {
        if (width <= 0 || height <= 0 || sweepAngle == 0.0F || !std::isfinite(startAngle) ||
            !std::isfinite(sweepAngle) || !boxWithinRange(x, y, width, height)) {
            return;
        }
        // A sector never covers more than the whole ellipse.
        const double sweep = std::clamp(static_cast<double>(sweepAngle), -360.0, 360.0);
        const double start =
            std::fmod(static_cast<double>(startAngle), 360.0) * std::numbers::pi / 180.0;
        const double end = start + sweep * std::numbers::pi / 180.0;
        setColor(context.get(), color);
        cairo_save(context.get());
        ellipseSpace(x, y, width, height);
        cairo_move_to(context.get(), 0.0, 0.0);
        if (sweep > 0.0) {
            cairo_arc(context.get(), 0.0, 0.0, 1.0, start, end);
        } else {
            cairo_arc_negative(context.get(), 0.0, 0.0, 1.0, start, end);
        }
        cairo_close_path(context.get());
        cairo_restore(context.get());
        cairo_fill(context.get());
    }

    void outlineEllipse(Argb color, int x, int y, int width, int height) override {
        if (width < 0 || height < 0 || !boxWithinRange(x, y, width, height)) {
            return;
        }
        setColor(context.get(), color);
        cairo_save(context.get());
        if (width == 0 || height == 0) {
            // A flat ellipse is a line; scaling by zero would break the transformation.
            cairo_move_to(context.get(), x + 0.5, y + 0.5);
            cairo_line_to(context.get(), x + width + 0.5, y + height + 0.5);
        } else {
            ellipseSpace(x, y, width, height);
            cairo_arc(context.get(), 0.0, 0.0, 1.0, 0.0, 2.0 * std::numbers::pi);
        }
        cairo_restore(context.get());
        cairo_set_line_width(context.get(), 1.0);
        cairo_stroke(context.get());
    }

    std::unique_ptr<Font> createFont(std::u16string_view family, float sizePixels) override {
        if (!(sizePixels > 0.0F) || !std::isfinite(sizePixels)) {
            return nullptr;
        }
        cairo_font_face_t* const face = resolvedFace(family, sizePixels);
        if (face == nullptr) {
            return nullptr;
        }
        return std::make_unique<CairoFont>(face, sizePixels);
    }

    void drawString(std::u16string_view text, const Font& font, Argb color, const RectF& layout,
                    TextAlignment alignment, TextAlignment lineAlignment) override {
        const std::optional<std::string> utf8 = beginText(text, font, color, layout);
        if (!utf8) {
            return;
        }
        cairo_t* cr = context.get();
        cairo_font_extents_t fontExtents{};
        cairo_font_extents(cr, &fontExtents);
        const std::vector<std::string> lines = wrapLines(cr, *utf8, layout.width);
        const double blockHeight = fontExtents.height * static_cast<double>(lines.size());
        double lineTop = layout.y + alignedOffset(lineAlignment, layout.height, blockHeight);
        for (const std::string& line : lines) {
            const double x = layout.x + alignedOffset(alignment, layout.width, textWidth(cr, line));
            cairo_move_to(cr, x, lineTop + fontExtents.ascent);
            cairo_show_text(cr, line.c_str());
            lineTop += fontExtents.height;
        }
        cairo_restore(cr);
    }

    float measureString(std::u16string_view text, const Font& font) override {
        const std::optional<std::string> utf8 = utf8Of(text);
        if (!utf8) {
            return 0.0F;
        }
        cairo_save(context.get());
        useFont(font);
        const float width = lineWidth(context.get(), *utf8);
        cairo_restore(context.get());
        return width;
    }

    void drawLine(std::u16string_view text, const Font& font, Argb color, const RectF& layout,
                  TextAlignment alignment) override {
        const std::optional<std::string> utf8 = beginText(text, font, color, layout);
        if (!utf8) {
            return;
        }
        cairo_t* cr = context.get();
        const std::string line =
            lineWidth(cr, *utf8) <= layout.width ? *utf8 : cutToFit(cr, *utf8, layout.width);
        cairo_font_extents_t fontExtents{};
        cairo_font_extents(cr, &fontExtents);
        const double x = layout.x + alignedOffset(alignment, layout.width, textWidth(cr, line));
        const double top =
            layout.y + alignedOffset(TextAlignment::Center, layout.height, fontExtents.height);
        cairo_move_to(cr, x, top + fontExtents.ascent);
        cairo_show_text(cr, line.c_str());
        cairo_restore(cr);
    }

  private:
    // The text in UTF-8, with the context saved, clipped to the layout and set to the font
    // and colour for drawing it; none, with the context as it was, when there is nothing
    // to draw. The caller restores the context.
    std::optional<std::string> beginText(std::u16string_view text, const Font& font, Argb color,
                                         const RectF& layout) {
        if (text.empty() || !(layout.width > 0.0F) || !(layout.height > 0.0F) ||
            !boxWithinRange(layout.x, layout.y, layout.width, layout.height)) {
            return std::nullopt;
        }
        std::optional<std::string> utf8 = utf8Of(text);
        if (!utf8) {
            return std::nullopt;
        }
        cairo_t* cr = context.get();
        cairo_save(cr);
        cairo_rectangle(cr, layout.x, layout.y, layout.width, layout.height);
        cairo_clip(cr);
        useFont(font);
        setColor(cr, color);
        return utf8;
    }

    void useFont(const Font& font) {
        const auto& cairoFont = static_cast<const CairoFont&>(font);
        cairo_set_font_face(context.get(), cairoFont.face.get());
        cairo_set_font_size(context.get(), cairoFont.pixels);
    }

    cairo_font_face_t* resolvedFace(std::u16string_view family, float sizePixels) {
        const CairoFontFaceOwner* face =
            resolvedFonts.find(family, sizePixels, [&] { return findFontFace(family); });
        return face != nullptr ? face->get() : nullptr;
    }

    // Unit circle coordinates for the ellipse in the box, centred through pixel centres.
    void ellipseSpace(int x, int y, int width, int height) {
        cairo_translate(context.get(), x + width * 0.5 + 0.5, y + height * 0.5 + 0.5);
        cairo_scale(context.get(), width * 0.5, height * 0.5);
    }

    CairoContextOwner context;
    ResolvedFonts& resolvedFonts;
};

}  // namespace

bool CairoSurface::replaceBackBuffer(int width, int height) {
    // Every rebuild of the frame, even one that keeps the old buffer, lets go of the
    // fonts that were not drawn with since the last one.
    resolvedFonts.dropUnused();
    if (width <= 0 || height <= 0) {
        return false;
    }
    // A new image surface starts fully transparent.
    CairoSurfaceOwner created(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(created.get()) != CAIRO_STATUS_SUCCESS) {
        return false;
    }
    backBuffer = std::move(created);
    return true;
}

std::unique_ptr<Canvas> CairoSurface::beginDrawing() {
    if (!backBuffer) {
        return nullptr;
    }
    CairoContextOwner context(cairo_create(backBuffer.get()));
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<CairoCanvas>(std::move(context), resolvedFonts);
}

int CairoSurface::width() const {
    return backBuffer ? cairo_image_surface_get_width(backBuffer.get()) : 0;
}

int CairoSurface::height() const {
    return backBuffer ? cairo_image_surface_get_height(backBuffer.get()) : 0;
}

Argb CairoSurface::pixel(int x, int y) const {
    if (!backBuffer || x < 0 || y < 0 || x >= width() || y >= height()) {
        return 0;
    }
    cairo_surface_flush(backBuffer.get());
    const unsigned char* row =
        cairo_image_surface_get_data(backBuffer.get()) +
        static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(backBuffer.get());
    // ARGB32 stores each pixel as one native-endian 32-bit word.
    return reinterpret_cast<const std::uint32_t*>(row)[x];
}

CairoSurfaceOwner CairoSurface::composite(Argb background) const {
    if (!backBuffer) {
        return nullptr;
    }
    CairoSurfaceOwner image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width(), height()));
    CairoContextOwner context(cairo_create(image.get()));
    setColor(context.get(), background | 0xFF000000U);
    cairo_paint(context.get());
    cairo_set_source_surface(context.get(), backBuffer.get(), 0.0, 0.0);
    cairo_paint(context.get());
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    context.reset();
    cairo_surface_flush(image.get());
    return image;
}

bool CairoSurface::writePng(const std::string& path, Argb background) const {
    const CairoSurfaceOwner image = composite(background);
    return image && cairo_surface_write_to_png(image.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::unique_ptr<MemorySurface> CairoSurfaceFactory::createMemorySurface() {
    return std::make_unique<CairoSurface>();
}

}  // namespace tavisto::platform
