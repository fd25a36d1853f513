#include "support/recording_surface.h"

#include <ostream>

#include "core/text_conversion.h"

namespace tavisto::testing {
namespace {

class RecordedFont final : public platform::Font {
  public:
    RecordedFont(std::u16string familyName, float size)
        : family(std::move(familyName)), sizePixels(size) {}
    std::u16string family;
    float sizePixels;
};

class RecordingCanvas final : public platform::Canvas {
  public:
    explicit RecordingCanvas(RecordingSurface& owner) : surface(owner) {
        surface.log.emplace_back(BeginDrawing{});
    }
    ~RecordingCanvas() override { surface.log.emplace_back(EndDrawing{}); }
    RecordingCanvas(const RecordingCanvas&) = delete;
    RecordingCanvas& operator=(const RecordingCanvas&) = delete;

    void clearToTransparent(const InclusiveRect& area) override {
        surface.log.emplace_back(ClearToTransparent{area});
    }
    void scrollArea(const Rect& area, int dx, int dy) override {
        surface.log.emplace_back(ScrollArea{area, dx, dy});
    }
    void setQuality(platform::RenderQuality quality) override {
        surface.log.emplace_back(SetQuality{quality});
    }
    void fillRectangle(Argb color, int x, int y, int width, int height) override {
        surface.log.emplace_back(FillRectangle{color, x, y, width, height});
    }
    void outlineRectangle(Argb color, int x, int y, int width, int height) override {
        surface.log.emplace_back(OutlineRectangle{color, x, y, width, height});
    }
    void fillPie(Argb color, int x, int y, int width, int height, float startAngle,
                 float sweepAngle) override {
        surface.log.emplace_back(FillPie{color, x, y, width, height, startAngle, sweepAngle});
    }
    void outlineEllipse(Argb color, int x, int y, int width, int height) override {
        surface.log.emplace_back(OutlineEllipse{color, x, y, width, height});
    }
    std::unique_ptr<platform::Font> createFont(std::u16string_view family,
                                               float sizePixels) override {
        surface.log.emplace_back(CreateFont{std::u16string(family), sizePixels});
        if (!surface.fontsAvailable) {
            return nullptr;
        }
        return std::make_unique<RecordedFont>(std::u16string(family), sizePixels);
    }
    void drawString(std::u16string_view text, const platform::Font& font, Argb color,
                    const RectF& layout, platform::TextAlignment alignment,
                    platform::TextAlignment lineAlignment) override {
        const auto& recordedFont = dynamic_cast<const RecordedFont&>(font);
        surface.log.emplace_back(DrawString{std::u16string(text), recordedFont.family,
                                            recordedFont.sizePixels, color, layout, alignment,
                                            lineAlignment});
    }
    float measureString(std::u16string_view text, const platform::Font& font) override {
        const auto& recordedFont = dynamic_cast<const RecordedFont&>(font);
        return static_cast<float>(text.size()) * recordedFont.sizePixels * 0.5F;
    }
    void drawLine(std::u16string_view text, const platform::Font& font, Argb color,
                  const RectF& layout, platform::TextAlignment alignment) override {
        const auto& recordedFont = dynamic_cast<const RecordedFont&>(font);
        surface.log.emplace_back(DrawLine{std::u16string(text), recordedFont.family,
                                          recordedFont.sizePixels, color, layout, alignment});
    }

  private:
    RecordingSurface& surface;
};

const char* qualityName(platform::RenderQuality quality) {
    switch (quality) {
        case platform::RenderQuality::Shapes:
            return "Shapes";
        case platform::RenderQuality::TextModern:
            return "TextModern";
        case platform::RenderQuality::TextLegacy:
            return "TextLegacy";
        case platform::RenderQuality::PixelExact:
            return "PixelExact";
    }
    return "?";
}

const char* alignmentName(platform::TextAlignment alignment) {
    switch (alignment) {
        case platform::TextAlignment::Near:
            return "Near";
        case platform::TextAlignment::Center:
            return "Center";
        case platform::TextAlignment::Far:
            return "Far";
    }
    return "?";
}

std::ostream& box(std::ostream& out, Argb color, int x, int y, int width, int height) {
    return out << "color=0x" << std::hex << color << std::dec << " x=" << x << " y=" << y
               << " w=" << width << " h=" << height;
}

struct Printer {
    std::ostream& out;
    void operator()(const BeginDrawing&) const { out << "BeginDrawing"; }
    void operator()(const EndDrawing&) const { out << "EndDrawing"; }
    void operator()(const ClearToTransparent& r) const {
        out << "ClearToTransparent{" << r.area.left << ',' << r.area.top << ',' << r.area.right
            << ',' << r.area.bottom << '}';
    }
    void operator()(const ScrollArea& r) const {
        out << "ScrollArea{" << r.area.left << ',' << r.area.top << ',' << r.area.right << ','
            << r.area.bottom << " by " << r.dx << ',' << r.dy << '}';
    }
    void operator()(const SetQuality& r) const {
        out << "SetQuality{" << qualityName(r.quality) << '}';
    }
    void operator()(const FillRectangle& r) const {
        box(out << "FillRectangle{", r.color, r.x, r.y, r.width, r.height) << '}';
    }
    void operator()(const OutlineRectangle& r) const {
        box(out << "OutlineRectangle{", r.color, r.x, r.y, r.width, r.height) << '}';
    }
    void operator()(const FillPie& r) const {
        box(out << "FillPie{", r.color, r.x, r.y, r.width, r.height)
            << " start=" << r.startAngle << " sweep=" << r.sweepAngle << '}';
    }
    void operator()(const OutlineEllipse& r) const {
        box(out << "OutlineEllipse{", r.color, r.x, r.y, r.width, r.height) << '}';
    }
    void operator()(const CreateFont& r) const {
        out << "CreateFont{" << utf16ToUtf8(r.family) << ' ' << r.sizePixels << '}';
    }
    void operator()(const DrawString& r) const {
        out << "DrawString{\"" << utf16ToUtf8(r.text) << "\" " << utf16ToUtf8(r.fontFamily) << ' '
            << r.fontSize << " color=0x" << std::hex << r.color << std::dec << " layout=("
            << r.layout.x << ',' << r.layout.y << ',' << r.layout.width << ',' << r.layout.height
            << ") " << alignmentName(r.alignment) << '/' << alignmentName(r.lineAlignment) << '}';
    }
    void operator()(const DrawLine& r) const {
        out << "DrawLine{\"" << utf16ToUtf8(r.text) << "\" " << utf16ToUtf8(r.fontFamily) << ' '
            << r.fontSize << " color=0x" << std::hex << r.color << std::dec << " layout=("
            << r.layout.x << ',' << r.layout.y << ',' << r.layout.width << ',' << r.layout.height
            << ") " << alignmentName(r.alignment) << '}';
    }
};

}  // namespace

void PrintTo(const Primitive& primitive, std::ostream* out) {
    std::visit(Printer{*out}, primitive);
}

std::ostream& operator<<(std::ostream& out, const Primitive& primitive) {
    PrintTo(primitive, &out);
    return out;
}

bool RecordingSurface::replaceBackBuffer(int width, int height) {
    backBufferRequests.emplace_back(width, height);
    if (width <= 0 || height <= 0) {
        return false;
    }
    backBufferWidth = width;
    backBufferHeight = height;
    return true;
}

std::unique_ptr<platform::Canvas> RecordingSurface::beginDrawing() {
    return std::make_unique<RecordingCanvas>(*this);
}

std::unique_ptr<platform::MemorySurface> RecordingSurfaceFactory::createMemorySurface() {
    auto surface = std::make_unique<RecordingSurface>();
    last = surface.get();
    ++created;
    return surface;
}

}  // namespace tavisto::testing
