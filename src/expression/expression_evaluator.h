#pragma once
// A small compiler and interpreter for arithmetic over doubles: counter expressions
// after their references were replaced by one-letter variable names.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace tavisto {

// Kind codes shared by bindings and tree nodes. The low five bits say what the entry
// is; the bit of value 32 marks a pure function (result depends only on the arguments,
// no side effects), which lets the compiler evaluate it once when its arguments are
// constants.
inline constexpr std::int32_t kKindVariable = 0;
inline constexpr std::int32_t kKindConstant = 1;          // nodes only
inline constexpr std::int32_t kKindFunction = 8;          // + arity 0..7
inline constexpr std::int32_t kKindContextFunction = 16;  // + arity 0..7
inline constexpr std::int32_t kKindPure = 32;
inline constexpr std::int32_t kMaxArity = 7;

// Stand-in type for any bound function; converted back to its real signature,
// double(*)(double...) or double(*)(void*, double...), by the kind's arity.
using GenericFunction = void (*)();

constexpr std::int32_t kindType(std::int32_t kind) {
    return kind & 31;
}
constexpr bool isPure(std::int32_t kind) {
    return (kind & kKindPure) != 0;
}
constexpr std::int32_t kindArity(std::int32_t kind) {
    return (kind & (kKindFunction | kKindContextFunction)) != 0 ? (kind & 7) : 0;
}

// One name the expression may use: a caller's variable or function.
struct VariableBinding {
    const char* name = nullptr;  // lower-case letters, digits and "_", NUL-terminated
    // A variable's address (kind 0) or, for a function kind, the function itself.
    union {
        const double* variable = nullptr;
        GenericFunction function;
    };
    std::int32_t kind = kKindVariable;
    void* context = nullptr;  // first argument of a kind 16 + n function
};

inline VariableBinding bindVariable(const char* name, const double* variable) {
    VariableBinding binding;
    binding.name = name;
    binding.variable = variable;
    return binding;
}

// Binds double f(double, ...) with as many double parameters as the arity.
template <typename... Doubles>
VariableBinding bindFunction(const char* name, double (*function)(Doubles...), bool pure) {
    static_assert(sizeof...(Doubles) <= kMaxArity);
    static_assert((std::is_same_v<Doubles, double> && ...), "arguments are doubles");
    VariableBinding binding;
    binding.name = name;
    binding.function = reinterpret_cast<GenericFunction>(function);
    binding.kind =
        kKindFunction + static_cast<std::int32_t>(sizeof...(Doubles)) + (pure ? kKindPure : 0);
    return binding;
}

// Binds double f(void* context, double, ...); the context is passed on every call.
template <typename... Doubles>
VariableBinding bindContextFunction(const char* name, double (*function)(void*, Doubles...),
                                    void* context, bool pure) {
    static_assert(sizeof...(Doubles) <= kMaxArity);
    static_assert((std::is_same_v<Doubles, double> && ...), "arguments are doubles");
    VariableBinding binding;
    binding.name = name;
    binding.function = reinterpret_cast<GenericFunction>(function);
    binding.kind = kKindContextFunction + static_cast<std::int32_t>(sizeof...(Doubles)) +
                   (pure ? kKindPure : 0);
    binding.context = context;
    return binding;
}

// One node of a compiled expression. A node owns its parameter nodes; variables are
// only referred to, so the caller's doubles must outlive every evaluation.
struct ExpressionNode {
    std::int32_t kind = kKindConstant;
    // Marks the compiler's own operators and common built-ins, which evaluation computes
    // inline instead of calling `function` (same function, same result); 0 for any other
    // node.
    std::uint8_t builtinOperation = 0;
    union {
        double value = 0.0;        // kind 1
        const double* variable;    // kind 0
        GenericFunction function;  // function kinds
    };
    // One child per argument in argument order; slots past the arity stay empty.
    std::array<std::unique_ptr<ExpressionNode>, kMaxArity> parameters;
    void* context = nullptr;  // handed to a kind 16 + n function
};

// Owns a whole compiled tree; an empty handle stands for a failed compile.
using ExpressionTree = std::unique_ptr<ExpressionNode>;

class ExpressionEvaluator {
  public:
    // Trees nested deeper than this (parentheses, function arguments, operator chains)
    // do not compile: the evaluator recurses over the tree and runs on a thread of
    // the shell's process, whose stack must not be exhausted by a configuration text.
    static constexpr std::int32_t kMaxDepth = 256;

    // Compiles a NUL-terminated text. Names are looked up in the bindings first (the
    // first entry with the same name wins), then among the built-in functions and
    // constants; every sub-tree that does not depend on a variable or on an impure
    // function is folded into a constant.
    // On success *errorPosition is 0. On a syntax error the result is empty and
    // *errorPosition is the number of characters read when parsing stopped, at least 1.
    // Running out of memory throws std::bad_alloc; the partly built tree is freed.
    static ExpressionTree compile(const char* text, const VariableBinding* bindings,
                                  std::int32_t bindingCount, std::int32_t* errorPosition = nullptr);

    // The value of the tree with the variables' current values; NaN for an empty tree.
    static double evaluate(const ExpressionNode* tree);

    // Frees the tree and every node below it now, leaving the handle empty. Destroying
    // the handle does the same.
    static void release(ExpressionTree& tree) noexcept;
};

// An expression compiled once and kept with its owner, over input slots of its own:
// the owner copies the current values into inputs() and evaluates again, without
// compiling or allocating. A copy starts uncompiled, since a tree refers to the slots
// of the object that compiled it; a move keeps the slots where they are.
class KeptExpression {
  public:
    KeptExpression() = default;
    KeptExpression(const KeptExpression&) noexcept {}
    KeptExpression& operator=(const KeptExpression& other) noexcept {
        if (this != &other) {
            *this = KeptExpression();
        }
        return *this;
    }
    KeptExpression(KeptExpression&&) noexcept = default;
    KeptExpression& operator=(KeptExpression&&) noexcept = default;
    ~KeptExpression() = default;

    // Whether the last compile was of this text with this many inputs (a text that did
    // not compile counts: it is not tried again).
    bool compiledFrom(std::string_view text, std::size_t inputCount) const {
        return compiled_ && inputCount_ == inputCount && text_ == text;
    }
    // Compiles the NUL-terminated text with input i named names[i]. Throws
    // std::bad_alloc when out of memory, leaving the object uncompiled.
    void compile(const char* text, const char* const* names, std::size_t inputCount);
    // Undefined before a compile; inputCount slots.
    double* inputs() { return inputs_.get(); }
    // NaN when the text did not compile.
    double evaluate() const { return ExpressionEvaluator::evaluate(tree_.get()); }
    // Whether the last compile found the text malformed.
    bool malformed() const { return compiled_ && tree_.get() == nullptr; }

  private:
    std::string text_;
    std::unique_ptr<double[]> inputs_;
    std::size_t inputCount_ = 0;
    ExpressionTree tree_;
    bool compiled_ = false;
};

}  // namespace tavisto
