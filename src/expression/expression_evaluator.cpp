#include "expression/expression_evaluator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "core/rounding.h"
#include "core/text_conversion.h"

namespace tavisto {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t kPureUnary = kKindPure + kKindFunction + 1;
constexpr std::int32_t kPureBinary = kKindPure + kKindFunction + 2;

double absolute(double x) {
    return std::fabs(x);
}
double arcCosine(double x) {
    return std::acos(x);
}
double arcSine(double x) {
    return std::asin(x);
}
double arcTangent(double x) {
    return std::atan(x);
}
double arcTangent2(double y, double x) {
    return std::atan2(y, x);
}
double ceiling(double x) {
    return std::ceil(x);
}
double cosine(double x) {
    return std::cos(x);
}
double hyperbolicCosine(double x) {
    return std::cosh(x);
}
double constantE() {
    return 2.718281828459045;
}
double exponential(double x) {
    return std::exp(x);
}
double flooring(double x) {
    return std::floor(x);
}
double naturalLogarithm(double x) {
    return std::log(x);
}
double decimalLogarithm(double x) {
    return std::log10(x);
}
double constantPi() {
    return 3.141592653589793;
}
double power(double base, double exponent) {
    return std::pow(base, exponent);
}
double sine(double x) {
    return std::sin(x);
}
double hyperbolicSine(double x) {
    return std::sinh(x);
}
double squareRoot(double x) {
    return std::sqrt(x);
}
double tangent(double x) {
    return std::tan(x);
}
double hyperbolicTangent(double x) {
    return std::tanh(x);
}

double add(double a, double b) {
    return a + b;
}
double subtract(double a, double b) {
    return a - b;
}
double multiply(double a, double b) {
    return a * b;
}
double divide(double a, double b) {
    return a / b;
}
double remainder(double a, double b) {
    return std::fmod(a, b);
}
double comma(double, double b) {
    return b;
}
double negate(double x) {
    return -x;
}

// What evaluation computes inline; the function in the node stays the reference.
enum Operation : std::uint8_t {
    kCall = 0,
    kAdd,
    kSubtract,
    kMultiply,
    kDivide,
    kRemainder,
    kPower,
    kComma,
    kNegate,
    kAbsolute,
    kSquareRoot,
};

// Sorted by name in byte order: names are found by binary search. At namespace scope:
// a function-local static takes a guard that MinGW's win32 thread model backs with a
// semaphore that is never closed, one leaked handle per load of the module.
const std::array kBuiltins = {
    bindFunction("abs", &absolute, true),
    bindFunction("acos", &arcCosine, true),
    bindFunction("asin", &arcSine, true),
    bindFunction("atan", &arcTangent, true),
    bindFunction("atan2", &arcTangent2, true),
    bindFunction("ceil", &ceiling, true),
    bindFunction("cos", &cosine, true),
    bindFunction("cosh", &hyperbolicCosine, true),
    bindFunction("e", &constantE, true),
    bindFunction("exp", &exponential, true),
    bindFunction("floor", &flooring, true),
    bindFunction("ln", &naturalLogarithm, true),
    bindFunction("log", &decimalLogarithm, true),
    bindFunction("log10", &decimalLogarithm, true),
    bindFunction("pi", &constantPi, true),
    bindFunction("pow", &power, true),
    bindFunction("sin", &sine, true),
    bindFunction("sinh", &hyperbolicSine, true),
    bindFunction("sqrt", &squareRoot, true),
    bindFunction("tan", &tangent, true),
    bindFunction("tanh", &hyperbolicTangent, true),
};

GenericFunction generic(double (*function)(double)) {
    return reinterpret_cast<GenericFunction>(function);
}
GenericFunction generic(double (*function)(double, double)) {
    return reinterpret_cast<GenericFunction>(function);
}

Operation builtinOperation(GenericFunction function) {
    if (function == generic(&absolute)) {
        return kAbsolute;
    }
    if (function == generic(&squareRoot)) {
        return kSquareRoot;
    }
    if (function == generic(&power)) {
        return kPower;
    }
    return kCall;
}

double evaluateNode(const ExpressionNode& node);

// Leaves are read in place; only inner nodes cost a call.
inline double operand(const ExpressionNode* node) {
    if (node == nullptr) {
        return kNaN;
    }
    if (node->kind == kKindConstant) {
        return node->value;
    }
    if (node->kind == kKindVariable) {
        return *node->variable;
    }
    return evaluateNode(*node);
}

template <std::size_t>
using Double = double;

template <std::size_t... I>
double callFunction(const ExpressionNode& node, std::index_sequence<I...>) {
    using Function = double (*)(Double<I>...);
    // A braced list evaluates its elements left to right: arguments in argument order.
    [[maybe_unused]] const std::array<double, sizeof...(I)> arguments{
        operand(node.parameters[I].get())...};
    return reinterpret_cast<Function>(node.function)(arguments[I]...);
}

template <std::size_t... I>
double callContextFunction(const ExpressionNode& node, std::index_sequence<I...>) {
    using Function = double (*)(void*, Double<I>...);
    [[maybe_unused]] const std::array<double, sizeof...(I)> arguments{
        operand(node.parameters[I].get())...};
    return reinterpret_cast<Function>(node.function)(node.context, arguments[I]...);
}

double evaluateNode(const ExpressionNode& node) {
    if (node.builtinOperation != kCall) {
        const double first = operand(node.parameters[0].get());
        switch (node.builtinOperation) {
            case kNegate:
                return -first;
            case kAbsolute:
                return std::fabs(first);
            case kSquareRoot:
                return std::sqrt(first);
            default:
                break;
        }
        const double second = operand(node.parameters[1].get());
        switch (node.builtinOperation) {
            case kAdd:
                return first + second;
            case kSubtract:
                return first - second;
            case kMultiply:
                return first * second;
            case kDivide:
                return first / second;
            case kRemainder:
                return std::fmod(first, second);
            case kPower:
                return std::pow(first, second);
            case kComma:
                return second;
            default:
                return kNaN;
        }
    }
    switch (kindType(node.kind)) {
        case kKindVariable:
            return *node.variable;
        case kKindConstant:
            return node.value;
        case kKindFunction + 0:
            return callFunction(node, std::make_index_sequence<0>());
        case kKindFunction + 1:
            return callFunction(node, std::make_index_sequence<1>());
        case kKindFunction + 2:
            return callFunction(node, std::make_index_sequence<2>());
        case kKindFunction + 3:
            return callFunction(node, std::make_index_sequence<3>());
        case kKindFunction + 4:
            return callFunction(node, std::make_index_sequence<4>());
        case kKindFunction + 5:
            return callFunction(node, std::make_index_sequence<5>());
        case kKindFunction + 6:
            return callFunction(node, std::make_index_sequence<6>());
        case kKindFunction + 7:
            return callFunction(node, std::make_index_sequence<7>());
        case kKindContextFunction + 0:
            return callContextFunction(node, std::make_index_sequence<0>());
        case kKindContextFunction + 1:
            return callContextFunction(node, std::make_index_sequence<1>());
        case kKindContextFunction + 2:
            return callContextFunction(node, std::make_index_sequence<2>());
        case kKindContextFunction + 3:
            return callContextFunction(node, std::make_index_sequence<3>());
        case kKindContextFunction + 4:
            return callContextFunction(node, std::make_index_sequence<4>());
        case kKindContextFunction + 5:
            return callContextFunction(node, std::make_index_sequence<5>());
        case kKindContextFunction + 6:
            return callContextFunction(node, std::make_index_sequence<6>());
        case kKindContextFunction + 7:
            return callContextFunction(node, std::make_index_sequence<7>());
        default:
            return kNaN;
    }
}

// A binding is usable when its kind is a variable or a function kind and it points
// at something; anything else reads like an unknown name.
bool isUsableBinding(const VariableBinding& binding) {
    if ((binding.kind & ~63) != 0) {
        return false;
    }
    const std::int32_t type = kindType(binding.kind);
    if (type == kKindVariable) {
        return binding.variable != nullptr;
    }
    const bool function = type >= kKindFunction && type < kKindContextFunction + 8;
    return function && binding.function != nullptr;
}

bool hasName(const VariableBinding& binding, std::string_view name) {
    return binding.name != nullptr && std::strncmp(binding.name, name.data(), name.size()) == 0 &&
           binding.name[name.size()] == '\0';
}

bool isNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// A partly built tree with its height (a leaf has height 0).
struct Subtree {
    ExpressionTree node;
    std::int32_t height = 0;
};

class Compiler {
  public:
    Compiler(const char* text, const VariableBinding* bindings, std::int32_t bindingCount)
        : start_(text),
          position_(text),
          bindings_(bindings),
          bindingCount_(bindings == nullptr ? 0 : std::max(bindingCount, 0)) {}

    ExpressionTree run(std::int32_t* errorPosition) {
        next();
        Subtree root = list();
        if (token_ != Token::End) {
            if (errorPosition != nullptr) {
                const std::ptrdiff_t consumed = position_ - start_;
                *errorPosition = std::max(clampToInt32(consumed), std::int32_t{1});
            }
            return nullptr;
        }
        fold(*root.node);
        if (errorPosition != nullptr) {
            *errorPosition = 0;
        }
        return std::move(root.node);
    }

  private:
    enum class Token { End, Error, Separator, Open, Close, Number, Variable, Infix, Function };

    // Counts the nesting of parenthesised lists and function arguments for one level.
    class NestingLevel {
      public:
        explicit NestingLevel(std::int32_t& depth) : depth_(depth) { ++depth_; }
        ~NestingLevel() { --depth_; }
        NestingLevel(const NestingLevel&) = delete;
        NestingLevel& operator=(const NestingLevel&) = delete;
        bool tooDeep() const { return depth_ > ExpressionEvaluator::kMaxDepth; }

      private:
        std::int32_t& depth_;
    };

    void next() {
        for (;;) {
            const char c = *position_;
            if (c == '\0') {
                token_ = Token::End;
                return;
            }
            if ((c >= '0' && c <= '9') || c == '.') {
                char* end = nullptr;
                number_ = strtodC(position_, &end);
                position_ = end;
                token_ = Token::Number;
                return;
            }
            if (c >= 'a' && c <= 'z') {
                const char* name = position_;
                while (isNameCharacter(*position_)) {
                    ++position_;
                }
                lookUp(std::string_view(name, static_cast<std::size_t>(position_ - name)));
                return;
            }
            ++position_;
            switch (c) {
                case '+':
                    return infix(kAdd, &add);
                case '-':
                    return infix(kSubtract, &subtract);
                case '*':
                    return infix(kMultiply, &multiply);
                case '/':
                    return infix(kDivide, &divide);
                case '%':
                    return infix(kRemainder, &remainder);
                case '^':
                    return infix(kPower, &power);
                case '(':
                    token_ = Token::Open;
                    return;
                case ')':
                    token_ = Token::Close;
                    return;
                case ',':
                    token_ = Token::Separator;
                    return;
                case ' ':
                case '\t':
                case '\r':
                case '\n':
                    continue;
                default:
                    token_ = Token::Error;
                    return;
            }
        }
    }

    void infix(Operation operation, double (*function)(double, double)) {
        token_ = Token::Infix;
        operation_ = operation;
        function_ = generic(function);
    }

    void lookUp(std::string_view name) {
        const VariableBinding* found = nullptr;
        for (std::int32_t i = 0; i < bindingCount_; ++i) {
            if (hasName(bindings_[i], name)) {
                found = &bindings_[i];
                break;
            }
        }
        if (found == nullptr) {
            const auto& table = kBuiltins;
            const auto row =
                std::lower_bound(table.begin(), table.end(), name,
                                 [](const VariableBinding& entry, std::string_view key) {
                                     return std::string_view(entry.name) < key;
                                 });
            if (row != table.end() && std::string_view(row->name) == name) {
                found = &*row;
            }
        }
        if (found == nullptr || !isUsableBinding(*found)) {
            token_ = Token::Error;
            return;
        }
        if (kindType(found->kind) == kKindVariable) {
            token_ = Token::Variable;
            variable_ = found->variable;
            return;
        }
        token_ = Token::Function;
        kind_ = found->kind;
        function_ = found->function;
        context_ = found->context;
    }

    bool isInfix(Operation a, Operation b = kCall, Operation c = kCall) const {
        return token_ == Token::Infix && (operation_ == a || operation_ == b || operation_ == c);
    }

    // An over-tall tree fails like a syntax error: the levels above see no operator.
    void checkHeight(const Subtree& subtree) {
        if (subtree.height > ExpressionEvaluator::kMaxDepth) {
            token_ = Token::Error;
        }
    }

    static Subtree constant(double value) {
        Subtree leaf{std::make_unique<ExpressionNode>(), 0};
        leaf.node->value = value;
        return leaf;
    }

    Subtree binary(Operation operation, GenericFunction function, Subtree left, Subtree right) {
        Subtree result{std::make_unique<ExpressionNode>(), 1 + std::max(left.height, right.height)};
        result.node->kind = kPureBinary;
        result.node->builtinOperation = operation;
        result.node->function = function;
        result.node->parameters[0] = std::move(left.node);
        result.node->parameters[1] = std::move(right.node);
        checkHeight(result);
        return result;
    }

    Subtree list() {
        Subtree result = expr();
        while (token_ == Token::Separator) {
            next();
            result = binary(kComma, generic(&comma), std::move(result), expr());
        }
        return result;
    }

    Subtree expr() {
        Subtree result = term();
        while (isInfix(kAdd, kSubtract)) {
            const Operation operation = operation_;
            const GenericFunction function = function_;
            next();
            result = binary(operation, function, std::move(result), term());
        }
        return result;
    }

    Subtree term() {
        Subtree result = factor();
        while (isInfix(kMultiply, kDivide, kRemainder)) {
            const Operation operation = operation_;
            const GenericFunction function = function_;
            next();
            result = binary(operation, function, std::move(result), factor());
        }
        return result;
    }

    Subtree factor() {
        Subtree result = signedBase();
        while (isInfix(kPower)) {
            const Operation operation = operation_;
            const GenericFunction function = function_;
            next();
            result = binary(operation, function, std::move(result), signedBase());
        }
        return result;
    }

    // Any run of signs before a base; a negative sign becomes one negation node.
    Subtree signedBase() {
        bool negative = false;
        while (isInfix(kAdd, kSubtract)) {
            negative = negative != (operation_ == kSubtract);
            next();
        }
        Subtree operand = base();
        if (!negative) {
            return operand;
        }
        Subtree result{std::make_unique<ExpressionNode>(), operand.height + 1};
        result.node->kind = kPureUnary;
        result.node->builtinOperation = kNegate;
        result.node->function = generic(&negate);
        result.node->parameters[0] = std::move(operand.node);
        checkHeight(result);
        return result;
    }

    Subtree base() {
        switch (token_) {
            case Token::Number: {
                Subtree result = constant(number_);
                next();
                return result;
            }
            case Token::Variable: {
                Subtree result{std::make_unique<ExpressionNode>(), 0};
                result.node->kind = kKindVariable;
                result.node->variable = variable_;
                next();
                return result;
            }
            case Token::Function:
                return call();
            case Token::Open: {
                const NestingLevel level(depth_);
                if (level.tooDeep()) {
                    token_ = Token::Error;
                    return constant(kNaN);
                }
                next();
                Subtree result = list();
                if (token_ != Token::Close) {
                    token_ = Token::Error;
                } else {
                    next();
                }
                return result;
            }
            default:
                token_ = Token::Error;
                return constant(kNaN);
        }
    }

    Subtree call() {
        const std::int32_t arity = kindArity(kind_);
        Subtree result{std::make_unique<ExpressionNode>(), 0};
        ExpressionNode& node = *result.node;
        node.kind = kind_;
        node.function = function_;
        node.builtinOperation = builtinOperation(function_);
        if (kindType(kind_) >= kKindContextFunction) {
            node.context = context_;
        }
        if (arity == 0) {
            // Empty parentheses are optional: pi and pi() are the same.
            next();
            if (token_ == Token::Open) {
                next();
                if (token_ == Token::Close) {
                    next();
                } else {
                    token_ = Token::Error;
                }
            }
            return result;
        }
        const NestingLevel level(depth_);
        if (level.tooDeep()) {
            token_ = Token::Error;
            return result;
        }
        next();
        if (arity == 1) {
            // A single argument needs no parentheses and binds like a signed base:
            // sqrt 4^2 is (sqrt 4)^2.
            Subtree argument = signedBase();
            result.height = argument.height + 1;
            node.parameters[0] = std::move(argument.node);
            checkHeight(result);
            return result;
        }
        if (token_ != Token::Open) {
            token_ = Token::Error;
            return result;
        }
        std::int32_t count = 0;
        while (count < arity) {
            next();
            Subtree argument = expr();
            result.height = std::max(result.height, argument.height + 1);
            node.parameters[static_cast<std::size_t>(count)] = std::move(argument.node);
            ++count;
            if (token_ != Token::Separator) {
                break;
            }
        }
        if (count != arity || token_ != Token::Close) {
            token_ = Token::Error;
            return result;
        }
        checkHeight(result);
        if (token_ != Token::Error) {
            next();
        }
        return result;
    }

    // Replaces every pure sub-tree whose arguments all fold to constants by its value.
    // The children of an impure node are left exactly as parsed.
    static void fold(ExpressionNode& node) {
        const std::int32_t type = kindType(node.kind);
        if (type == kKindVariable || type == kKindConstant || !isPure(node.kind)) {
            return;
        }
        bool constantArguments = true;
        const auto arity = static_cast<std::size_t>(kindArity(node.kind));
        for (std::size_t i = 0; i < arity; ++i) {
            fold(*node.parameters[i]);
            constantArguments = constantArguments && node.parameters[i]->kind == kKindConstant;
        }
        if (!constantArguments) {
            return;
        }
        const double value = evaluateNode(node);
        for (std::size_t i = 0; i < arity; ++i) {
            node.parameters[i].reset();
        }
        node.kind = kKindConstant;
        node.builtinOperation = kCall;
        node.value = value;
        node.context = nullptr;
    }

    const char* start_;
    const char* position_;
    Token token_ = Token::End;
    double number_ = 0.0;
    Operation operation_ = kCall;
    GenericFunction function_ = nullptr;
    const double* variable_ = nullptr;
    std::int32_t kind_ = kKindConstant;
    void* context_ = nullptr;
    const VariableBinding* bindings_;
    std::int32_t bindingCount_;
    std::int32_t depth_ = 0;
};

}  // namespace

ExpressionTree ExpressionEvaluator::compile(const char* text, const VariableBinding* bindings,
                                            std::int32_t bindingCount,
                                            std::int32_t* errorPosition) {
    Compiler compiler(text == nullptr ? "" : text, bindings, bindingCount);
    return compiler.run(errorPosition);
}

double ExpressionEvaluator::evaluate(const ExpressionNode* tree) {
    return operand(tree);
}

void ExpressionEvaluator::release(ExpressionTree& tree) noexcept {
    tree.reset();
}

void KeptExpression::compile(const char* text, const char* const* names, std::size_t inputCount) {
    *this = KeptExpression();
    auto inputs = std::make_unique<double[]>(inputCount);
    std::vector<VariableBinding> bindings;
    bindings.reserve(inputCount);
    for (std::size_t index = 0; index < inputCount; ++index) {
        bindings.push_back(bindVariable(names[index], &inputs[index]));
    }
    ExpressionTree tree =
        ExpressionEvaluator::compile(text, bindings.data(), static_cast<std::int32_t>(inputCount));
    text_ = text == nullptr ? "" : text;
    inputs_ = std::move(inputs);
    inputCount_ = inputCount;
    tree_ = std::move(tree);
    compiled_ = true;
}

}  // namespace tavisto
