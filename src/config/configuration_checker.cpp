#include "config/configuration_checker.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <deque>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <tuple>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "config/configuration_keys.h"
#include "config/configuration_loader.h"
#include "config/configuration_text.h"
#include "config/configuration_values.h"
#include "config/counter_references.h"
#include "config/hotkey.h"
#include "config/json_positions.h"
#include "config/loader_messages.h"
#include "config/meter_model.h"
#include "config/silent_counters.h"
#include "config/system_fields.h"
#include "core/failure_sink.h"
#include "core/text_conversion.h"
#include "core/texts.h"
#include "expression/expression_evaluator.h"

namespace tavisto {
namespace {

using nlohmann::json;

// Sampling faster than this costs more processor time than a taskbar gauge is worth.
constexpr std::uint64_t kCheapestUsefulRate = 100;

// Remembers the last value the loader was about to read: the one a failure concerns.
class LastRead : public LoadTrace {
  public:
    void readingMember(const json& owner, std::string_view key) override {
        owner_ = &owner;
        key_ = key;
    }
    void readingValue(const json& value) override {
        owner_ = &value;
        key_ = {};
    }
    const json* owner() const { return owner_; }
    std::string_view key() const { return key_; }

  private:
    const json* owner_ = nullptr;
    std::string_view key_;
};

// Keys, values and pointers quoted in a finding are cut to this many characters: a
// finding stays short whatever the file holds.
constexpr std::size_t kQuotedCharacters = 200;
constexpr std::size_t kMessageCharacters = 3 * kQuotedCharacters;

// The path from the document to a value found by its address in the document, as the
// steps that name it; the keys are the document's own.
struct PathSteps {
    PathSteps() { steps.emplace_back(); }

    // Paths are resolved through their parents: a deque keeps every step where it is.
    std::deque<JsonPath> steps;

    const JsonPath& last() const { return steps.back(); }
};

bool findPath(const json& value, const json* target, PathSteps& path) {
    if (&value == target) {
        return true;
    }
    if (value.is_object()) {
        for (auto member = value.begin(); member != value.end(); ++member) {
            path.steps.emplace_back(path.last(), std::string_view(member.key()));
            if (findPath(member.value(), target, path)) {
                return true;
            }
            path.steps.pop_back();
        }
    } else if (value.is_array()) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            path.steps.emplace_back(path.last(), i);
            if (findPath(value[i], target, path)) {
                return true;
            }
            path.steps.pop_back();
        }
    }
    return false;
}

std::string inQuotes(std::string_view text) {
    return '"' + cutToCharacters(text, kQuotedCharacters) + '"';
}

// A value as JSON text, cut as quoted text is.
std::string shortDump(const json& value) {
    return cutToCharacters(value.dump(), kQuotedCharacters);
}

std::string listOf(std::span<const std::string_view> values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            text += i + 1 == values.size() ? " or " : ", ";
        }
        text += inQuotes(values[i]);
    }
    return text;
}

// A number as the file would write it: whole numbers without a fraction.
std::string numberText(double value) {
    if (std::trunc(value) == value && std::abs(value) < 1e15) {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    return json(value).dump();
}

// The edit distance; past 2 it may be only a lower bound, which is all that callers
// looking for near misses need, and a long key costs no more than a short one.
std::size_t editDistance(std::string_view a, std::string_view b) {
    const std::size_t lengthDifference =
        a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    if (lengthDifference > 2) {
        return lengthDifference;
    }
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

const char* levelName(KeyLevel level) {
    switch (level) {
        case KeyLevel::Panel:
            return "top-level";
        case KeyLevel::Group:
            return "group";
        case KeyLevel::Meter:
            return "meter";
        case KeyLevel::Counter:
            return "counter";
        case KeyLevel::Taskbar:
            return "taskbar";
        case KeyLevel::Instances:
            return "instances";
        case KeyLevel::GroupBy:
            return "groupBy";
        case KeyLevel::Alert:
            return "alert";
    }
    return "";
}

// For each UTF-16 unit of a rewritten counter expression, the unit of the configured
// text it came from; a variable name maps to its reference's opening parenthesis.
std::vector<std::size_t> alignRewritten(std::u16string_view configured,
                                        std::u16string_view rewritten,
                                        const ReferenceMap& references) {
    std::vector<std::size_t> origin(rewritten.size() + 1, configured.size());
    std::size_t j = 0;
    for (std::size_t i = 0; i < rewritten.size(); ++i) {
        const char16_t c = rewritten[i];
        origin[i] = j;
        const auto reference =
            c < 0x80 ? references.find(std::string(1, static_cast<char>(c))) : references.end();
        if (reference != references.end()) {
            const std::u16string whole = u"(" + reference->second.path + u")";
            if (configured.substr(j, whole.size()) == whole) {
                j += whole.size();
                continue;
            }
        }
        if (j >= configured.size() || configured[j] != c) {
            break;  // a reference rewritten inside another: the rest maps to here
        }
        ++j;
    }
    return origin;
}

// Keeps the errors and the earliest warnings, at most kMaxFindings, and only counts
// the rest: a finding's pointer is made, and its line and column found, only when it
// is kept. The rest become one finding that counts them, placed at the first of them.
class BoundedFindings {
  public:
    explicit BoundedFindings(std::string_view text)
        : text_(text), firstOffset_(text.starts_with("\xEF\xBB\xBF") ? 3 : 0) {}

    // `message` is the message, or a function that makes it, called only for a finding
    // that is kept.
    template <typename Message>
    void add(Severity severity, std::size_t offset, const JsonPath& path, std::string code,
             Message&& message, std::string_view detail = {}) {
        // The byte-order mark takes no column: offsets inside it are the first character's.
        Candidate candidate{
            severity == Severity::Error, std::max(offset, firstOffset_), sequence_++, {}};
        if (kept_.size() == kMaxFindings) {
            // The top of the heap is the kept finding that ranks last.
            if (!ranksBefore(candidate, kept_.front())) {
                leaveOut(std::move(candidate), false, path);
                return;
            }
            std::pop_heap(kept_.begin(), kept_.end(), ranksBefore);
            leaveOut(std::move(kept_.back()), true, path);
            kept_.pop_back();
        }
        candidate.finding = Finding{severity,
                                    1,
                                    1,
                                    printableText(path.pointer(kQuotedCharacters)),
                                    std::move(code),
                                    printed(text(message)),
                                    printed(detail)};
        kept_.push_back(std::move(candidate));
        std::push_heap(kept_.begin(), kept_.end(), ranksBefore);
    }

    // The kept findings in file order, with their lines and columns, and the count of
    // the rest.
    std::vector<Finding> finish() {
        std::sort(kept_.begin(), kept_.end(), [](const Candidate& a, const Candidate& b) {
            return std::tie(a.offset, a.sequence) < std::tie(b.offset, b.sequence);
        });
        std::vector<std::size_t> offsets;
        for (const Candidate& candidate : kept_) {
            offsets.push_back(candidate.offset);
        }
        std::vector<LineColumn> places = placeOffsets(text_, offsets);
        std::vector<Finding> findings;
        for (std::size_t i = 0; i < kept_.size(); ++i) {
            kept_[i].finding.line = places[i].line;
            kept_[i].finding.column = places[i].column;
            findings.push_back(std::move(kept_[i].finding));
        }
        if (leftOut_ > 0) {
            const LineColumn place = placeOffsets(text_, std::span(&firstLeftOut_.offset, 1))[0];
            findings.push_back(Finding{errorLeftOut_ ? Severity::Error : Severity::Warning,
                                       place.line, place.column, firstLeftOutPointer_, "more",
                                       "and " + std::to_string(leftOut_) + " more", ""});
        }
        return findings;
    }

  private:
    // Messages quote the library's, which may hold a whole token of the text, cut
    // anywhere in a character.
    static std::string printed(std::string_view message) {
        return printableText(cutToCharacters(message, kMessageCharacters));
    }

    template <typename Message>
    static std::string text(Message& message) {
        if constexpr (std::is_invocable_v<Message&>) {
            return message();
        } else {
            return std::move(message);
        }
    }

    struct Candidate {
        bool error = false;
        std::size_t offset = 0;
        std::size_t sequence = 0;
        Finding finding;
    };

    // Errors first, then in file order; the heap keeps the last one on top.
    static bool ranksBefore(const Candidate& a, const Candidate& b) {
        return std::tie(b.error, a.offset, a.sequence) < std::tie(a.error, b.offset, b.sequence);
    }

    // A candidate that was kept has its finding; one that was not is named by `path`.
    void leaveOut(Candidate candidate, bool kept, const JsonPath& path) {
        ++leftOut_;
        errorLeftOut_ = errorLeftOut_ || candidate.error;
        if (leftOut_ == 1 || ranksBefore(candidate, firstLeftOut_)) {
            firstLeftOutPointer_ =
                kept ? candidate.finding.pointer : printableText(path.pointer(kQuotedCharacters));
            firstLeftOut_ = std::move(candidate);
        }
    }

    std::string_view text_;
    std::size_t firstOffset_ = 0;
    std::vector<Candidate> kept_;  // a heap by ranksBefore
    std::size_t sequence_ = 0;
    std::size_t leftOut_ = 0;
    bool errorLeftOut_ = false;
    Candidate firstLeftOut_;
    std::string firstLeftOutPointer_;
};

class Checker {
  public:
    Checker(std::string_view text, const CheckOptions& options)
        : text_(text), options_(options), findings_(text) {}

    std::vector<Finding> run() {
        json document;
        if (!parse(document)) {
            return findings_.finish();
        }
        positions_.emplace(text_);
        checkPanel(document);
        load(document);
        return findings_.finish();
    }

  private:
    bool parse(json& document) {
        try {
            document = parseDecodedConfigurationText(text_);
            return true;
        } catch (const json::parse_error& error) {
            const std::size_t offset = error.byte == 0 ? 0 : error.byte - 1;
            const LineColumn place = placeOffsets(text_, std::span(&offset, 1))[0];
            addRefusal(offset, JsonPath(), "parse", withPlace(error.what(), place));
        } catch (const json::out_of_range& error) {
            // A number too large for a double: the library gives no place for it.
            addRefusal(0, JsonPath(), "parse", error.what());
        } catch (const ConfigurationLimitError& error) {
            addRefusal(offsetTooDeep(), JsonPath(), "limit", error.what());
        }
        return false;
    }

    // Where the nesting first goes past the limit, outside strings.
    std::size_t offsetTooDeep() const {
        std::size_t depth = 0;
        bool inString = false;
        for (std::size_t i = 0; i < text_.size(); ++i) {
            const char c = text_[i];
            if (inString) {
                if (c == '\\') {
                    ++i;
                } else if (c == '"') {
                    inString = false;
                }
            } else if (c == '"') {
                inString = true;
            } else if ((c == '{' || c == '[') && ++depth > kMaxConfigurationNesting) {
                return i;
            } else if ((c == '}' || c == ']') && depth > 0) {
                --depth;
            }
        }
        return 0;
    }

    void load(json& document) {
        LastRead lastRead;
        PanelModel model;
        try {
            loadModel(document, LoadContext{&lastRead}, model);
        } catch (const std::bad_alloc&) {
            throw;  // a failure of the check, not of the file
        } catch (const std::exception& error) {
            PathSteps path;
            if (lastRead.owner() != nullptr) {
                findPath(document, lastRead.owner(), path);
            }
            const bool onMember = !lastRead.key().empty() && lastRead.owner()->is_object() &&
                                  lastRead.owner()->contains(lastRead.key());
            if (onMember) {
                path.steps.emplace_back(path.last(), lastRead.key());
            }
            addRefusal(positions_->of(path.last()).value, path.last(), loadErrorCode(error),
                       error.what());
        }
    }

    static std::string loadErrorCode(const std::exception& error) {
        if (dynamic_cast<const json::type_error*>(&error) != nullptr) {
            return "type";
        }
        if (dynamic_cast<const std::range_error*>(&error) != nullptr) {
            return "encoding";
        }
        if (dynamic_cast<const std::invalid_argument*>(&error) != nullptr ||
            dynamic_cast<const std::out_of_range*>(&error) != nullptr) {
            return "trigger";
        }
        return "load";
    }

    // --- warnings -------------------------------------------------------------------

    void checkPanel(const json& document) {
        if (!document.is_object()) {
            return;
        }
        const JsonPath root;
        checkKeys(document, root, KeyLevel::Panel);
        checkHotkey(document, JsonPath(root, std::string_view("hotkey")));
        checkLanguage(document, JsonPath(root, std::string_view("language")));
        if (const auto taskbar = document.find("taskbar"); taskbar != document.end()) {
            checkTaskbar(*taskbar, JsonPath(root, std::string_view("taskbar")));
        }
        if (const auto groups = document.find("meterGroups"); groups != document.end()) {
            const JsonPath groupsPath(root, std::string_view("meterGroups"));
            forEachListElement(
                *groups, groupsPath,
                [this](const json& group, const JsonPath& path) { checkGroup(group, path); });
        }
    }

    void checkLanguage(const json& document, const JsonPath& path) {
        const auto language = document.find("language");
        if (language == document.end() || !language->is_string() ||
            language->get_ref<const std::string&>().empty() ||
            textsFor(language->get_ref<const std::string&>()) != nullptr) {
            return;
        }
        add(Severity::Warning, path, false, "language", [&] {
            std::string spoken;
            for (const TextTable& table : kTextTables) {
                if (table.tag != kPseudoLanguage) {
                    spoken += (spoken.empty() ? "" : ", ") + std::string(table.tag);
                }
            }
            return "\"language\" " + shortDump(*language) +
                   " is not a language Tavisto speaks: the user's display language is used; it "
                   "speaks " + spoken;
        });
    }

    void checkTaskbar(const json& taskbar, const JsonPath& pointer) {
        if (!taskbar.is_object()) {
            add(Severity::Warning, pointer, false, "taskbar",
                "\"taskbar\" is not an object: the default placement applies");
            return;
        }
        checkKeys(taskbar, pointer, KeyLevel::Taskbar);
        for (const ConfigurationKey& key : kConfigurationKeys) {
            const auto value = taskbar.find(key.name);
            if (key.level == KeyLevel::Taskbar && value != taskbar.end()) {
                checkValueOtherProgramsRead(key, *value, JsonPath(pointer, key.name));
            }
        }
    }

    // Read as Tavisto.exe reads it: one it cannot read is an error, though the band loads
    // the file.
    void checkHotkey(const json& document, const JsonPath& path) {
        std::string error;
        const std::optional<Hotkey> hotkey = readHotkey(document, error);
        if (!error.empty()) {
            add(Severity::Error, path, false, std::string(kHotkeyCode), [&] {
                return "hotkey " + shortDump(document.at("hotkey")) + " cannot be read: " + error +
                       "; Tavisto.exe registers none";
            });
        } else if (hotkey) {
            const std::string_view use = commonUseOf(*hotkey);
            if (!use.empty()) {
                add(Severity::Warning, path, false, "common-shortcut", [&] {
                    return "hotkey " + shortDump(document.at("hotkey")) +
                           " is a shortcut that programs or Windows use (" + std::string(use) +
                           "): registered for Show values it would stop working everywhere "
                           "else, or be found taken";
                });
            }
        }
    }

    // A value of a key the band ignores: whatever it is, the file loads, so the checker
    // says what its reader takes instead.
    void checkValueOtherProgramsRead(const ConfigurationKey& key, const json& value,
                                     const JsonPath& path) {
        const std::string name = std::string(levelName(key.level)) + " " + std::string(key.name);
        const std::string instead = ": the default " + std::string(key.defaultJson) + " applies";
        if (!key.values.empty()) {
            if (!value.is_string() ||
                closedSetValue<std::size_t>(value.get_ref<const std::string&>(), key.values) ==
                    key.values.size()) {
                add(Severity::Warning, path, false, "unknown-value",
                    "unknown " + name + " " + shortDump(value) + instead + " (expected " +
                        listOf(key.values) + ")");
            }
        } else if (key.kind == ValueKind::Boolean) {
            if (!value.is_boolean()) {
                add(Severity::Warning, path, false, "unknown-value",
                    name + " " + shortDump(value) + " is neither true nor false" + instead);
            }
        } else if (key.kind == ValueKind::Pixels || key.kind == ValueKind::Number) {
            if (!value.is_number()) {
                add(Severity::Warning, path, false, "unknown-value",
                    name + " " + shortDump(value) + " is not a number" + instead);
            } else if (key.range.limited()) {
                checkRange(key, value, path, name);
            }
        }
    }

    void checkRange(const ConfigurationKey& key, const json& value, const JsonPath& path,
                    const std::string& name) {
        const FittedNumber fitted = fitNumber(key.range, parseNumber(value));
        std::string why;
        switch (fitted.fit) {
            case NumberFit::Taken:
                return;
            case NumberFit::Fraction:
                why = " is not a whole number";
                break;
            case NumberFit::BelowMinimum:
                why = " is less than " + numberText(key.range.minimum);
                break;
            case NumberFit::AboveMaximum:
                why = " is more than " + numberText(key.range.maximum);
                break;
        }
        add(Severity::Warning, path, false, "range",
            name + " " + shortDump(value) + why + ": " + numberText(fitted.value) + " is used");
    }

    // Walks a list as the loader does: an array's elements, an object's members, a
    // single other value, nothing for null.
    template <typename Visit>
    void forEachListElement(const json& list, const JsonPath& pointer, Visit visit) {
        if (list.is_array()) {
            for (std::size_t i = 0; i < list.size(); ++i) {
                visit(list[i], JsonPath(pointer, i));
            }
        } else if (list.is_object()) {
            for (auto member = list.begin(); member != list.end(); ++member) {
                visit(member.value(), JsonPath(pointer, std::string_view(member.key())));
            }
        } else if (!list.is_null()) {
            visit(list, pointer);
        }
    }

    void checkGroup(const json& group, const JsonPath& pointer) {
        if (!group.is_object()) {
            return;
        }
        checkKeys(group, pointer, KeyLevel::Group);
        const auto enabled = group.find("enabled");
        const bool isEnabled = enabled == group.end() || *enabled != json(false);
        if (const auto click = group.find("click"); click != group.end() && click->is_string()) {
            const auto& text = click->get_ref<const std::string&>();
            if (closedSetValue<GroupClick>(text, kGroupClicks) == GroupClick::Unknown) {
                add(Severity::Warning, JsonPath(pointer, std::string_view("click")), false,
                    "unknown-value",
                    "unknown click " + inQuotes(text) + ": a click opens Task Manager (expected " +
                        listOf(kGroupClicks) + ")");
            }
        }
        if (const auto orientation = group.find("orientation");
            orientation != group.end() && orientation->is_string()) {
            const auto& text = orientation->get_ref<const std::string&>();
            if (!text.empty() && closedSetValue<GroupOrientation>(text, kOrientations) ==
                                     GroupOrientation::Unknown) {
                add(Severity::Warning, JsonPath(pointer, std::string_view("orientation")), false,
                    "unknown-value",
                    "unknown orientation " + inQuotes(text) +
                        ": every orientation but \"horizontal\" stacks the meters");
            }
        }
        std::size_t meterCount = 0;
        const auto name = group.find("name");
        const std::string ofGroup = name != group.end() && name->is_string() &&
                                            !name->get_ref<const std::string&>().empty()
                                        ? " of " + inQuotes(name->get<std::string>())
                                        : std::string();
        if (const auto meters = group.find("meters"); meters != group.end()) {
            const JsonPath metersPath(pointer, std::string_view("meters"));
            forEachListElement(
                *meters, metersPath,
                [this, &meterCount, &ofGroup](const json& meter, const JsonPath& meterPointer) {
                    ++meterCount;
                    checkMeter(meter, meterPointer, "meter " + std::to_string(meterCount) + ofGroup);
                });
        }
        if (isEnabled && meterCount == 0) {
            add(Severity::Warning, pointer, false, "empty-group",
                "the group has no meters: it shows nothing");
        }
    }

    // `label` names the meter in findings about its counters: "meter 2 of \"Disk\"".
    void checkMeter(const json& meter, const JsonPath& pointer, const std::string& label) {
        static const json kNoMembers = json::object();
        const json& members = meter.is_object() ? meter : kNoMembers;
        checkKeys(members, pointer, KeyLevel::Meter);

        const ConfigurationKey& typeKey = configurationKey(KeyLevel::Meter, "meterType");
        MeterType type = defaultChoice<MeterType>(typeKey);
        std::string meterType(meterKind(type).spelling);
        if (const auto typeValue = members.find(typeKey.name);
            typeValue != members.end() && typeValue->is_string()) {
            meterType = typeValue->get<std::string>();
            type = closedSetValue<MeterType>(meterType, kMeterTypes);
            // Any text that spells no kind reads as the value after the last.
            if (static_cast<std::size_t>(type) == kMeterKindCount) {
                add(Severity::Warning, JsonPath(pointer, std::string_view("meterType")), false,
                    "unknown-value",
                    "unknown meterType " + inQuotes(meterType) +
                        ": the meter is sampled but draws nothing (expected " +
                        listOf(kMeterTypes) + ")");
            }
        }
        checkColour(members, pointer);
        if (const auto style = members.find("style");
            style != members.end() && style->is_string() &&
            closedSetValue<GraphStyle>(style->get_ref<const std::string&>(), kGraphStyles) ==
                GraphStyle::Unknown) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("style")), false,
                "unknown-value",
                "unknown style " + inQuotes(style->get<std::string>()) +
                    ": the graph is drawn as an area (expected " + listOf(kGraphStyles) + ")");
        }
        if (const auto units = members.find("units");
            units != members.end() && units->is_string() &&
            !units->get_ref<const std::string&>().empty()) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("units")), false,
                "unknown-value", "a meter's units have no effect: give each counter its \"units\"");
        }
        if (!members.contains("width")) {
            add(Severity::Warning, pointer, false, "no-width",
                "the meter has no \"width\": it takes no room and is not seen");
        }
        checkRefreshRate(members, pointer);

        std::size_t counterCount = 0;
        if (const auto counters = members.find("counters");
            counters != members.end() && counters->is_array()) {
            counterCount = counters->size();
            const JsonPath countersPath(pointer, std::string_view("counters"));
            for (std::size_t i = 0; i < counters->size(); ++i) {
                checkCounter((*counters)[i], JsonPath(countersPath, i), type,
                             "the " + meterType + " " + label + ", counter " +
                                 std::to_string(i + 1));
            }
        }
        if (meterKind(type).drawsText && counterCount == 0) {
            add(Severity::Warning, pointer, false, "no-counters",
                "a " + meterType + " meter without counters draws nothing");
        }
    }

    void checkRefreshRate(const json& meter, const JsonPath& pointer) {
        const auto rate = meter.find("refreshRate");
        if (rate == meter.end()) {
            add(Severity::Warning, pointer, false, "refresh-rate",
                "the meter has no \"refreshRate\": it is sampled as often as the timer allows, "
                "which costs processor time");
            return;
        }
        if (!rate->is_number()) {
            return;
        }
        // A whole negative part wraps; the rest is read as the loader reads it.
        if (parseNumber(*rate) <= -1) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("refreshRate")), false,
                "refresh-rate",
                "a negative refreshRate wraps around to a period of millions of years");
            return;
        }
        const std::uint64_t milliseconds = parseMilliseconds(*rate);
        if (milliseconds == 0) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("refreshRate")), false,
                "refresh-rate",
                "refreshRate 0 samples as often as the timer allows, which costs processor time");
        } else if (milliseconds < kCheapestUsefulRate) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("refreshRate")), false,
                "refresh-rate",
                "refreshRate " + rate->dump() +
                    " is under 100 ms: sampling this often costs processor time");
        }
    }

    // The known unit closest to what was written, or the list of them.
    static std::string unitsHint(const std::string& text) {
        std::string lower = text;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char letter) {
            return static_cast<char>(std::tolower(letter));
        });
        // The symbols the units are shown with name the units themselves.
        static constexpr std::pair<std::string_view, std::string_view> kSymbols[] = {
            {"%", "percent"},       {"b/s", "bytes/second"}, {"kb/s", "bytes/second"},
            {"mb/s", "bytes/second"}, {"bps", "bits/second"}, {"kbps", "bits/second"},
            {"mbps", "bits/second"}, {"gbps", "bits/second"}, {"b", "bytes"},
            {"kb", "bytes"},        {"mb", "bytes"},         {"gb", "bytes"},
            {"\u00b0c", "celsius"},  {"c", "celsius"},        {"w", "watts"},
            {"hz", "hertz"},        {"mhz", "hertz"},        {"ghz", "hertz"},
            {"s", "seconds"},       {"min", "seconds"},      {"bits per second", "bits/second"},
            {"bytes per second", "bytes/second"}};
        for (const auto& [symbol, unit] : kSymbols) {
            if (lower == symbol) {
                return "; did you mean " + inQuotes(unit) + "?";
            }
        }
        const std::string_view* nearest = nullptr;
        std::size_t nearestDistance = 3;
        for (const std::string_view& unit : kCounterUnits) {
            const std::size_t distance = editDistance(lower, unit);
            if (!text.empty() && distance < nearestDistance) {
                nearest = &unit;
                nearestDistance = distance;
            }
        }
        return nearest != nullptr ? "; did you mean " + inQuotes(*nearest) + "?"
                                  : " (expected " + listOf(kCounterUnits) + ")";
    }

    void checkCounter(const json& counter, const JsonPath& pointer, MeterType meterType,
                      const std::string& label) {
        static const json kNoMembers = json::object();
        const json& members = counter.is_object() ? counter : kNoMembers;
        checkKeys(members, pointer, KeyLevel::Counter);
        checkColour(members, pointer);

        const auto units = members.find("units");
        if (units == members.end() || units->is_string()) {
            const std::string text = units == members.end() ? "" : units->get<std::string>();
            const JsonPath unitsMember(pointer, std::string_view("units"));
            const JsonPath& unitsPointer = units == members.end() ? pointer : unitsMember;
            const bool known =
                closedSetValue<CounterUnits>(text, kCounterUnits) != CounterUnits::Unknown;
            if (meterKind(meterType).showsUnits && !known) {
                add(Severity::Warning, unitsPointer, false, "units",
                    (text.empty() ? std::string("no units") : "unknown units " + inQuotes(text)) +
                        ": the counter's line stays blank" + unitsHint(text));
            } else if (!text.empty() && !known) {
                add(Severity::Warning, unitsPointer, false, "unknown-value",
                    "unknown units " + inQuotes(text) + unitsHint(text));
            }
        }

        const auto path = members.find("counterPath");
        if (path == members.end()) {
            add(Severity::Warning, pointer, false, "no-reference",
                "the counter has no \"counterPath\": it always reads 0");
        } else if (path->is_string()) {
            checkExpression(path->get<std::string>(),
                            JsonPath(pointer, std::string_view("counterPath")));
        }
        if (const auto trigger = members.find("trigger");
            trigger != members.end() && trigger->is_string()) {
            checkTrigger(trigger->get<std::string>(),
                         JsonPath(pointer, std::string_view("trigger")));
        }
        if (const auto instances = members.find("instances"); instances != members.end()) {
            checkInstances(*instances, JsonPath(pointer, std::string_view("instances")),
                           path != members.end() && namesWildcard(*path));
        }
        if (const auto alert = members.find("alert"); alert != members.end()) {
            checkAlert(*alert, JsonPath(pointer, std::string_view("alert")));
        }
        checkShowsSomething(counter, pointer, meterType, label);
    }

    // A counter the drawing rules never let show a value: the file loads, and nothing
    // else would say why the meter stays empty.
    void checkShowsSomething(const json& counter, const JsonPath& pointer, MeterType meterType,
                             const std::string& label) {
        if (!counter.is_object()) {
            return;
        }
        try {
            const MeterCounter loaded = parseCounter(counter);
            const std::string_view why = whyCounterShowsNothing(meterType, loaded);
            if (!why.empty()) {
                const std::string named =
                    loaded.name.empty() ? "" : " (" + inQuotes(utf16ToUtf8(loaded.name)) + ")";
                add(Severity::Warning, pointer, false, "shows-nothing",
                    label + named + " " + std::string(why));
            }
        } catch (const std::exception&) {
            // The loader refuses such a counter, and that is reported on its own.
        }
    }

    // Whether a counter path names a wildcard instance or the adapters' sensors, the only
    // references "instances" acts on.
    static bool namesWildcard(const json& counterPath) {
        if (!counterPath.is_string()) {
            return false;
        }
        try {
            std::u16string text = utf8ToUtf16(counterPath.get<std::string>());
            const ReferenceMap references = extractReferences(text);
            return std::any_of(references.begin(), references.end(), [](const auto& entry) {
                const CounterReference& reference = entry.second;
                return (reference.kind == CounterReference::PerformanceCounter &&
                        hasWildcardInstance(reference.path)) ||
                       reference.path.starts_with(kAdapterFieldPrefix);
            });
        } catch (const std::bad_alloc&) {
            throw;  // a failure of the check, not of the file
        } catch (const std::exception&) {
            return false;  // the load reports it
        }
    }

    void checkInstances(const json& instances, const JsonPath& pointer, bool wildcard) {
        if (!instances.is_object()) {
            return;  // null means none; any other value the load refuses
        }
        checkKeys(instances, pointer, KeyLevel::Instances);
        if (!wildcard) {
            add(Severity::Warning, pointer, false, "instances",
                "the counter path has no wildcard instance such as (*): \"instances\" has no "
                "effect");
        }
        for (const char* name : {"groupCombine", "combine"}) {
            const auto value = instances.find(name);
            if (value != instances.end() && value->is_string() &&
                closedSetValue<std::size_t>(value->get_ref<const std::string&>(),
                                            kInstanceCombines) == kInstanceCombines.size()) {
                add(Severity::Warning, JsonPath(pointer, std::string_view(name)), false,
                    "unknown-value",
                    "unknown " + std::string(name) + " " + shortDump(*value) +
                        ": the instances are summed (expected " + listOf(kInstanceCombines) + ")");
            }
        }
        const auto include = instances.find("include");
        if (include != instances.end() && include->is_array() && include->empty()) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("include")), false,
                "instances",
                "an empty include list leaves every instance out: the counter reads 0");
        }
        const auto groupBy = instances.find("groupBy");
        const bool grouped = groupBy != instances.end() && groupBy->is_object();
        if (grouped) {
            checkKeys(*groupBy, JsonPath(pointer, std::string_view("groupBy")), KeyLevel::GroupBy);
        } else if (instances.contains("groupCombine") && !instances.contains("top")) {
            // With "top", processes are grouped by program, and the groups combine by it.
            add(Severity::Warning, JsonPath(pointer, std::string_view("groupCombine")), false,
                "instances", "\"groupCombine\" has no effect without \"groupBy\" or \"top\"");
        }
        if (instances.contains("byProgram") && !instances.contains("top")) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("byProgram")), false,
                "instances", "\"byProgram\" has no effect without \"top\"");
        }
    }

    // Two thresholds are the load's refusal; these load, but not as their author meant.
    void checkAlert(const json& alert, const JsonPath& pointer) {
        if (!alert.is_object()) {
            return;  // null means none; any other value the load refuses
        }
        checkKeys(alert, pointer, KeyLevel::Alert);
        checkColour(alert, pointer);
        const auto above = alert.find("above");
        const auto below = alert.find("below");
        const bool raisedAbove = above != alert.end();
        if (!raisedAbove && below == alert.end()) {
            add(Severity::Warning, pointer, false, "alert",
                "the alert has neither \"above\" nor \"below\": it is never raised");
            return;
        }
        const auto threshold = raisedAbove ? above : below;
        const auto clear = alert.find("clear");
        if (!threshold->is_number() || clear == alert.end() || !clear->is_number() ||
            (below != alert.end() && raisedAbove)) {
            return;
        }
        const double clearing = clear->get<double>();
        const double past = threshold->get<double>();
        if (raisedAbove ? clearing > past : clearing < past) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("clear")), false, "alert",
                "\"clear\" " + shortDump(*clear) + " is " + (raisedAbove ? "above" : "below") +
                    " the threshold " + shortDump(*threshold) +
                    ": a raised alert would clear at once, so it clears at the threshold");
        }
    }

    void checkColour(const json& owner, const JsonPath& pointer) {
        const auto colour = owner.find("color");
        if (colour == owner.end() || !colour->is_string()) {
            return;
        }
        std::u16string text;
        try {
            text = utf8ToUtf16(colour->get_ref<const std::string&>());
        } catch (const std::range_error&) {
            return;  // the load reports it
        }
        if (!readColour(text)) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("color")), false, "color",
                "colour " + shortDump(*colour) + " has no hexadecimal digit: it is drawn white");
        }
    }

    void checkTrigger(const std::string& text, const JsonPath& pointer) {
        std::u16string configured;
        try {
            configured = utf8ToUtf16(text);
        } catch (const std::range_error&) {
            return;  // the load reports it
        }
        const TriggerParts parts = splitTriggerParts(configured);
        if (parts.form == TriggerParts::Form::NoSeparator) {
            add(Severity::Warning, pointer, false, "trigger",
                "trigger " + inQuotes(text) +
                    " has no operator and threshold separated by a space: it means \"> 0\"");
            return;
        }
        if (parts.form == TriggerParts::Form::Split &&
            closedSetValue<TriggerOperator>(parts.op, kTriggerOperators) ==
                TriggerOperator::Unknown) {
            add(Severity::Warning, pointer, false, "trigger",
                "unknown trigger operator " + inQuotes(utf16ToUtf8(parts.op)) +
                    ": the trigger never holds (expected " + listOf(kTriggerOperators) + ")");
        }
    }

    void checkExpression(const std::string& text, const JsonPath& pointer) {
        std::u16string configured;
        try {
            configured = utf8ToUtf16(text);
        } catch (const std::range_error&) {
            return;  // the load reports it
        }
        if (const std::size_t machine = configured.find(u"(\\\\");
            machine != std::u16string::npos) {
            addInString(pointer, machine, "machine-name",
                        "a counter path that names a computer is not a reference: it is never "
                        "read");
        }
        std::u16string rewritten = configured;
        ReferenceMap references;
        try {
            references = extractReferences(rewritten);
        } catch (const std::bad_alloc&) {
            throw;  // a failure of the check, not of the file
        } catch (const std::exception&) {
            return;  // the load reports it
        }
        const std::vector<std::size_t> origin = alignRewritten(configured, rewritten, references);
        for (const auto& [name, reference] : references) {
            const std::size_t where = referencePosition(configured, rewritten, origin, name[0],
                                                        u"(" + reference.path + u")");
            if (reference.kind == CounterReference::PerformanceField) {
                // An unknown performance field loads and reads 0 (an unknown sensor field
                // the load refuses, and that refusal is reported on its own).
                if (std::string unknown = unknownFieldMessage(reference.path); !unknown.empty()) {
                    addInString(pointer, where, "performance-field", unknown + ": it reads 0");
                }
            } else if (reference.kind == CounterReference::SensorField) {
                const std::string reason = options_.counters != nullptr &&
                                                   unknownFieldMessage(reference.path).empty()
                                               ? options_.counters->missingReason(reference.path)
                                               : std::string();
                if (!reason.empty()) {
                    addInString(pointer, where, "sensor-not-available",
                                "sensor " + utf16ToUtf8(reference.path) +
                                    " is not available on this machine: " + reason);
                }
            } else if (options_.counters != nullptr) {
                const std::string reason = options_.counters->missingReason(reference.path);
                if (!reason.empty()) {
                    addInString(
                        pointer, where, "counter-not-found",
                        "counter " +
                            cutToCharacters(utf16ToUtf8(reference.path), kQuotedCharacters) +
                            " cannot be read on this machine: " + reason);
                }
            }
        }
        if (references.empty()) {
            add(Severity::Warning, pointer, false, "no-reference",
                "no counter reference in parentheses, such as (\\Memory\\Available Bytes): the "
                "counter always reads 0");
        } else {
            checkCompiles(rewritten, references, origin, pointer);
        }
    }

    // Where a reference stands in the configured text: the first place its name took
    // in the rewritten text (a letter of the same name written by the author does not
    // count).
    static std::size_t referencePosition(std::u16string_view configured,
                                         std::u16string_view rewritten,
                                         const std::vector<std::size_t>& origin, char name,
                                         std::u16string_view whole) {
        for (std::size_t i = 0; i < rewritten.size(); ++i) {
            if (rewritten[i] == static_cast<char16_t>(name) &&
                configured.substr(origin[i], whole.size()) == whole) {
                return origin[i];
            }
        }
        return 0;
    }

    void checkCompiles(const std::u16string& rewritten, const ReferenceMap& references,
                       const std::vector<std::size_t>& origin, const JsonPath& pointer) {
        std::vector<double> values(references.size());
        std::vector<VariableBinding> bindings;
        std::size_t i = 0;
        for (const auto& [name, reference] : references) {
            bindings.push_back(bindVariable(name.c_str(), &values[i++]));
        }
        std::string utf8;
        try {
            utf8 = utf16ToUtf8(rewritten);
        } catch (const std::range_error&) {
            return;
        }
        std::int32_t errorPosition = 0;
        const ExpressionTree tree = ExpressionEvaluator::compile(
            utf8.c_str(), bindings.data(), static_cast<std::int32_t>(bindings.size()),
            &errorPosition);
        if (tree) {
            return;
        }
        // The evaluator counts bytes of the UTF-8 text; the error is at the last one read.
        const std::size_t errorByte =
            std::min(static_cast<std::size_t>(std::max(errorPosition, 1) - 1), utf8.size());
        std::size_t unit = 0;
        for (std::size_t byte = 0; byte < errorByte; ++byte) {
            const auto c = static_cast<unsigned char>(utf8[byte]);
            if ((c & 0xC0) != 0x80) {
                unit += c >= 0xF0 ? 2 : 1;
            }
        }
        unit = std::min(unit, rewritten.size());
        addInString(pointer, origin[unit], "expression",
                    "the counter expression does not compile here: the counter reads 0");
    }

    void checkKeys(const json& object, const JsonPath& pointer, KeyLevel level) {
        for (auto member = object.begin(); member != object.end(); ++member) {
            const std::string& name = member.key();
            if (const ConfigurationKey* key = findConfigurationKey(level, name)) {
                // A number the band takes in a range of its own: the loader refuses other
                // types, and fits a number beyond the range to it.
                if (key->readByBand && key->range.limited() && member->is_number()) {
                    checkRange(*key, *member, JsonPath(pointer, std::string_view(name)),
                               std::string(levelName(level)) + " " + name);
                }
                continue;
            }
            add(Severity::Warning, JsonPath(pointer, std::string_view(name)), true, "unknown-key",
                [level, &name] { return unknownKeyMessage(level, name); });
        }
    }

    static std::string unknownKeyMessage(KeyLevel level, const std::string& name) {
        std::string message = "unknown " + std::string(levelName(level)) + " key " + inQuotes(name);
        const ConfigurationKey* nearest = nullptr;
        std::size_t nearestDistance = 3;
        for (const ConfigurationKey& key : kConfigurationKeys) {
            if (key.level != level) {
                continue;
            }
            const std::size_t distance = editDistance(name, key.name);
            if (distance < nearestDistance) {
                nearest = &key;
                nearestDistance = distance;
            }
        }
        if (nearest != nullptr) {
            return message + " is ignored; did you mean " + inQuotes(nearest->name) + "?";
        }
        for (const ConfigurationKey& key : kConfigurationKeys) {
            if (key.name == name) {
                return message + " is ignored: it is a " + levelName(key.level) + " key";
            }
        }
        for (const ConfigurationKey& key : kConfigurationKeys) {
            if (editDistance(name, key.name) <= 2) {
                return message + " is ignored; did you mean " + inQuotes(key.name) + "? (a " +
                       levelName(key.level) + " key)";
            }
        }
        return message + " is ignored";
    }

    // --- findings -------------------------------------------------------------------

    template <typename Message>
    void add(Severity severity, const JsonPath& path, bool atKey, std::string code,
             Message&& message) {
        const ValuePosition position = positions_->of(path);
        findings_.add(severity, atKey ? position.key : position.value, path, std::move(code),
                      std::forward<Message>(message));
    }

    // An error with the band's message, after its plain words.
    void addRefusal(std::size_t offset, const JsonPath& path, std::string code,
                    const std::string& bandMessage) {
        const std::string plain = plainLoaderMessage(bandMessage, path.pointer(kQuotedCharacters));
        findings_.add(Severity::Error, offset, path, std::move(code), plain, bandMessage);
    }

    // A warning about the character at a UTF-16 unit of a string value.
    void addInString(const JsonPath& path, std::size_t unit, std::string code,
                     std::string message) {
        const ValuePosition position = positions_->of(path);
        const std::size_t offset =
            position.value == 0 ? 0 : offsetOfStringUnit(text_, position.value, unit);
        findings_.add(Severity::Warning, offset, path, std::move(code), std::move(message));
    }

    std::string_view text_;
    const CheckOptions& options_;
    std::optional<ValuePositions> positions_;
    BoundedFindings findings_;
};

// A refusal of the whole file, which no other finding follows.
Finding refusalFinding(LineColumn place, std::string code, const std::string& bandMessage) {
    return Finding{Severity::Error,
                   place.line,
                   place.column,
                   "",
                   std::move(code),
                   plainLoaderMessage(bandMessage, ""),
                   printableText(bandMessage)};
}

}  // namespace

std::vector<Finding> checkConfiguration(std::string_view bytes,
                                        const CheckOptions& options) noexcept {
    try {
        std::string converted;
        DecodedText text;
        try {
            text = decodeConfigurationText(bytes, converted);
        } catch (const ConfigurationEncodingError& refusal) {
            return {refusalFinding(refusal.place(), "encoding", refusal.what())};
        } catch (const ConfigurationLimitError& refusal) {
            return {refusalFinding(LineColumn{}, "limit", refusal.what())};
        }
        std::vector<Finding> findings = Checker(text.utf8, options).run();
        if (text.encoding != TextEncoding::Utf8) {
            findings.insert(findings.begin(),
                            Finding{Severity::Warning, 1, 1, "", "encoding",
                                    "the file is saved as UTF-16: UTF-8 is the recommended "
                                    "encoding, which every editor and tool reads",
                                    ""});
        }
        return findings;
    } catch (const std::exception& failure) {
        // Only running out of memory gets here: the check failed, not the file, so this
        // is no error about the file.
        try {
            return {Finding{Severity::Warning, 1, 1, "", "internal",
                            std::string("the file could not be checked: ") + failure.what(), ""}};
        } catch (...) {
            reportCaughtException("checker");
            return {};
        }
    }
}

std::string findingText(const Finding& finding) {
    if (finding.message.empty() || finding.detail.empty()) {
        return finding.message + finding.detail;
    }
    return finding.message + " (the band says: " + finding.detail + ")";
}

bool hasErrors(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.severity == Severity::Error; });
}

bool bandRefuses(const Finding& finding) {
    return finding.severity == Severity::Error && finding.code != kHotkeyCode;
}

bool bandRefuses(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return bandRefuses(f); });
}

}  // namespace tavisto
