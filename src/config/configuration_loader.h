#pragma once
// Turns a parsed configuration document into the meter model. Loading asks the system
// nothing and creates no system objects.

#include <string_view>

#include <nlohmann/json.hpp>

#include "config/meter_model.h"

namespace tavisto {

// Told which value the loader is about to read, so that a failure can be placed in the
// document: the failing value is the last one reported.
class LoadTrace {
  public:
    virtual ~LoadTrace() = default;
    // A member looked up by key, present or not.
    virtual void readingMember(const nlohmann::json& owner, std::string_view key) = 0;
    // A value used as a whole: a group or document indexed, a counter list walked.
    virtual void readingValue(const nlohmann::json& value) = 0;
};

struct LoadContext {
    LoadTrace* trace = nullptr;
};

// Fills an empty model from the document. Errors are raised as exceptions carrying the
// JSON library's messages or "bad conversion", "invalid stod argument" and
// "stod argument out of range". On an error the model keeps what was built so far:
// completed groups and every meter created before the failure.
// The document is taken as the panel keeps it: a null group becomes an empty object.
void loadModel(nlohmann::json& document, const LoadContext& context, PanelModel& model);

// Parses one element of a meter's "counters".
MeterCounter parseCounter(const nlohmann::json& element);

struct Trigger {
    TriggerOperator op = TriggerOperator::None;
    double threshold = 0.0;
};

// Splits a trigger text into its operator and threshold: the first run of non-space
// characters that a space follows, and the number after that space up to a line break.
// A text without such a run compares with ">" against 0; the empty text has no trigger.
Trigger splitTrigger(const std::u16string& text);

}  // namespace tavisto
