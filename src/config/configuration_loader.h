#pragma once
// Turns a parsed configuration document into the meter model.

#include <nlohmann/json.hpp>

#include "config/meter_model.h"
#include "platform/platform.h"

namespace tavisto {

struct LoadContext {
    double dpiScale = 1.0;
    platform::SystemVersion& systemVersion;
    platform::Tooltips& tooltips;
};

// Fills an empty model from the document. Errors are raised as exceptions carrying the
// JSON library's messages or "bad conversion", "invalid stod argument" and
// "stod argument out of range". On an error the model keeps what was built so far:
// completed groups (with their tooltips) and every meter created before the failure.
// The document is taken as the panel keeps it: a null group becomes an empty object.
void loadModel(nlohmann::json& document, const LoadContext& context, PanelModel& model);

// Parses one element of a meter's "counters".
MeterCounter parseCounter(const nlohmann::json& element, double dpiScale);

struct Trigger {
    std::u16string op;
    double threshold = 0.0;
};

// Splits a trigger text into its operator and threshold.
Trigger splitTrigger(const std::u16string& text);

// A configured pixel value: the number made a signed 32-bit whole number (toward zero,
// saturating), scaled by dpiScale and rounded half away from zero (saturating).
std::int32_t scalePixels(std::int32_t pixels, double dpiScale);

}  // namespace tavisto
