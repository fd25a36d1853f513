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

TextId levelText(KeyLevel level) {
    switch (level) {
        case KeyLevel::Panel:
            return TextId::FindingLevelPanel;
        case KeyLevel::Group:
            return TextId::FindingLevelGroup;
        case KeyLevel::Meter:
            return TextId::FindingLevelMeter;
        case KeyLevel::Counter:
            return TextId::FindingLevelCounter;
        case KeyLevel::Taskbar:
            return TextId::FindingLevelTaskbar;
        case KeyLevel::Instances:
            return TextId::FindingLevelInstances;
        case KeyLevel::GroupBy:
            return TextId::FindingLevelGroupBy;
        case KeyLevel::Alert:
            return TextId::FindingLevelAlert;
    }
    return TextId::FindingLevelPanel;
}

// A UTF-8 value for a placeholder, shorter to write.
std::u16string arg(std::string_view utf8) {
    return placeholderValue(utf8);
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
    BoundedFindings(std::string_view text, const TextTable& texts)
        : text_(text), texts_(texts), firstOffset_(text.starts_with("\xEF\xBB\xBF") ? 3 : 0) {}

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
                                       plainText(texts_, TextId::FindingMore,
                                                 {{u"count", arg(std::to_string(leftOut_))}}),
                                       ""});
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
    const TextTable& texts_;
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
    Checker(std::string_view text, const CheckOptions& options, const TextTable& texts)
        : text_(text), options_(options), texts_(texts), findings_(text, texts) {}

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
            return sentence(TextId::FindingLanguage,
                            {{u"value", arg(shortDump(*language))}, {u"tags", arg(spoken)}});
        });
    }

    void checkTaskbar(const json& taskbar, const JsonPath& pointer) {
        if (!taskbar.is_object()) {
            add(Severity::Warning, pointer, false, "taskbar",
                sentence(TextId::FindingTaskbarNotObject));
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
                return sentence(TextId::FindingHotkeyUnreadable,
                                {{u"value", arg(shortDump(document.at("hotkey")))},
                                 {u"reason", arg(error)}});
            });
        } else if (hotkey) {
            const std::string_view use = commonUseOf(*hotkey);
            if (!use.empty()) {
                add(Severity::Warning, path, false, "common-shortcut", [&] {
                    return sentence(TextId::FindingHotkeyCommon,
                                    {{u"value", arg(shortDump(document.at("hotkey")))},
                                     {u"use", arg(use)}});
                });
            }
        }
    }

    // A value of a key the band ignores: whatever it is, the file loads, so the checker
    // says what its reader takes instead.
    void checkValueOtherProgramsRead(const ConfigurationKey& key, const json& value,
                                     const JsonPath& path) {
        const std::u16string levelWord = arg(level(key.level));
        const std::u16string name = arg(key.name);
        const std::u16string dumped = arg(shortDump(value));
        const std::u16string byDefault = arg(key.defaultJson);
        if (!key.values.empty()) {
            if (!value.is_string() ||
                closedSetValue<std::size_t>(value.get_ref<const std::string&>(), key.values) ==
                    key.values.size()) {
                add(Severity::Warning, path, false, "unknown-value",
                    sentence(TextId::FindingUnknownChoice,
                             {{u"level", levelWord}, {u"key", name}, {u"value", dumped},
                              {u"default", byDefault}, {u"values", arg(listOf(key.values))}}));
            }
        } else if (key.kind == ValueKind::Boolean) {
            if (!value.is_boolean()) {
                add(Severity::Warning, path, false, "unknown-value",
                    sentence(TextId::FindingNotBoolean, {{u"level", levelWord}, {u"key", name},
                                                         {u"value", dumped},
                                                         {u"default", byDefault}}));
            }
        } else if (key.kind == ValueKind::Pixels || key.kind == ValueKind::Number) {
            if (!value.is_number()) {
                add(Severity::Warning, path, false, "unknown-value",
                    sentence(TextId::FindingNotNumber, {{u"level", levelWord}, {u"key", name},
                                                        {u"value", dumped},
                                                        {u"default", byDefault}}));
            } else if (key.range.limited()) {
                checkRange(key, value, path);
            }
        }
    }

    void checkRange(const ConfigurationKey& key, const json& value, const JsonPath& path) {
        const FittedNumber fitted = fitNumber(key.range, parseNumber(value));
        TextId why = TextId::FindingNotWhole;
        switch (fitted.fit) {
            case NumberFit::Taken:
                return;
            case NumberFit::Fraction:
                break;
            case NumberFit::BelowMinimum:
                why = TextId::FindingBelowMinimum;
                break;
            case NumberFit::AboveMaximum:
                why = TextId::FindingAboveMaximum;
                break;
        }
        add(Severity::Warning, path, false, "range",
            sentence(why, {{u"level", arg(level(key.level))},
                           {u"key", arg(key.name)},
                           {u"value", arg(shortDump(value))},
                           {u"minimum", arg(numberText(key.range.minimum))},
                           {u"maximum", arg(numberText(key.range.maximum))},
                           {u"used", arg(numberText(fitted.value))}}));
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
                    sentence(TextId::FindingUnknownClick,
                             {{u"value", arg(inQuotes(text))},
                              {u"values", arg(listOf(kGroupClicks))}}));
            }
        }
        if (const auto orientation = group.find("orientation");
            orientation != group.end() && orientation->is_string()) {
            const auto& text = orientation->get_ref<const std::string&>();
            if (!text.empty() && closedSetValue<GroupOrientation>(text, kOrientations) ==
                                     GroupOrientation::Unknown) {
                add(Severity::Warning, JsonPath(pointer, std::string_view("orientation")), false,
                    "unknown-value",
                    sentence(TextId::FindingUnknownOrientation, {{u"value", arg(inQuotes(text))}}));
            }
        }
        std::size_t meterCount = 0;
        const auto name = group.find("name");
        const std::string groupName = name != group.end() && name->is_string() &&
                                              !name->get_ref<const std::string&>().empty()
                                          ? inQuotes(name->get<std::string>())
                                          : std::string();
        if (const auto meters = group.find("meters"); meters != group.end()) {
            const JsonPath metersPath(pointer, std::string_view("meters"));
            forEachListElement(
                *meters, metersPath,
                [this, &meterCount, &groupName](const json& meter, const JsonPath& meterPointer) {
                    ++meterCount;
                    checkMeter(meter, meterPointer, MeterLabel{meterCount, groupName});
                });
        }
        if (isEnabled && meterCount == 0) {
            add(Severity::Warning, pointer, false, "empty-group",
                sentence(TextId::FindingEmptyGroup));
        }
    }

    // How findings about a counter name its meter: by its place in its group, and the
    // group's name in quotes ("" for a group without one).
    struct MeterLabel {
        std::size_t place = 0;
        std::string group;
    };

    void checkMeter(const json& meter, const JsonPath& pointer, const MeterLabel& label) {
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
                    sentence(TextId::FindingUnknownMeterType,
                             {{u"value", arg(inQuotes(meterType))},
                              {u"values", arg(listOf(kMeterTypes))}}));
            }
        }
        checkColour(members, pointer);
        if (const auto style = members.find("style");
            style != members.end() && style->is_string() &&
            closedSetValue<GraphStyle>(style->get_ref<const std::string&>(), kGraphStyles) ==
                GraphStyle::Unknown) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("style")), false,
                "unknown-value",
                sentence(TextId::FindingUnknownStyle,
                         {{u"value", arg(inQuotes(style->get<std::string>()))},
                          {u"values", arg(listOf(kGraphStyles))}}));
        }
        if (const auto units = members.find("units");
            units != members.end() && units->is_string() &&
            !units->get_ref<const std::string&>().empty()) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("units")), false,
                "unknown-value", sentence(TextId::FindingMeterUnits));
        }
        if (!members.contains("width")) {
            add(Severity::Warning, pointer, false, "no-width",
                sentence(TextId::FindingNoWidth));
        }
        checkRefreshRate(members, pointer);

        std::size_t counterCount = 0;
        if (const auto counters = members.find("counters");
            counters != members.end() && counters->is_array()) {
            counterCount = counters->size();
            const JsonPath countersPath(pointer, std::string_view("counters"));
            for (std::size_t i = 0; i < counters->size(); ++i) {
                checkCounter((*counters)[i], JsonPath(countersPath, i), type,
                             CounterLabel{meterType, label, i + 1});
            }
        }
        if (meterKind(type).drawsText && counterCount == 0) {
            add(Severity::Warning, pointer, false, "no-counters",
                sentence(TextId::FindingNoCounters, {{u"meterType", arg(meterType)}}));
        }
    }

    void checkRefreshRate(const json& meter, const JsonPath& pointer) {
        const auto rate = meter.find("refreshRate");
        if (rate == meter.end()) {
            add(Severity::Warning, pointer, false, "refresh-rate",
                sentence(TextId::FindingNoRefreshRate));
            return;
        }
        if (!rate->is_number()) {
            return;
        }
        // A whole negative part wraps; the rest is read as the loader reads it.
        if (parseNumber(*rate) <= -1) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("refreshRate")), false,
                "refresh-rate",
                sentence(TextId::FindingNegativeRefreshRate));
            return;
        }
        const std::uint64_t milliseconds = parseMilliseconds(*rate);
        if (milliseconds == 0) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("refreshRate")), false,
                "refresh-rate",
                sentence(TextId::FindingZeroRefreshRate));
        } else if (milliseconds < kCheapestUsefulRate) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("refreshRate")), false,
                "refresh-rate",
                sentence(TextId::FindingFastRefreshRate, {{u"value", arg(rate->dump())}}));
        }
    }

    // The known unit closest to what was written, in quotes; empty when none is close.
    static std::string unitMeant(const std::string& text) {
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
                return inQuotes(unit);
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
        return nearest != nullptr ? inQuotes(*nearest) : std::string();
    }

    // How findings name a counter: its meter's type and label, and its place in the meter.
    struct CounterLabel {
        std::string meterType;
        MeterLabel meter;
        std::size_t place = 0;
    };

    // What is wrong with a counter's "units", or nothing.
    std::string unitsMessage(const std::string& text, bool shown) const {
        if (shown && text.empty()) {
            return sentence(TextId::FindingNoUnits, {{u"values", arg(listOf(kCounterUnits))}});
        }
        const std::string meant = unitMeant(text);
        if (meant.empty()) {
            return sentence(shown ? TextId::FindingUnitsBlankExpected
                                  : TextId::FindingUnitsExpected,
                            {{u"value", arg(inQuotes(text))},
                             {u"values", arg(listOf(kCounterUnits))}});
        }
        return sentence(shown ? TextId::FindingUnitsBlankSuggest : TextId::FindingUnitsSuggest,
                        {{u"value", arg(inQuotes(text))}, {u"suggestion", arg(meant)}});
    }

    void checkCounter(const json& counter, const JsonPath& pointer, MeterType meterType,
                      const CounterLabel& label) {
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
                add(Severity::Warning, unitsPointer, false, "units", unitsMessage(text, true));
            } else if (!text.empty() && !known) {
                add(Severity::Warning, unitsPointer, false, "unknown-value",
                    unitsMessage(text, false));
            }
        }

        const auto path = members.find("counterPath");
        if (path == members.end()) {
            add(Severity::Warning, pointer, false, "no-reference",
                sentence(TextId::FindingNoCounterPath));
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
                             const CounterLabel& label) {
        if (!counter.is_object()) {
            return;
        }
        try {
            const MeterCounter loaded = parseCounter(counter);
            const std::optional<TextId> why = whyCounterShowsNothing(meterType, loaded);
            if (why) {
                const bool inGroup = !label.meter.group.empty();
                const bool named = !loaded.name.empty();
                const TextId id = inGroup ? (named ? TextId::FindingShowsNothingInGroupNamed
                                                   : TextId::FindingShowsNothingInGroup)
                                          : (named ? TextId::FindingShowsNothingNamed
                                                   : TextId::FindingShowsNothing);
                add(Severity::Warning, pointer, false, "shows-nothing",
                    sentence(id, {{u"meterType", arg(label.meterType)},
                                  {u"meter", arg(std::to_string(label.meter.place))},
                                  {u"group", arg(label.meter.group)},
                                  {u"counter", arg(std::to_string(label.place))},
                                  {u"name", arg(named ? inQuotes(utf16ToUtf8(loaded.name)) : "")},
                                  {u"reason", text(texts_, *why)}}));
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
                sentence(TextId::FindingInstancesNoWildcard));
        }
        for (const char* name : {"groupCombine", "combine"}) {
            const auto value = instances.find(name);
            if (value != instances.end() && value->is_string() &&
                closedSetValue<std::size_t>(value->get_ref<const std::string&>(),
                                            kInstanceCombines) == kInstanceCombines.size()) {
                add(Severity::Warning, JsonPath(pointer, std::string_view(name)), false,
                    "unknown-value",
                    sentence(TextId::FindingUnknownCombine,
                             {{u"key", arg(name)},
                              {u"value", arg(shortDump(*value))},
                              {u"values", arg(listOf(kInstanceCombines))}}));
            }
        }
        const auto include = instances.find("include");
        if (include != instances.end() && include->is_array() && include->empty()) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("include")), false,
                "instances",
                sentence(TextId::FindingEmptyInclude));
        }
        const auto groupBy = instances.find("groupBy");
        const bool grouped = groupBy != instances.end() && groupBy->is_object();
        if (grouped) {
            checkKeys(*groupBy, JsonPath(pointer, std::string_view("groupBy")), KeyLevel::GroupBy);
        } else if (instances.contains("groupCombine") && !instances.contains("top")) {
            // With "top", processes are grouped by program, and the groups combine by it.
            add(Severity::Warning, JsonPath(pointer, std::string_view("groupCombine")), false,
                "instances", sentence(TextId::FindingGroupCombineAlone));
        }
        if (instances.contains("byProgram") && !instances.contains("top")) {
            add(Severity::Warning, JsonPath(pointer, std::string_view("byProgram")), false,
                "instances", sentence(TextId::FindingByProgramAlone));
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
                sentence(TextId::FindingAlertNoThreshold));
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
                sentence(raisedAbove ? TextId::FindingClearAbove : TextId::FindingClearBelow,
                         {{u"value", arg(shortDump(*clear))},
                          {u"threshold", arg(shortDump(*threshold))}}));
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
                sentence(TextId::FindingColour, {{u"value", arg(shortDump(*colour))}}));
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
                sentence(TextId::FindingTriggerNoSeparator, {{u"value", arg(inQuotes(text))}}));
            return;
        }
        if (parts.form == TriggerParts::Form::Split &&
            closedSetValue<TriggerOperator>(parts.op, kTriggerOperators) ==
                TriggerOperator::Unknown) {
            add(Severity::Warning, pointer, false, "trigger",
                sentence(TextId::FindingTriggerOperator,
                         {{u"value", arg(inQuotes(utf16ToUtf8(parts.op)))},
                          {u"values", arg(listOf(kTriggerOperators))}}));
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
            addInString(pointer, machine, "machine-name", sentence(TextId::FindingMachineName));
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
                    addInString(pointer, where, "performance-field",
                                sentence(TextId::FindingPerformanceField,
                                         {{u"reason", arg(unknown)}}));
                }
            } else if (reference.kind == CounterReference::SensorField) {
                const std::string reason = options_.counters != nullptr &&
                                                   unknownFieldMessage(reference.path).empty()
                                               ? options_.counters->missingReason(reference.path)
                                               : std::string();
                if (!reason.empty()) {
                    addInString(pointer, where, "sensor-not-available",
                                sentence(TextId::FindingSensorMissing,
                                         {{u"path", reference.path}, {u"reason", arg(reason)}}));
                }
            } else if (options_.counters != nullptr) {
                const std::string reason = options_.counters->missingReason(reference.path);
                if (!reason.empty()) {
                    addInString(
                        pointer, where, "counter-not-found",
                        sentence(TextId::FindingCounterMissing,
                                 {{u"path", arg(cutToCharacters(utf16ToUtf8(reference.path),
                                                                kQuotedCharacters))},
                                  {u"reason", arg(reason)}}));
                }
            }
        }
        if (references.empty()) {
            add(Severity::Warning, pointer, false, "no-reference",
                sentence(TextId::FindingNoReference));
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
                    sentence(TextId::FindingExpression));
    }

    void checkKeys(const json& object, const JsonPath& pointer, KeyLevel level) {
        for (auto member = object.begin(); member != object.end(); ++member) {
            const std::string& name = member.key();
            if (const ConfigurationKey* key = findConfigurationKey(level, name)) {
                // A number the band takes in a range of its own: the loader refuses other
                // types, and fits a number beyond the range to it.
                if (key->readByBand && key->range.limited() && member->is_number()) {
                    checkRange(*key, *member, JsonPath(pointer, std::string_view(name)));
                }
                continue;
            }
            add(Severity::Warning, JsonPath(pointer, std::string_view(name)), true, "unknown-key",
                [this, level, &name] { return unknownKeyMessage(level, name); });
        }
    }

    std::string unknownKeyMessage(KeyLevel keyLevel, const std::string& name) const {
        const std::u16string levelWord = arg(level(keyLevel));
        const std::u16string quotedName = arg(inQuotes(name));
        const ConfigurationKey* nearest = nullptr;
        std::size_t nearestDistance = 3;
        for (const ConfigurationKey& key : kConfigurationKeys) {
            if (key.level != keyLevel) {
                continue;
            }
            const std::size_t distance = editDistance(name, key.name);
            if (distance < nearestDistance) {
                nearest = &key;
                nearestDistance = distance;
            }
        }
        if (nearest != nullptr) {
            return sentence(TextId::FindingUnknownKeySuggest,
                            {{u"level", levelWord},
                             {u"key", quotedName},
                             {u"suggestion", arg(inQuotes(nearest->name))}});
        }
        for (const ConfigurationKey& other : kConfigurationKeys) {
            if (other.name == name) {
                return sentence(TextId::FindingUnknownKeyElsewhere,
                                {{u"level", levelWord},
                                 {u"key", quotedName},
                                 {u"otherLevel", arg(level(other.level))}});
            }
        }
        for (const ConfigurationKey& other : kConfigurationKeys) {
            if (editDistance(name, other.name) <= 2) {
                return sentence(TextId::FindingUnknownKeySuggestElsewhere,
                                {{u"level", levelWord},
                                 {u"key", quotedName},
                                 {u"suggestion", arg(inQuotes(other.name))},
                                 {u"otherLevel", arg(level(other.level))}});
            }
        }
        return sentence(TextId::FindingUnknownKey, {{u"level", levelWord}, {u"key", quotedName}});
    }

    // --- findings -------------------------------------------------------------------

    std::string sentence(TextId id, std::initializer_list<TextArgument> arguments = {}) const {
        return plainText(texts_, id, arguments);
    }

    std::string level(KeyLevel keyLevel) const { return sentence(levelText(keyLevel)); }

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
        const std::string plain =
            plainLoaderMessage(bandMessage, path.pointer(kQuotedCharacters), texts_);
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
    const TextTable& texts_;
    std::optional<ValuePositions> positions_;
    BoundedFindings findings_;
};

// A refusal of the whole file, which no other finding follows.
Finding refusalFinding(LineColumn place, std::string code, const std::string& bandMessage,
                       const TextTable& texts) {
    return Finding{Severity::Error,
                   place.line,
                   place.column,
                   "",
                   std::move(code),
                   plainLoaderMessage(bandMessage, "", texts),
                   printableText(bandMessage)};
}

}  // namespace

std::vector<Finding> checkConfiguration(std::string_view bytes,
                                        const CheckOptions& options) noexcept {
    const TextTable& texts = options.texts != nullptr ? *options.texts : englishTexts();
    try {
        std::string converted;
        DecodedText text;
        try {
            text = decodeConfigurationText(bytes, converted);
        } catch (const ConfigurationEncodingError& refusal) {
            return {refusalFinding(refusal.place(), "encoding", refusal.what(), texts)};
        } catch (const ConfigurationLimitError& refusal) {
            return {refusalFinding(LineColumn{}, "limit", refusal.what(), texts)};
        }
        std::vector<Finding> findings = Checker(text.utf8, options, texts).run();
        if (text.encoding != TextEncoding::Utf8) {
            findings.insert(findings.begin(), Finding{Severity::Warning, 1, 1, "", "encoding",
                                                      plainText(texts, TextId::FindingUtf16, {}),
                                                      ""});
        }
        return findings;
    } catch (const std::exception& failure) {
        // Only running out of memory gets here: the check failed, not the file, so this
        // is no error about the file.
        try {
            return {Finding{Severity::Warning, 1, 1, "", "internal",
                            plainText(texts, TextId::FindingNotChecked,
                                      {{u"reason", placeholderValue(failure.what())}}),
                            ""}};
        } catch (...) {
            reportCaughtException("checker");
            return {};
        }
    }
}

std::string findingText(const Finding& finding, const TextTable& texts) {
    if (finding.message.empty() || finding.detail.empty()) {
        return finding.message + finding.detail;
    }
    return plainText(texts, TextId::FindingBandSays,
                     {{u"message", placeholderValue(finding.message)},
                      {u"detail", placeholderValue(finding.detail)}});
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
