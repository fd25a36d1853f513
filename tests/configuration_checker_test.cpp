#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_checker.h"
#include "config/configuration_keys.h"
#include "config/configuration_loader.h"
#include "config/configuration_text.h"
#include "config/hotkey.h"
#include "config/taskbar_settings.h"
#include "core/texts.h"
#include "support/allocation_count.h"
#include "support/checker_fixtures.h"
#include "support/fake_platform.h"

namespace tavisto {
namespace {

using nlohmann::json;
using namespace std::string_literals;
using testing::ErrorCase;
using testing::generatedCorpus;
using testing::loadErrorCases;
using testing::WarningCase;
using testing::warningCases;
using testing::withCounter;
using testing::withMeter;

std::vector<Finding> findingsWithCode(const std::string& text, const std::string& code) {
    std::vector<Finding> matching;
    for (const Finding& finding : checkConfiguration(text)) {
        if (finding.code == code) {
            matching.push_back(finding);
        }
    }
    return matching;
}

TEST(ConfigurationChecker, EachWarningHasADocumentThatRaisesItAndANearMissThatDoesNot) {
    for (const WarningCase& warning : warningCases()) {
        SCOPED_TRACE(std::string(warning.code) + " in " + warning.triggering);
        const std::vector<Finding> raised = findingsWithCode(warning.triggering, warning.code);
        ASSERT_EQ(raised.size(), 1U);
        EXPECT_EQ(raised[0].pointer, warning.pointer);
        EXPECT_EQ(raised[0].severity, Severity::Warning);
        EXPECT_FALSE(hasErrors(checkConfiguration(warning.triggering)));
        EXPECT_TRUE(findingsWithCode(warning.nearMiss, warning.code).empty()) << warning.nearMiss;
    }
}

TEST(ConfigurationChecker, SuggestsTheKnownKeyWithinTwoEdits) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {withMeter(R"j({"refreshrate": 1000})j"),
         R"j(unknown meter key "refreshrate" is ignored; did you mean "refreshRate"?)j"},
        {R"j({"meterGroups": [{"colour": "#FFFFFF"}]})j",
         R"j(unknown group key "colour" is ignored; did you mean "color"? (a meter key))j"},
        {R"j({"meterGroups": [{"counterPath": "(\\A\\B)"}]})j",
         R"j(unknown group key "counterPath" is ignored: it is a counter key)j"},
        {R"j({"notes": "mine"})j", R"j(unknown top-level key "notes" is ignored)j"},
    };
    for (const auto& [text, message] : cases) {
        const std::vector<Finding> unknown = findingsWithCode(text, "unknown-key");
        ASSERT_EQ(unknown.size(), 1U) << text;
        EXPECT_EQ(unknown[0].message, message);
    }
}

TEST(ConfigurationChecker, SuggestsTheUnitMeantAndFitsDecimalsToTheirRange) {
    const auto counter = [](const std::string& members) {
        return withMeter(R"j({"meterType": "text", "counters": [{"counterPath": "1", )j" +
                         members + "}]}");
    };
    const struct {
        std::string members;
        std::string code;
        std::string message;
    } cases[] = {
        {R"j("units": "Percent")j", "units",
         R"j(unknown units "Percent": the counter's line stays blank; did you mean "percent"?)j"},
        {R"j("units": "Mbps")j", "units",
         R"j(unknown units "Mbps": the counter's line stays blank; did you mean "bits/second"?)j"},
        {R"j("units": "celcius")j", "units",
         R"j(unknown units "celcius": the counter's line stays blank; did you mean "celsius"?)j"},
        {R"j("units": "furlongs")j", "units",
         R"j(unknown units "furlongs": the counter's line stays blank (expected "bytes/second", )j"
         R"j("percent", "bits/second", "bytes", "count", "celsius", "watts", "rpm", "hertz" )j"
         R"j(or "seconds"))j"},
        {R"j("units": "count", "decimals": 4)j", "range",
         "counter decimals 4 is more than 3: 3 is used"},
        {R"j("units": "count", "decimals": 0.5)j", "range",
         "counter decimals 0.5 is not a whole number: 0 is used"},
    };
    for (const auto& [members, code, message] : cases) {
        const std::vector<Finding> found = findingsWithCode(counter(members), code);
        ASSERT_EQ(found.size(), 1U) << members;
        EXPECT_EQ(found[0].message, message);
    }
}

TEST(ConfigurationChecker, WarnsOfEachCounterThatCanNeverShowAValue) {
    const struct {
        const char* kind;
        const char* members;
        const char* warning;  // how the message goes on after the counter; "" for none
    } cases[] = {
        {"column", "", "draws only its outline: give \"minValue\" and \"maxValue\""},
        {"column", R"("minValue": 0, "maxValue": 100)", ""},
        // A dynamic bound widens from a finite one only.
        {"graph", R"("minValue": 0, "dynamicMaxValue": true)", "draws only its outline"},
        {"graph", R"("minValue": 0, "maxValue": 1, "dynamicMaxValue": true)", ""},
        {"pie", R"("minValue": 5, "maxValue": 5)",
         "draws only its outline: \"minValue\" is not below \"maxValue\""},
        {"pie", R"("minValue": 5, "maxValue": 5, "dynamicMinValue": true)", ""},
        {"text", R"("units": "percent")", "always shows 0%"},
        {"text", R"("units": "percent", "minValue": 100, "maxValue": 0)", "shows nothing"},
        {"text", R"("units": "percent", "minValue": 0, "maxValue": 100)", ""},
        {"text", R"("units": "bytes/second")", ""},
        {"indicator", R"("indicator": "HOT")", "never shows its text: give a \"trigger\""},
        {"indicator", R"("trigger": "> 90")", "shows nothing: give the \"indicator\" text"},
        {"indicator", R"("indicator": "HOT", "trigger": "> 90")", ""},
    };
    for (const auto& [kind, members, warning] : cases) {
        const std::string text = R"({"meterGroups": [{"name": "Load", "meters": [{"meterType": ")" +
                                 std::string(kind) + R"(", "counters": [{"counterPath": "1", "name": "CPU")" +
                                 (*members != '\0' ? ", " + std::string(members) : "") + "}]}]}]}";
        const std::vector<Finding> found = findingsWithCode(text, "shows-nothing");
        if (*warning == '\0') {
            EXPECT_TRUE(found.empty()) << text;
            continue;
        }
        ASSERT_EQ(found.size(), 1U) << text;
        EXPECT_TRUE(found[0].message.starts_with("the " + std::string(kind) +
                                                 " meter 1 of \"Load\", counter 1 (\"CPU\") " +
                                                 warning))
            << found[0].message;
        EXPECT_EQ(found[0].pointer, "/meterGroups/0/meters/0/counters/0");
        EXPECT_FALSE(hasErrors(checkConfiguration(text)));
    }
}

TEST(ConfigurationChecker, ReportsTheLoadersOwnMessageAtTheValueConcerned) {
    for (const ErrorCase& expected : loadErrorCases()) {
        SCOPED_TRACE(expected.text.substr(0, 80));
        const std::vector<Finding> errors = [&] {
            std::vector<Finding> found;
            for (const Finding& finding : checkConfiguration(expected.text)) {
                if (finding.severity == Severity::Error) {
                    found.push_back(finding);
                }
            }
            return found;
        }();
        ASSERT_EQ(errors.size(), 1U);
        EXPECT_EQ(errors[0].code, expected.code);
        EXPECT_EQ(errors[0].pointer, expected.pointer);
        EXPECT_EQ(errors[0].line, expected.line);
        EXPECT_EQ(errors[0].column, expected.column);
        EXPECT_EQ(errors[0].detail, expected.message);
        EXPECT_FALSE(errors[0].message.empty());
    }
}

TEST(ConfigurationChecker, NamesValuesByEscapedPointersAndTheLastOfDuplicateKeys) {
    const std::string text =
        "{\"a/b~\": 1, \"\\u00e9\": {\"x\": 1}, \"\\u00e9\": 2,\n"
        "\"meterGroups\": {\"g/1\": {\"meters\": [{\"width\": \"x\"}]}}}";
    struct Located {
        std::string pointer;
        std::size_t line;
        std::size_t column;
        bool operator==(const Located&) const = default;
    };
    std::vector<Located> located;
    for (const Finding& finding : checkConfiguration(text)) {
        if (finding.code == "unknown-key" || finding.code == "type") {
            located.push_back({finding.pointer, finding.line, finding.column});
        }
    }
    const std::vector<Located> expected = {
        {"/a~1b~0", 1, 2}, {"/\u00e9", 1, 33}, {"/meterGroups/g~11/meters/0/width", 2, 46}};
    EXPECT_EQ(located, expected);
}

// Keys that would print reversed or look like another show the characters that do it.
TEST(ConfigurationChecker, ShowsInvisibleAndBidirectionalCharactersOfKeysByCodePoint) {
    const struct {
        std::string text;
        std::string message;
        std::string pointer;
    } cases[] = {
        {"{\"meterGroups\": [], \"\xE2\x80\xAEnosj.exe\": 1}",
         "unknown top-level key \"<U+202E>nosj.exe\" is ignored", "/<U+202E>nosj.exe"},
        {"{\"meterGroups\": [], \"\\u202anote\\u202c\": 1}",
         "unknown top-level key \"<U+202A>note<U+202C>\" is ignored", "/<U+202A>note<U+202C>"},
        {"{\"meterGroups\": [{\"meters\": [], \"\xE2\x81\xA6nam\xE2\x80\x8B"
         "e\xE2\x81\xA9\": 1}]}",
         "unknown group key \"<U+2066>nam<U+200B>e<U+2069>\" is ignored",
         "/meterGroups/0/<U+2066>nam<U+200B>e<U+2069>"},
        {"{\"meterGroups\": [], \"\xEF\xBB\xBFwidth\\u2028\": 1}",
         "unknown top-level key \"<U+FEFF>width<U+2028>\" is ignored", "/<U+FEFF>width<U+2028>"},
    };
    for (const auto& test : cases) {
        const std::vector<Finding> unknown = findingsWithCode(test.text, "unknown-key");
        ASSERT_EQ(unknown.size(), 1U) << test.text;
        EXPECT_EQ(unknown[0].message, test.message);
        EXPECT_EQ(unknown[0].pointer, test.pointer);
    }
}

TEST(ConfigurationChecker, CountsColumnsInCharactersAfterAByteOrderMark) {
    // Two-, three- and four-byte characters before the key; the mark takes no column.
    const std::string text =
        "\xEF\xBB\xBF{\"a\": \"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\", "
        "\"colour\": 1,\r\n\"b\": 2, \"c\u00e9\": 3}";
    const std::vector<Finding> unknown = findingsWithCode(text, "unknown-key");
    ASSERT_EQ(unknown.size(), 4U);
    EXPECT_EQ(unknown[0].pointer, "/a");
    EXPECT_EQ(unknown[0].column, 2U);
    EXPECT_EQ(unknown[1].pointer, "/colour");
    EXPECT_EQ(unknown[1].column, 14U);
    EXPECT_EQ(unknown[2].line, 2U);
    EXPECT_EQ(unknown[2].column, 1U);
    EXPECT_EQ(unknown[3].pointer, "/c\u00e9");
    EXPECT_EQ(unknown[3].column, 9U);
}

TEST(ConfigurationChecker, PlacesAnExpressionErrorInsideTheStringThroughTheRewrite) {
    // References and escapes before the fault make the file longer than the rewritten
    // text; the column must still be that of the stray ")".
    const std::string text =
        withCounter(R"j({"counterPath": "(\\A\\B) + (PERFORMANCE_INFORMATION.CommitTotal) * )"})j");
    const std::vector<Finding> expression = findingsWithCode(text, "expression");
    ASSERT_EQ(expression.size(), 1U);
    EXPECT_EQ(expression[0].line, 1U);
    EXPECT_EQ(expression[0].column, text.find("* )") + 3);

    const std::string unknownField = withCounter(
        "{\"counterPath\": \"\xC3\xA9 + abs((\\\\A\\\\B)) + (PERFORMANCE_INFORMATION.Nope)\"}");
    const std::vector<Finding> field = findingsWithCode(unknownField, "performance-field");
    ASSERT_EQ(field.size(), 1U);
    // One two-byte character before the reference: its column is one less than its byte.
    // The "b" of "abs" is not the reference named b.
    EXPECT_EQ(field[0].column, unknownField.find("(PERF"));
}

TEST(ConfigurationChecker, ReportsAtMostAHundredFindingsThenHowManyMore) {
    json document = json::object();
    for (int i = 0; i < 150; ++i) {
        document["unknown" + std::to_string(1000 + i)] = i;
    }
    document["meterGroups"] = json::array({json{{"enabled", "yes"}}});
    const std::vector<Finding> findings = checkConfiguration(document.dump());
    ASSERT_EQ(findings.size(), kMaxFindings + 1);
    EXPECT_TRUE(hasErrors(findings));  // the error is kept ahead of warnings
    EXPECT_EQ(findings.back().code, "more");
    // 150 unknown keys, the type error and the group without meters.
    EXPECT_EQ(findings.back().message, "and 52 more");
}

// `item(i)` repeated, separated by commas, while the text stays near 1 MiB.
template <typename Item>
std::string nearTheLimit(const std::string& opening, Item item, const std::string& closing) {
    std::string text = opening;
    for (std::size_t i = 0; text.size() + closing.size() + 64 < kMaxConfigurationBytes; ++i) {
        text += (i == 0 ? "" : ",") + item(i);
    }
    return text + closing;
}

TEST(ConfigurationChecker, HostileFilesGetShortFindingsThatAgreeWithTheLoader) {
    const std::string longKey(256 * 1024, 'k');
    const struct {
        const char* shape;
        std::string text;
        const char* error;  // the loader's refusal; null: the file loads
    } cases[] = {
        {"long key over an array",
         nearTheLimit(R"({"meterGroups": {")" + longKey + R"(": {"meters": [)",
                      [](std::size_t) { return std::string("{}"); }, "]}}}"),
         kTooManyMeters},
        {"keys on one line",
         nearTheLimit(R"({"meterGroups": [], )",
                      [](std::size_t i) { return "\"k" + std::to_string(i) + "\":0"; }, "}"),
         nullptr},
        {"graph of counters",
         nearTheLimit(R"({"meterGroups": [{"meters": [{"meterType": "graph", "width": 9, )"
                      R"("refreshRate": 1000, "counters": [)",
                      [](std::size_t) { return std::string(R"({"colour": 1})"); }, "]}]}]}"),
         kTooManyCounters},
        {"a long unknown key", R"({"meterGroups": [], ")" + longKey + R"(": 1})", nullptr},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.shape);
        const std::vector<Finding> findings = checkConfiguration(test.text);
        ASSERT_LE(findings.size(), kMaxFindings + 1);
        std::size_t printed = 0;
        for (const Finding& finding : findings) {
            printed += findingText(finding).size() + finding.pointer.size() + 32;
            // Keys and pointers are cut to 200 characters and an ellipsis.
            EXPECT_LE(finding.pointer.size(), 200U + 3U);
            EXPECT_EQ(finding.pointer.find(std::string(201, 'k')), std::string::npos);
            EXPECT_EQ(findingText(finding).find(std::string(201, 'k')), std::string::npos);
        }
        EXPECT_LE(printed, 64U * 1024U);
        std::vector<std::string> errors;
        for (const Finding& finding : findings) {
            if (finding.severity == Severity::Error) {
                errors.push_back(finding.detail);
            }
        }
        EXPECT_EQ(errors,
                  test.error ? std::vector<std::string>{test.error} : std::vector<std::string>{});
    }
}

TEST(ConfigurationChecker, CutKeysAndPointersKeepTheirPlaceAndAnEllipsis) {
    const std::string key = std::string(150, 'a') + "\xC3\xA9" + std::string(300, 'b');
    const std::string text = "{\n  \"meterGroups\": [{\"meters\": [], \"" + key + "\": 1}]}";
    const std::vector<Finding> unknown = findingsWithCode(text, "unknown-key");
    ASSERT_EQ(unknown.size(), 1U);
    const std::string kept = std::string(150, 'a') + "\xC3\xA9" + std::string(49, 'b');
    EXPECT_EQ(unknown[0].message, "unknown group key \"" + kept + "\xE2\x80\xA6\" is ignored");
    EXPECT_EQ(unknown[0].pointer,
              "/meterGroups/0/" + std::string(kept, 0, 200 - 15 + 1) + "\xE2\x80\xA6");
    EXPECT_EQ(unknown[0].line, 2U);
    EXPECT_EQ(unknown[0].column, 34U);
}

TEST(ConfigurationChecker, RunningOutOfMemoryIsNoErrorAboutTheFile) {
    const std::string text = testing::withCounter(R"j({"counterPath": "(\\A\\B)", "x": 1})j");
    ASSERT_FALSE(hasErrors(checkConfiguration(text)));
    // Fails the check at each of its allocations in turn, until one that makes none
    // fail: in the parse, the recording of positions, the walk for warnings and the load.
    long failAt = 0;
    for (;; ++failAt) {
        testing::failAllocationAfter(failAt);
        const std::vector<Finding> findings = checkConfiguration(text);
        testing::failAllocationAfter(-1);
        EXPECT_FALSE(hasErrors(findings)) << "failing allocation " << failAt;
        if (findings.empty() || findings[0].code != "internal") {
            break;
        }
    }
    EXPECT_GT(failAt, 20);
}

TEST(ConfigurationChecker, LoaderReadsExactlyTheKeysTheTableGivesTheBand) {
    // Every level present once; the trace tells which keys the loader looks up where.
    json document = json::parse(
        R"j({"meterGroups": [{"meters": [{"counters": [{"instances": {"groupBy": {}},
                                                          "alert": {"above": 1}}]}]}]})j");
    const json* group = &document["meterGroups"][0];
    const json* meter = &(*group)["meters"][0];
    const json* counter = &(*meter)["counters"][0];
    const json* instances = &(*counter)["instances"];
    struct KeyRecorder : LoadTrace {
        std::map<const json*, KeyLevel> levels;
        std::set<std::pair<KeyLevel, std::string>> read;
        void readingMember(const json& owner, std::string_view key) override {
            read.emplace(levels.at(&owner), std::string(key));
        }
        void readingValue(const json&) override {}
    } recorder;
    recorder.levels = {
        {&document, KeyLevel::Panel},     {group, KeyLevel::Group},
        {meter, KeyLevel::Meter},         {counter, KeyLevel::Counter},
        {instances, KeyLevel::Instances}, {&(*instances)["groupBy"], KeyLevel::GroupBy},
        {&(*counter)["alert"], KeyLevel::Alert}};
    PanelModel model;
    loadModel(document, LoadContext{&recorder}, model);

    std::set<std::pair<KeyLevel, std::string>> tabled;
    for (const ConfigurationKey& key : kConfigurationKeys) {
        if (key.readByBand) {
            tabled.emplace(key.level, std::string(key.name));
        }
    }
    // Two lists the loader fetches by member access rather than by lookup.
    recorder.read.emplace(KeyLevel::Panel, "meterGroups");
    recorder.read.emplace(KeyLevel::Group, "meters");
    EXPECT_EQ(recorder.read, tabled);
}

std::string loaderFailure(const std::string& text) {
    PanelModel model;
    try {
        json document = parseConfigurationText(text);
        loadModel(document, LoadContext{}, model);
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

TEST(ConfigurationChecker, FindsAnErrorExactlyWhenTheLoaderRefusesAGeneratedDocument) {
    std::size_t refused = 0;
    for (const std::string& text : generatedCorpus(3000)) {
        const std::string failure = loaderFailure(text);
        const std::vector<Finding> findings = checkConfiguration(text);
        std::vector<const Finding*> errors;
        std::size_t hotkeyErrors = 0;
        for (const Finding& finding : findings) {
            if (bandRefuses(finding)) {
                errors.push_back(&finding);
            } else if (finding.severity == Severity::Error) {
                ++hotkeyErrors;
            }
        }
        // Tavisto.exe's refusal of the hotkey is an error of its own.
        std::string hotkeyError;
        readHotkey(json::parse(text), hotkeyError);
        EXPECT_EQ(hotkeyErrors, hotkeyError.empty() ? 0U : 1U) << text;
        if (failure.empty()) {
            ASSERT_TRUE(errors.empty()) << text << "\n" << errors[0]->detail;
            continue;
        }
        ++refused;
        ASSERT_EQ(errors.size(), 1U) << text;
        EXPECT_EQ(errors[0]->detail, failure) << text;
        // The error names a value that is in the document.
        EXPECT_TRUE(json::parse(text).contains(json::json_pointer(errors[0]->pointer)))
            << errors[0]->pointer << " in " << text;
    }
    // Both outcomes are well represented, or the comparison proves little.
    EXPECT_GT(refused, 500U);
    EXPECT_LT(refused, 2500U);
}

// The settings as the file would write them, with the key table's names for the choices.
json writtenAs(const TaskbarSettings& settings) {
    return {{"monitors", kTaskbarMonitors[static_cast<std::size_t>(settings.monitors)]},
            {"position", kTaskbarPositions[static_cast<std::size_t>(settings.position)]},
            {"offset", settings.offset},
            {"clickThrough", settings.clickThrough}};
}

// The checker and the companion's reader of "taskbar" agree: a value the checker lets
// pass is read as written, and a warning names the value read instead.
TEST(ConfigurationChecker, WarnsAboutExactlyTheTaskbarValuesTheCompanionReadsOtherwise) {
    const struct {
        const char* taskbar;
        TaskbarSettings read;
        std::set<std::string> warned;  // the keys warned about
    } rows[] = {
        {R"({"monitors": "all", "position": "left", "offset": 24, "clickThrough": true})",
         {Monitors::All, Edge::Left, 24, true},
         {}},
        {R"({"monitors": "primary", "position": "right", "offset": 0, "clickThrough": false})",
         {},
         {}},
        {R"({"offset": 10000})", {.offset = 10000}, {}},
        {R"({"offset": 2.5})", {.offset = 2}, {"offset"}},
        {R"({"offset": -0.5})", {}, {"offset"}},
        {R"({"offset": -5})", {}, {"offset"}},
        {R"({"offset": 20000})", {.offset = 10000}, {"offset"}},
        {R"({"offset": 1e300})", {.offset = 10000}, {"offset"}},
        {R"({"offset": 18446744073709551615})", {.offset = 10000}, {"offset"}},
        {R"({"offset": "8"})", {}, {"offset"}},
        {R"({"monitors": "All", "position": "top", "offset": -3})",
         {},
         {"monitors", "position", "offset"}},
        {R"({"monitors": 1, "position": null, "offset": true})",
         {},
         {"monitors", "position", "offset"}},
        {R"({"clickThrough": 1})", {}, {"clickThrough"}},
        {R"({"clickThrough": "true"})", {}, {"clickThrough"}},
        {R"({"Offset": 8})", {}, {"Offset"}},
        {R"("all")", {}, {""}},
        {R"(null)", {}, {""}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.taskbar);
        const json document = {{"taskbar", json::parse(row.taskbar)}};
        const TaskbarSettings settings = readTaskbarSettings(document);
        EXPECT_EQ(settings, row.read);

        const json read = writtenAs(settings);
        std::set<std::string> warned;
        for (const Finding& finding : checkConfiguration(document.dump())) {
            ASSERT_TRUE(finding.pointer.starts_with("/taskbar")) << finding.pointer;
            const std::string key = finding.pointer.substr(std::min<std::size_t>(
                finding.pointer.size(), std::string_view("/taskbar/").size()));
            warned.insert(key);
            if (read.contains(key)) {
                EXPECT_NE(finding.message.find(" " + read[key].dump() + " "), std::string::npos)
                    << finding.message;
            }
        }
        EXPECT_EQ(warned, row.warned);
        const json& written = document["taskbar"];
        for (const auto& [key, value] : read.items()) {
            if (written.is_object() && written.contains(key) && !warned.contains(key)) {
                EXPECT_EQ(value, written[key]) << key;
            }
        }
    }
}

// "hotkey" read as Tavisto.exe reads it: an error where it registers no hotkey (the band
// loads the file all the same), a warning for a shortcut that programs or Windows use.
TEST(ConfigurationChecker, ReadsTheHotkeyAsTavistoExeDoes) {
    const struct {
        const char* hotkey;  // the value as JSON; null: absent
        const char* error;   // the message of the error, if any
        const char* use;     // what the warning says the shortcut does, if any
    } rows[] = {
        {nullptr, nullptr, nullptr},
        {R"("")", nullptr, nullptr},
        {"null", nullptr, nullptr},
        {R"("Ctrl+Alt+M")", nullptr, nullptr},
        {R"(" control + shift + f12 ")", nullptr, nullptr},
        {R"("Win+Alt+M")", nullptr, nullptr},
        {R"("Ctrl+Shift+C")", nullptr, nullptr},
        {"5", "hotkey 5 cannot be read: \"hotkey\" is not a string; Tavisto.exe registers none",
         nullptr},
        {R"("Ctrl+Hyper+M")",
         "hotkey \"Ctrl+Hyper+M\" cannot be read: \"Hyper\" is not a modifier (Ctrl, Alt, "
         "Shift, Win); Tavisto.exe registers none",
         nullptr},
        {R"("Shift+M")",
         "hotkey \"Shift+M\" cannot be read: a hotkey needs Ctrl, Alt or Win; Tavisto.exe "
         "registers none",
         nullptr},
        // Tab and Esc are no keys a hotkey may have: these are refused, not warned about.
        {R"("Alt+Tab")",
         "hotkey \"Alt+Tab\" cannot be read: \"Tab\" is not a key (a letter, a digit or F1 to "
         "F24); Tavisto.exe registers none",
         nullptr},
        {R"("Ctrl+Esc")",
         "hotkey \"Ctrl+Esc\" cannot be read: \"Esc\" is not a key (a letter, a digit or F1 to "
         "F24); Tavisto.exe registers none",
         nullptr},
        {R"("Ctrl+C")", nullptr, "copy"},
        {R"("ctrl + v")", nullptr, "paste"},
        {R"("Control+X")", nullptr, "cut"},
        {R"("Ctrl+Z")", nullptr, "undo"},
        {R"("Ctrl+Y")", nullptr, "redo"},
        {R"("Ctrl+A")", nullptr, "select all"},
        {R"("Ctrl+S")", nullptr, "save"},
        {R"("Ctrl+K")", nullptr, "the commands of many programs"},
        {R"("Alt+F4")", nullptr, "close the window"},
        {R"("Alt+F")", nullptr, "menus and buttons by their underlined letters"},
        {R"("Win+L")", nullptr, "lock the computer"},
        {R"("Win+Q")", nullptr, "commands of Windows"},
        {R"("Win+1")", nullptr, "start the programs on the taskbar"},
        {R"("Shift+Win+S")", nullptr, "take a screenshot"},
        {R"("Ctrl+Alt+E")", nullptr, "type the euro sign with AltGr"},
        {R"("Ctrl+Alt+7")", nullptr, "type characters such as @ { [ ] } with AltGr"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hotkey == nullptr ? "absent" : row.hotkey);
        const std::string text =
            std::string("{\"meterGroups\": [],\n  ") +
            (row.hotkey == nullptr ? "\"x\": 1" : std::string("\"hotkey\": ") + row.hotkey) + "}";
        std::vector<Finding> findings = checkConfiguration(text);
        std::erase_if(findings, [](const Finding& f) { return f.code == "unknown-key"; });
        // The band loads every one of these files.
        EXPECT_FALSE(bandRefuses(findings));
        EXPECT_EQ(hasErrors(findings), row.error != nullptr);
        if (row.error == nullptr && row.use == nullptr) {
            EXPECT_TRUE(findings.empty()) << findings[0].message;
            continue;
        }
        ASSERT_EQ(findings.size(), 1U);
        const Finding& finding = findings[0];
        EXPECT_EQ(finding.pointer, "/hotkey");
        EXPECT_EQ(finding.line, 2U);
        EXPECT_EQ(finding.column, 13U);
        EXPECT_EQ(finding.detail, "");
        if (row.error != nullptr) {
            EXPECT_EQ(finding.severity, Severity::Error);
            EXPECT_EQ(finding.code, kHotkeyCode);
            EXPECT_EQ(finding.message, row.error);
        } else {
            EXPECT_EQ(finding.severity, Severity::Warning);
            EXPECT_EQ(finding.code, "common-shortcut");
            EXPECT_EQ(finding.message, "hotkey " + std::string(row.hotkey) +
                                           " is a shortcut that programs or Windows use (" +
                                           row.use +
                                           "): registered for Show values it would stop "
                                           "working everywhere else, or be found taken");
        }
    }
}


std::vector<Finding> checkedIn(const std::string& text, std::string_view language) {
    CheckOptions options;
    options.texts = textsFor(language);
    return checkConfiguration(text, options);
}

TEST(ConfigurationChecker, WritesFindingsInTheChosenLanguageWithTheirValuesFilledIn) {
    const struct {
        std::string text;
        std::string_view language;
        std::string code;
        std::string message;
    } cases[] = {
        {R"j({"notes": "mine"})j", "de", "unknown-key",
         R"j(unbekannter Schlüssel "notes" (oberste Ebene) wird ignoriert)j"},
        {withMeter(R"j({"refreshrate": 1000})j"), "ja", "unknown-key",
         R"j(不明なキー "refreshrate" (メーター) は無視されます。"refreshRate" ではありませんか?)j"},
        {R"j({"meterGroups": [{"meters": [{"width": "ten"}]}]})j", "de", "type",
         R"j("width" muss eine Zahl sein, nicht Text)j"},
        {R"j({"meterGroups": [{"meters": [{"width": "ten"}]}]})j", "ja", "type",
         R"j("width" は数値である必要があります (テキスト ではありません))j"},
        {withCounter(R"j({"counterPath": "1", "minValue": 100, "maxValue": 0})j"), "de",
         "shows-nothing",
         R"j(Anzeige 1 vom Typ column, Zähler 1: nur der Umriss wird gezeichnet: )j"
         R"j("minValue" liegt nicht unter "maxValue")j"},
    };
    for (const auto& [text, language, code, message] : cases) {
        SCOPED_TRACE(std::string(language) + " " + text);
        std::vector<Finding> matching;
        for (const Finding& finding : checkedIn(text, language)) {
            if (finding.code == code) {
                matching.push_back(finding);
            }
        }
        ASSERT_EQ(matching.size(), 1U);
        EXPECT_EQ(matching[0].message, message);
    }
    // The band's own message stays as it is, inside the language's words.
    const std::vector<Finding> refused =
        checkedIn(R"j({"meterGroups": [{"meters": [{"width": "ten"}]}]})j", "ja");
    const auto error = std::find_if(refused.begin(), refused.end(),
                                    [](const Finding& f) { return f.severity == Severity::Error; });
    ASSERT_NE(error, refused.end());
    EXPECT_EQ(findingText(*error, *textsFor("ja")),
              error->message + " (バンドのメッセージ: " + error->detail + ")");
    EXPECT_TRUE(error->detail.starts_with("[json.exception.type_error.302]"));
}

// Every sentence of every finding the fixtures raise comes from the table, with each
// placeholder filled: the pseudo-language brackets each of its texts.
TEST(ConfigurationChecker, FindingsOfEveryLanguageComeFromItsTableWithNoPlaceholderLeft) {
    std::vector<std::string> documents;
    for (const WarningCase& warning : warningCases()) {
        documents.push_back(warning.triggering);
    }
    for (const ErrorCase& error : loadErrorCases()) {
        documents.push_back(error.text);
    }
    documents.push_back("\xFF\xFE{\0{"s);  // UTF-16 cut short: a refusal of the whole file
    const std::regex placeholder(R"(\{[a-z][a-zA-Z0-9]*\})");
    for (const TextTable& table : kTextTables) {
        for (const std::string& document : documents) {
            const std::vector<Finding> english = checkConfiguration(document);
            const std::vector<Finding> translated = checkedIn(document, table.tag);
            ASSERT_EQ(translated.size(), english.size()) << table.tag << " " << document;
            for (std::size_t i = 0; i < translated.size(); ++i) {
                SCOPED_TRACE(std::string(table.tag) + " " + document);
                const std::string line = findingText(translated[i], table);
                EXPECT_FALSE(std::regex_search(line, placeholder)) << line;
                EXPECT_EQ(translated[i].message.empty(), english[i].message.empty());
                EXPECT_EQ(translated[i].detail, english[i].detail);
                if (table.tag == kPseudoLanguage && !english[i].message.empty()) {
                    EXPECT_TRUE(translated[i].message.starts_with("[")) << line;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tavisto
