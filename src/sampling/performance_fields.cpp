#include "sampling/performance_fields.h"

#include <array>
#include <cstdint>

#include "config/system_fields.h"

namespace tavisto {
namespace {

using platform::PerformanceScope;

struct Field {
    std::u16string_view name;
    PerformanceScope scope;
    std::uint64_t (*value)(const platform::PerformanceRecord&);
};

// The order of the comparisons is part of the contract: the first equal name wins.
constexpr auto kFields = std::to_array<Field>({
    {u"PhysicalAvailable", PerformanceScope::PhysicalMemory,
     [](const auto& r) { return r.physicalAvailable; }},
    {u"PhysicalTotal", PerformanceScope::PhysicalMemory,
     [](const auto& r) { return r.physicalTotal; }},
    {u"CommitTotal", PerformanceScope::Everything, [](const auto& r) { return r.commitTotal; }},
    {u"CommitLimit", PerformanceScope::Everything, [](const auto& r) { return r.commitLimit; }},
    {u"CommitPeak", PerformanceScope::Everything, [](const auto& r) { return r.commitPeak; }},
    {u"HandleCount", PerformanceScope::Everything,
     [](const auto& r) { return std::uint64_t{r.handleCount}; }},
    {u"KernelNonpaged", PerformanceScope::Everything,
     [](const auto& r) { return r.kernelNonpaged; }},
    {u"KernelTotal", PerformanceScope::Everything, [](const auto& r) { return r.kernelTotal; }},
    {u"ProcessCount", PerformanceScope::Everything,
     [](const auto& r) { return std::uint64_t{r.processCount}; }},
    {u"ThreadCount", PerformanceScope::Everything,
     [](const auto& r) { return std::uint64_t{r.threadCount}; }},
    {u"SystemCache", PerformanceScope::Everything, [](const auto& r) { return r.systemCache; }},
});

constexpr auto kSystemInfoFields = std::to_array<Field>({
    {u"NumberOfProcessors", PerformanceScope::PhysicalMemory,
     [](const auto& r) { return std::uint64_t{r.logicalProcessors}; }},
});

const Field* fieldOf(std::u16string_view path) {
    const Field* field = fieldNamed(kFields, path, kPerformanceFieldPrefix);
    return field != nullptr ? field : fieldNamed(kSystemInfoFields, path, kSystemInfoFieldPrefix);
}

static_assert(fieldsFollowNames(kFields, kPerformanceFieldNames) &&
                  fieldsFollowNames(kSystemInfoFields, kSystemInfoFieldNames),
              "every named field is read, in the same order");

}  // namespace

bool isPerformanceFieldPath(std::u16string_view path) {
    return path.starts_with(kPerformanceFieldPrefix) || path.starts_with(kSystemInfoFieldPrefix);
}

PerformanceScope performanceScopeOf(std::u16string_view path) {
    const Field* field = fieldOf(path);
    // A name that is no field reads 0 from any record: the cheapest will do.
    return field != nullptr ? field->scope : PerformanceScope::PhysicalMemory;
}

double performanceFieldValue(std::u16string_view path, const platform::PerformanceRecord& record) {
    const Field* field = fieldOf(path);
    return field != nullptr ? static_cast<double>(field->value(record)) : 0.0;
}

double readPerformanceField(std::u16string_view path, platform::SystemPerformance& performance) {
    return isPerformanceFieldPath(path)
               ? performanceFieldValue(path, performance.read(performanceScopeOf(path)))
               : 0.0;
}

}  // namespace tavisto
