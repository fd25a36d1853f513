// Compiles and evaluates arbitrary bytes with a few bound variables and functions, and
// checks what the evaluator promises about every outcome: error positions inside the
// text, well-formed trees no deeper than the limit, and contexts handed through.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expression/expression_evaluator.h"

namespace {

using tavisto::ExpressionEvaluator;
using tavisto::ExpressionNode;

struct Context {
    int calls = 0;
};

Context theContext;

Context& checked(void* context) {
    if (context != &theContext) {
        std::abort();
    }
    return *static_cast<Context*>(context);
}

double counter(void* context) {
    return ++checked(context).calls;
}

double scaled(void* context, double a, double b) {
    checked(context);
    return (a - b) * 0.5;
}

double middle(double a, double b, double c) {
    return a + b * c;
}

double seven(double a, double b, double c, double d, double e, double f, double g) {
    return a - b + c - d + e - f + g;
}

// Checks the shape of a compiled tree; returns its height (a leaf has height 0).
int verify(const ExpressionNode& node) {
    const std::int32_t type = tavisto::kindType(node.kind);
    const std::int32_t arity = tavisto::kindArity(node.kind);
    if (type == tavisto::kKindVariable || type == tavisto::kKindConstant) {
        if (arity != 0) {
            std::abort();
        }
    } else if (type < tavisto::kKindFunction || type >= tavisto::kKindContextFunction + 8) {
        std::abort();
    }
    int height = 0;
    for (std::int32_t i = 0; i < tavisto::kMaxArity; ++i) {
        const ExpressionNode* child = node.parameters[static_cast<std::size_t>(i)].get();
        if ((i < arity) != (child != nullptr)) {
            std::abort();
        }
        if (child != nullptr) {
            const int childHeight = verify(*child);
            height = childHeight + 1 > height ? childHeight + 1 : height;
        }
    }
    return height;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    double a = 3.0;
    double b = -0.25;
    double e = 1e300;
    const tavisto::VariableBinding bindings[] = {
        tavisto::bindVariable("a", &a),
        tavisto::bindVariable("b", &b),
        tavisto::bindVariable("e", &e),
        tavisto::bindContextFunction("next", &counter, &theContext, false),
        tavisto::bindContextFunction("half", &scaled, &theContext, true),
        tavisto::bindContextFunction("drift", &scaled, &theContext, false),
        tavisto::bindFunction("mid", &middle, true),
        tavisto::bindFunction("seven", &seven, false),
    };
    std::int32_t position = -1;
    tavisto::ExpressionTree tree =
        ExpressionEvaluator::compile(text.c_str(), bindings, 8, &position);
    const auto length = static_cast<std::int32_t>(std::strlen(text.c_str()));
    if (tree == nullptr) {
        if (position < 1 || position > (length > 0 ? length : 1)) {
            std::abort();
        }
        if (!std::isnan(ExpressionEvaluator::evaluate(tree.get()))) {
            std::abort();
        }
        return 0;
    }
    if (position != 0 || verify(*tree) > ExpressionEvaluator::kMaxDepth) {
        std::abort();
    }
    ExpressionEvaluator::evaluate(tree.get());
    a = -1e-300;
    b = 0.0;
    ExpressionEvaluator::evaluate(tree.get());
    ExpressionEvaluator::release(tree);
    return 0;
}
