#include "sampling/performance_fields.h"

#include <array>
#include <cstdint>

#include "config/performance_field_names.h"

namespace tavisto {
namespace {

struct Field {
    std::u16string_view name;
    std::uint64_t (*value)(const platform::PerformanceRecord&);
};

// The order of the comparisons is part of the contract: the first equal name wins.
constexpr std::array<Field, 11> kFields{{
    {u"PhysicalAvailable", [](const auto& r) { return r.physicalAvailable; }},
    {u"PhysicalTotal", [](const auto& r) { return r.physicalTotal; }},
    {u"CommitTotal", [](const auto& r) { return r.commitTotal; }},
    {u"CommitLimit", [](const auto& r) { return r.commitLimit; }},
    {u"CommitPeak", [](const auto& r) { return r.commitPeak; }},
    {u"HandleCount", [](const auto& r) { return std::uint64_t{r.handleCount}; }},
    {u"KernelNonpaged", [](const auto& r) { return r.kernelNonpaged; }},
    {u"KernelTotal", [](const auto& r) { return r.kernelTotal; }},
    {u"ProcessCount", [](const auto& r) { return std::uint64_t{r.processCount}; }},
    {u"ThreadCount", [](const auto& r) { return std::uint64_t{r.threadCount}; }},
    {u"SystemCache", [](const auto& r) { return r.systemCache; }},
}};

constexpr bool namesAgree() {
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (kFields[i].name != kPerformanceFieldNames[i]) {
            return false;
        }
    }
    return kFields.size() == kPerformanceFieldNames.size();
}
static_assert(namesAgree(), "every named field is read, in the same order");

}  // namespace

bool isPerformanceFieldPath(std::u16string_view path) {
    return path.starts_with(kPerformanceFieldPrefix);
}

double performanceFieldValue(std::u16string_view path, const platform::PerformanceRecord& record) {
    if (!isPerformanceFieldPath(path)) {
        return 0.0;
    }
    const std::u16string_view name = path.substr(kPerformanceFieldPrefix.size());
    for (const Field& field : kFields) {
        if (field.name == name) {
            return static_cast<double>(field.value(record));
        }
    }
    return 0.0;
}

double readPerformanceField(std::u16string_view path, platform::SystemPerformance& performance) {
    return isPerformanceFieldPath(path) ? performanceFieldValue(path, performance.read()) : 0.0;
}

}  // namespace tavisto
