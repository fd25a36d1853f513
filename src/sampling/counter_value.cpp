#include "sampling/counter_value.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "expression/expression_evaluator.h"

namespace tavisto {

double rawValue(const MeterCounter& counter) {
    const ReferenceMap& references = counter.references;
    if (references.empty()) {
        return 0.0;
    }
    if (references.size() == 1) {
        return references.begin()->second.value;
    }
    KeptExpression& expression = counter.compiled;
    if (!expression.compiledFrom(counter.expressionText, references.size())) {
        std::vector<const char*> names;
        names.reserve(references.size());
        for (const auto& [name, reference] : references) {
            names.push_back(name.c_str());
        }
        expression.compile(counter.expressionText.c_str(), names.data(), names.size());
    }
    double* input = expression.inputs();
    for (const auto& [name, reference] : references) {
        *input++ = reference.value;
    }
    const double value = expression.evaluate();
    return std::isnan(value) ? 0.0 : value;
}

double currentValue(MeterCounter& counter) {
    const double value = rawValue(counter);
    if (counter.minValue > value) {
        if (counter.dynamicMinValue) {
            counter.minValue = value;
            return value;
        }
        return counter.minValue;
    }
    if (value > counter.maxValue) {
        if (counter.dynamicMaxValue) {
            counter.maxValue = value;
            return value;
        }
        return counter.maxValue;
    }
    return value;
}

}  // namespace tavisto
