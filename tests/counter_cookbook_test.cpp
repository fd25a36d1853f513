// The counter texts of docs/COUNTERS.md and of the example configuration load, and
// their references are found, as the band would load them.

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_checker.h"
#include "config/configuration_loader.h"
#include "core/text_conversion.h"
#include "expression/expression_evaluator.h"
#include "sampling/counter_instances.h"
#include "sampling/performance_fields.h"
#include "sampling/sensor_fields.h"
#include "support/fake_platform.h"
#include "support/source_file.h"

namespace tavisto {
namespace {

using nlohmann::json;

using testing::sourceFile;

// The counters the cookbook offers: its lines that are a counter object.
std::vector<std::string> documentedCounters() {
    std::istringstream cookbook(sourceFile("docs/COUNTERS.md"));
    std::vector<std::string> counters;
    for (std::string line; std::getline(cookbook, line);) {
        if (line.starts_with("{ \"counterPath\"")) {
            counters.push_back(line);
        }
    }
    return counters;
}

class CounterCookbook : public ::testing::Test {
  protected:
    CounterCookbook() {
        // Every field distinct and non-zero, so that a misspelt field reads 0.
        auto& record = performance.record;
        record = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
        // A laptop whose GPU reports every sensor, on battery.
        platform::AdapterPerformance gpu;
        gpu.answered = true;
        gpu.memoryFrequency = 7'000'000'000;
        gpu.fanRpm = 1'200;
        gpu.power = 350;
        gpu.temperature = 540;
        sensors.adapters = {gpu};
        sensors.power = platform::PowerStatus{0, 0, 80, 5400};
    }

    PanelModel load(json document) {
        PanelModel model;
        loadModel(document, LoadContext{}, model);
        return model;
    }

    MeterCounter loadCounter(const json& counter) {
        PanelModel model = load({{"meterGroups", {{{"meters", {{{"counters", {counter}}}}}}}}});
        return std::move(model.meters.at(0).counters.at(0));
    }

    testing::FakeSystemPerformance performance;
    SensorRecord sensors;
};

TEST_F(CounterCookbook, EveryDocumentedCounterLoadsAndNamesWellFormedReferences) {
    const std::vector<std::string> counters = documentedCounters();
    ASSERT_GE(counters.size(), 20u) << "docs/COUNTERS.md was not read";
    // "\Object\Counter" or "\Object(Instance)\Counter", English names.
    const std::regex counterPath(R"(\\[^\\()]+(\([^\\()]+\))?\\[^\\]+)");
    for (const std::string& line : counters) {
        SCOPED_TRACE(line);
        json element;
        ASSERT_NO_THROW(element = json::parse(line));
        MeterCounter counter;
        ASSERT_NO_THROW(counter = loadCounter(element));
        ASSERT_FALSE(counter.references.empty());
        EXPECT_FALSE(line.find("\"units\"") != std::string::npos &&
                     counter.units == CounterUnits::Unknown);
        {
            std::vector<double> samples(counter.references.size(), 0.0);
            std::vector<VariableBinding> bindings;
            auto sample = samples.begin();
            for (const auto& [name, reference] : counter.references) {
                bindings.push_back(bindVariable(name.c_str(), &*sample++));
            }
            ExpressionTree tree =
                ExpressionEvaluator::compile(counter.expressionText.c_str(), bindings.data(),
                                             static_cast<std::int32_t>(bindings.size()));
            EXPECT_NE(tree, nullptr) << counter.expressionText;
            ExpressionEvaluator::release(tree);
        }
        for (const auto& [name, reference] : counter.references) {
            const std::string path = utf16ToUtf8(reference.path);
            if (reference.kind == CounterReference::PerformanceField) {
                EXPECT_NE(readPerformanceField(reference.path, performance), 0.0) << path;
                continue;
            }
            if (reference.kind == CounterReference::SensorField) {
                EXPECT_TRUE(std::isfinite(readSensor(reference.path, sensors).value)) << path;
                continue;
            }
            EXPECT_TRUE(std::regex_match(path, counterPath)) << path;
            EXPECT_EQ(hasWildcardInstance(reference.path), path.find('*') != std::string::npos)
                << path;
        }
    }
}

TEST_F(CounterCookbook, ExampleConfigurationUsesOnlyDocumentedCounterPaths) {
    std::set<std::u16string> documented;
    for (const std::string& line : documentedCounters()) {
        for (const auto& [name, reference] : loadCounter(json::parse(line)).references) {
            documented.insert(reference.path);
        }
    }
    const PanelModel example = load(json::parse(sourceFile("examples/TavistoConfig.json")));
    std::set<std::u16string> used;
    for (const Meter& meter : example.meters) {
        for (const MeterCounter& counter : meter.counters) {
            for (const auto& [name, reference] : counter.references) {
                used.insert(reference.path);
                EXPECT_TRUE(documented.contains(reference.path)) << utf16ToUtf8(reference.path);
            }
        }
    }
    // What users want first, as Task Manager shows it: processor utility, throughput
    // summed over adapters, disk activity and the GPU.
    for (const char16_t* path :
         {u"\\Processor Information(_Total)\\% Processor Utility",
          u"\\Network Interface(*)\\Bytes Received/sec", u"\\Network Interface(*)\\Bytes Sent/sec",
          u"\\GPU Engine(*)\\Utilization Percentage", u"\\PhysicalDisk(0 *)\\% Idle Time",
          u"\\PhysicalDisk(_Total)\\Disk Read Bytes/sec",
          u"PERFORMANCE_INFORMATION.PhysicalAvailable", u"ADAPTER_PERFDATA.Temperature",
          u"SYSTEM_POWER_STATUS.BatteryLifePercent"}) {
        EXPECT_TRUE(used.contains(path)) << utf16ToUtf8(path);
    }
}

// A person who copies a recipe into any meter, or starts from the example, sees values.
TEST_F(CounterCookbook, TheExampleAndEveryRecipeShowSomethingInColumnsAndTexts) {
    const auto showsNothing = [](const std::string& configuration) {
        std::string found;
        for (const Finding& finding : checkConfiguration(configuration)) {
            if (finding.code == "shows-nothing") {
                found += finding.message + "\n";
            }
        }
        return found;
    };
    EXPECT_EQ(showsNothing(sourceFile("examples/TavistoConfig.json")), "");
    for (const std::string& line : documentedCounters()) {
        for (const char* kind : {"column", "text"}) {
            EXPECT_EQ(showsNothing(std::string(R"({"meterGroups": [{"meters": [{"meterType": ")") +
                                   kind + R"(", "counters": [)" + line + "]}]}]}"),
                      "")
                << kind << ": " << line;
        }
    }
}

}  // namespace
}  // namespace tavisto
