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
    // Compiled afresh at every drawing: the tree points into this counter's samples.
    std::vector<VariableBinding> bindings;
    bindings.reserve(references.size());
    for (const auto& [name, reference] : references) {
        bindings.push_back(bindVariable(name.c_str(), &reference.value));
    }
    ExpressionTree tree =
        ExpressionEvaluator::compile(counter.expressionText.c_str(), bindings.data(),
                                     static_cast<std::int32_t>(bindings.size()));
    const double value = ExpressionEvaluator::evaluate(tree.get());
    ExpressionEvaluator::release(tree);
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
