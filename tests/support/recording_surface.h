#pragma once
// A memory surface that draws nothing and records every primitive with its exact
// arguments, so that tests can check the geometry and text of the meters. Measuring is
// not recorded: a text measures text.size() * sizePixels * 0.5F, half the font's size
// per UTF-16 code unit, so that tests can tell what fits.

#include <iosfwd>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/drawing.h"

namespace tavisto::testing {

// One record per call. BeginDrawing and EndDrawing mark the life of a canvas.
struct BeginDrawing {
    bool operator==(const BeginDrawing&) const = default;
};
struct EndDrawing {
    bool operator==(const EndDrawing&) const = default;
};
struct ClearToTransparent {
    InclusiveRect area;
    bool operator==(const ClearToTransparent&) const = default;
};
struct ScrollArea {
    Rect area;
    int dx, dy;
    bool operator==(const ScrollArea&) const = default;
};
struct SetQuality {
    platform::RenderQuality quality;
    bool operator==(const SetQuality&) const = default;
};
struct FillRectangle {
    Argb color;
    int x, y, width, height;
    bool operator==(const FillRectangle&) const = default;
};
struct OutlineRectangle {
    Argb color;
    int x, y, width, height;
    bool operator==(const OutlineRectangle&) const = default;
};
struct FillPie {
    Argb color;
    int x, y, width, height;
    float startAngle, sweepAngle;
    bool operator==(const FillPie&) const = default;
};
struct OutlineEllipse {
    Argb color;
    int x, y, width, height;
    bool operator==(const OutlineEllipse&) const = default;
};
struct CreateFont {
    std::u16string family;
    float sizePixels;
    bool operator==(const CreateFont&) const = default;
};
struct DrawString {
    std::u16string text;
    std::u16string fontFamily;
    float fontSize;
    Argb color;
    RectF layout;
    platform::TextAlignment alignment;
    platform::TextAlignment lineAlignment;
    bool operator==(const DrawString&) const = default;
};
struct DrawLine {
    std::u16string text;
    std::u16string fontFamily;
    float fontSize;
    Argb color;
    RectF layout;
    platform::TextAlignment alignment;
    bool operator==(const DrawLine&) const = default;
};

using Primitive = std::variant<BeginDrawing, EndDrawing, ClearToTransparent, ScrollArea, SetQuality,
                               FillRectangle, OutlineRectangle, FillPie, OutlineEllipse, CreateFont,
                               DrawString, DrawLine>;

template <typename Kind, typename Variant>
struct IsAlternative;
template <typename Kind, typename... Alternatives>
struct IsAlternative<Kind, std::variant<Alternatives...>>
    : std::bool_constant<(std::is_same_v<Kind, Alternatives> || ...)> {};
template <typename Kind>
concept RecordKind = IsAlternative<Kind, Primitive>::value;

void PrintTo(const Primitive& primitive, std::ostream* out);
std::ostream& operator<<(std::ostream& out, const Primitive& primitive);

// Readable failure messages for vectors of one kind of record.
template <RecordKind Kind>
void PrintTo(const Kind& record, std::ostream* out) {
    PrintTo(Primitive{record}, out);
}

class RecordingSurface final : public platform::MemorySurface {
  public:
    bool replaceBackBuffer(int width, int height) override;
    std::unique_ptr<platform::Canvas> beginDrawing() override;

    // The records of one kind, in call order.
    template <typename Kind>
    std::vector<Kind> recorded() const {
        std::vector<Kind> result;
        for (const Primitive& primitive : log) {
            if (const Kind* record = std::get_if<Kind>(&primitive)) {
                result.push_back(*record);
            }
        }
        return result;
    }

    std::vector<Primitive> log;
    // Sizes given to replaceBackBuffer, accepted or not.
    std::vector<std::pair<int, int>> backBufferRequests;
    int backBufferWidth = 0;
    int backBufferHeight = 0;
    // When false, createFont returns null, as when not even the fallback family exists.
    bool fontsAvailable = true;
};

class RecordingSurfaceFactory final : public platform::SurfaceFactory {
  public:
    std::unique_ptr<platform::MemorySurface> createMemorySurface() override;
    // The surface created last; owned by whoever asked for it.
    RecordingSurface* last = nullptr;
    int created = 0;
};

}  // namespace tavisto::testing
