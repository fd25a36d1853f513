#include "expression/expression_evaluator.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "support/allocation_count.h"

namespace tavisto {
namespace {

constexpr std::int32_t kPureBinaryKind = 42;

struct Outcome {
    bool compiled = false;
    double value = 0.0;
    std::int32_t errorPosition = -1;
};

Outcome run(const std::string& text, const std::vector<VariableBinding>& bindings = {}) {
    Outcome outcome;
    ExpressionTree tree = ExpressionEvaluator::compile(text.c_str(), bindings.data(),
                                                       static_cast<std::int32_t>(bindings.size()),
                                                       &outcome.errorPosition);
    outcome.compiled = tree != nullptr;
    outcome.value = ExpressionEvaluator::evaluate(tree.get());
    return outcome;
}

double valueOf(const std::string& text, const std::vector<VariableBinding>& bindings = {}) {
    const Outcome outcome = run(text, bindings);
    EXPECT_TRUE(outcome.compiled) << text << " failed at " << outcome.errorPosition;
    EXPECT_EQ(outcome.errorPosition, 0) << text;
    return outcome.value;
}

std::int32_t errorPositionOf(const std::string& text,
                             const std::vector<VariableBinding>& bindings = {}) {
    const Outcome outcome = run(text, bindings);
    EXPECT_FALSE(outcome.compiled) << text << " compiled to " << outcome.value;
    EXPECT_TRUE(std::isnan(outcome.value)) << text;
    return outcome.errorPosition;
}

std::string repeated(const std::string& piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

TEST(ExpressionPrecedence, SignsBindTighterThanPowerWhichIsLeftAssociative) {
    EXPECT_EQ(valueOf("-2^2"), 4.0);
    EXPECT_EQ(valueOf("2^3^2"), 64.0);
    EXPECT_EQ(valueOf("2^-1"), 0.5);
    EXPECT_EQ(valueOf("--3"), 3.0);
    EXPECT_EQ(valueOf("+-+3"), -3.0);
    EXPECT_EQ(valueOf("2 * -3"), -6.0);
}

TEST(ExpressionPrecedence, ProductsBeforeSumsAndEachLevelLeftAssociative) {
    EXPECT_EQ(valueOf("10 - 2 - 3"), 5.0);
    EXPECT_EQ(valueOf("8 / 4 / 2"), 1.0);
    EXPECT_EQ(valueOf("2 + 3 * 4"), 14.0);
    EXPECT_EQ(valueOf("2 * 3 ^ 2"), 18.0);
    EXPECT_EQ(valueOf("(2 + 3) * 4"), 20.0);
    EXPECT_EQ(valueOf("7 - 10 % 4 * 2"), 3.0);
    EXPECT_EQ(valueOf("-7 % 3"), -1.0);
    EXPECT_EQ(valueOf("7 % -3"), 1.0);
}

TEST(ExpressionPrecedence, OneArgumentFunctionTakesOnlyASignedBase) {
    EXPECT_EQ(valueOf("sqrt 16"), 4.0);
    EXPECT_EQ(valueOf("ln e^2"), 1.0);  // (ln e)^2, not ln(e^2)
    EXPECT_EQ(valueOf("ceil 1.5 * 2"), 4.0);
    EXPECT_EQ(valueOf("abs -3 + 1"), 4.0);
    EXPECT_EQ(valueOf("ln(e^2)"), 2.0);
}

TEST(ExpressionNumbers, AcceptWhatStrtodAcceptsInTheCLocale) {
    EXPECT_EQ(valueOf(".5"), 0.5);
    EXPECT_EQ(valueOf("1e3"), 1000.0);
    EXPECT_EQ(valueOf("2.5E-1"), 0.25);
    EXPECT_EQ(valueOf(" \t\r\n42\n"), 42.0);
    EXPECT_EQ(errorPositionOf("."), 1);
    EXPECT_EQ(errorPositionOf("1.5.2"), 5);
}

TEST(ExpressionNumbers, DecimalPointDoesNotFollowTheProcessLocale) {
    EXPECT_EQ(valueOf("1.5 * 2"), 3.0);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "German"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            commaLocale = name;
            break;
        }
    }
    if (commaLocale == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const Outcome outcome = run("1.5 * 2");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_TRUE(outcome.compiled) << commaLocale;
    EXPECT_EQ(outcome.value, 3.0) << commaLocale;
}

TEST(ExpressionComma, YieldsItsRightOperandAtTheLowestPrecedence) {
    EXPECT_EQ(valueOf("1, 2"), 2.0);
    EXPECT_EQ(valueOf("1, 2, 3"), 3.0);
    EXPECT_EQ(valueOf("(1, 2) * 3"), 6.0);
    EXPECT_EQ(valueOf("1 + 1, 2 * 4"), 8.0);
    EXPECT_EQ(valueOf("pow((2, 3), 2)"), 9.0);
}

TEST(ExpressionFunctions, ZeroArgumentFunctionsTakeOptionalEmptyParentheses) {
    EXPECT_EQ(valueOf("e()"), 2.718281828459045);
    EXPECT_EQ(valueOf("e"), 2.718281828459045);
    EXPECT_EQ(valueOf("pi()"), 3.141592653589793);
    EXPECT_EQ(valueOf("ln e"), 1.0);
    EXPECT_EQ(errorPositionOf("pi(1)"), 4);
    EXPECT_EQ(errorPositionOf("pi("), 3);
}

TEST(ExpressionFunctions, SeveralArgumentsNeedParenthesesAndTheExactCount) {
    EXPECT_EQ(valueOf("pow(2, 10)"), 1024.0);
    EXPECT_EQ(valueOf("atan2(1, 1)"), 0.7853981633974483);
    EXPECT_EQ(valueOf("pow(1 + 1, 2 * 2)"), 16.0);
    EXPECT_EQ(errorPositionOf("pow(2)"), 6);
    EXPECT_EQ(errorPositionOf("pow(1, 2, 3)"), 9);
    EXPECT_EQ(errorPositionOf("pow 2, 3"), 5);
    EXPECT_EQ(errorPositionOf("pow(2, 3"), 8);
    EXPECT_EQ(errorPositionOf("sin"), 3);
    EXPECT_EQ(errorPositionOf("sqrt()"), 6);
}

TEST(ExpressionFunctions, EveryBuiltInIsFoundByItsName) {
    // Neighbours in the sorted table (atan/atan2, cos/cosh, e/exp, log/log10) must
    // each resolve to their own row.
    const double x = 0.375;
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"abs -0.375", 0.375},
        {"acos 0.375", std::acos(x)},
        {"asin 0.375", std::asin(x)},
        {"atan 0.375", std::atan(x)},
        {"atan2(0.375, 2)", std::atan2(x, 2.0)},
        {"ceil 0.375", 1.0},
        {"cos 0.375", std::cos(x)},
        {"cosh 0.375", std::cosh(x)},
        {"e", 2.718281828459045},
        {"exp 0.375", std::exp(x)},
        {"floor -0.375", -1.0},
        {"ln 0.375", std::log(x)},
        {"log 1000", 3.0},
        {"log10 0.375", std::log10(x)},
        {"pi", 3.141592653589793},
        {"pow(0.375, 3)", std::pow(x, 3.0)},
        {"sin 0.375", std::sin(x)},
        {"sinh 0.375", std::sinh(x)},
        {"sqrt 0.375", std::sqrt(x)},
        {"tan 0.375", std::tan(x)},
        {"tanh 0.375", std::tanh(x)},
    };
    // Within a few units in the last place: the C runtime's functions need not round
    // like the compiler's own evaluation of the expected values.
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(valueOf(c.text), c.expected) << c.text;
    }
}

TEST(ExpressionErrors, PositionIsTheNumberOfCharactersReadAtLeastOne) {
    EXPECT_EQ(errorPositionOf(""), 1);
    EXPECT_EQ(errorPositionOf("   "), 3);
    EXPECT_EQ(errorPositionOf("2 3"), 3);
    EXPECT_EQ(errorPositionOf("PI"), 1);
    EXPECT_EQ(errorPositionOf("1 + ? + 2"), 5);
    EXPECT_EQ(errorPositionOf("unknown + 1"), 7);
    EXPECT_EQ(errorPositionOf("(1 + 2"), 6);
    EXPECT_EQ(errorPositionOf("1 + 2)"), 6);
    EXPECT_EQ(errorPositionOf("1 +"), 3);
    EXPECT_EQ(errorPositionOf("* 2"), 1);
}

TEST(ExpressionErrors, RejectsCharactersOutsideTheLanguage) {
    for (const char* text : {"A", "_a", "1 \f+ 2", "1 \v+ 2", "a.b", "1 == 1", "!1", "1 < 2",
                             "\xC3\xA4", "(\\Memory\\Available Bytes)"}) {
        const Outcome outcome = run(text);
        EXPECT_FALSE(outcome.compiled) << text;
        EXPECT_GE(outcome.errorPosition, 1) << text;
    }
    EXPECT_EQ(errorPositionOf("1 \f+ 2"), 3);
    EXPECT_EQ(errorPositionOf("1 + \xC3\xA4"), 5);
}

TEST(ExpressionErrors, ErrorPositionIsOptionalAndSetToZeroOnSuccess) {
    EXPECT_EQ(ExpressionEvaluator::compile("1 +", nullptr, 0), nullptr);
    EXPECT_EQ(ExpressionEvaluator::compile(nullptr, nullptr, 0), nullptr);
    std::int32_t position = 99;
    const ExpressionTree tree = ExpressionEvaluator::compile("1 + 1", nullptr, 0, &position);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(position, 0);
}

TEST(ExpressionBindings, VariablesAreReadAtEvaluationTime) {
    double a = 3.0;
    const VariableBinding bindings[] = {bindVariable("a", &a)};
    ExpressionTree tree = ExpressionEvaluator::compile("a * 2", bindings, 1);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(ExpressionEvaluator::evaluate(tree.get()), 6.0);
    a = 5.0;
    EXPECT_EQ(ExpressionEvaluator::evaluate(tree.get()), 10.0);
    ExpressionEvaluator::release(tree);
    EXPECT_EQ(tree, nullptr);
    EXPECT_TRUE(std::isnan(ExpressionEvaluator::evaluate(tree.get())));
    ExpressionEvaluator::release(tree);
}

TEST(ExpressionBindings, CallerNamesHideBuiltInsAndMatchWholeNamesOnly) {
    double e = 10.0;
    double pow = 3.0;
    double name = 7.0;
    double ab = 1.0;
    EXPECT_EQ(valueOf("e * 2", {bindVariable("e", &e)}), 20.0);
    EXPECT_EQ(valueOf("pow * 2", {bindVariable("pow", &pow)}), 6.0);
    EXPECT_EQ(valueOf("a1_x + 1", {bindVariable("a1_x", &name)}), 8.0);
    EXPECT_EQ(valueOf("abs -2", {bindVariable("ab", &ab)}), 2.0);
    EXPECT_EQ(errorPositionOf("a", {bindVariable("ab", &ab)}), 1);
    EXPECT_EQ(errorPositionOf("abc", {bindVariable("ab", &ab)}), 3);
    EXPECT_EQ(valueOf("x", {bindVariable("x", &e), bindVariable("x", &pow)}), 10.0);
}

TEST(ExpressionBindings, MissingOrMalformedTablesAndEntriesReadAsUnknownNames) {
    double a = 1.0;
    VariableBinding withoutAddress = bindVariable("a", nullptr);
    VariableBinding constantKind = bindVariable("a", &a);
    constantKind.kind = kKindConstant;
    VariableBinding bothFunctionBits = bindVariable("a", &a);
    bothFunctionBits.kind = kKindFunction + kKindContextFunction;
    VariableBinding unnamed = bindVariable(nullptr, &a);
    EXPECT_EQ(errorPositionOf("a", {withoutAddress}), 1);
    EXPECT_EQ(errorPositionOf("a", {constantKind}), 1);
    EXPECT_EQ(errorPositionOf("a", {bothFunctionBits}), 1);
    EXPECT_EQ(errorPositionOf("a", {unnamed}), 1);
    EXPECT_EQ(ExpressionEvaluator::compile("a", nullptr, 3), nullptr);
    const VariableBinding bindings[] = {bindVariable("a", &a)};
    EXPECT_EQ(ExpressionEvaluator::compile("a", bindings, -1), nullptr);
}

double digits3(double a, double b, double c) {
    return a * 100 + b * 10 + c;
}

double digits7(double a, double b, double c, double d, double e, double f, double g) {
    return (((((a * 10 + b) * 10 + c) * 10 + d) * 10 + e) * 10 + f) * 10 + g;
}

struct CallLog {
    int calls = 0;
    double next = 0.0;
};

// Impure: every call changes the log, so the order of calls is visible.
double nextNumber(void* context) {
    auto& log = *static_cast<CallLog*>(context);
    ++log.calls;
    return ++log.next;
}

double scaledSum(void* context, double a, double b) {
    auto& log = *static_cast<CallLog*>(context);
    ++log.calls;
    return (a + b) * 10;
}

TEST(ExpressionBindings, CallerFunctionsGetArgumentsInOrderAndTheirContextFirst) {
    CallLog log;
    const std::vector<VariableBinding> bindings = {
        bindFunction("digits", &digits3, true),
        bindFunction("seven", &digits7, true),
        bindContextFunction("next", &nextNumber, &log, false),
        bindContextFunction("sum", &scaledSum, &log, false),
    };
    EXPECT_EQ(bindings[2].kind, kKindContextFunction);
    EXPECT_EQ(bindings[1].kind, kKindPure + kKindFunction + 7);
    EXPECT_EQ(valueOf("digits(1, 2, 3)", bindings), 123.0);
    EXPECT_EQ(valueOf("seven(1, 2, 3, 4, 5, 6, 7)", bindings), 1234567.0);
    EXPECT_EQ(valueOf("digits(next, next, next)", bindings), 123.0);
    EXPECT_EQ(valueOf("sum(1, 2)", bindings), 30.0);
    EXPECT_EQ(errorPositionOf("seven(1, 2, 3, 4, 5, 6)", bindings), 23);
    EXPECT_EQ(errorPositionOf("digits 1", bindings), 8);
}

TEST(ExpressionFolding, VariableFreePureSubtreesBecomeOneConstant) {
    double a = 2.0;
    const VariableBinding bindings[] = {bindVariable("a", &a)};

    const ExpressionTree constant = ExpressionEvaluator::compile("2 * pi", nullptr, 0);
    ASSERT_NE(constant, nullptr);
    EXPECT_EQ(constant->kind, kKindConstant);
    EXPECT_EQ(constant->value, 6.283185307179586);
    EXPECT_EQ(constant->parameters[0], nullptr);

    const ExpressionTree mixed = ExpressionEvaluator::compile("a + 2 * 3", bindings, 1);
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(mixed->kind, kPureBinaryKind);
    EXPECT_EQ(mixed->parameters[0]->kind, kKindVariable);
    EXPECT_EQ(mixed->parameters[1]->kind, kKindConstant);
    EXPECT_EQ(mixed->parameters[1]->value, 6.0);

    const ExpressionTree negation = ExpressionEvaluator::compile("-(1 + a)", bindings, 1);
    ASSERT_NE(negation, nullptr);
    EXPECT_EQ(negation->kind, kKindPure + kKindFunction + 1);
    EXPECT_EQ(ExpressionEvaluator::evaluate(negation.get()), -3.0);
}

TEST(ExpressionFolding, ImpureCallsAndWhatTheyTakeStayAsParsed) {
    CallLog log;
    const std::vector<VariableBinding> bindings = {
        bindContextFunction("next", &nextNumber, &log, false),
        bindContextFunction("pure", &scaledSum, &log, true),
        bindContextFunction("impure", &scaledSum, &log, false),
    };
    const ExpressionTree folded =
        ExpressionEvaluator::compile("pure(1, 2) + 1", bindings.data(), 3);
    ASSERT_NE(folded, nullptr);
    EXPECT_EQ(folded->kind, kKindConstant);
    EXPECT_EQ(folded->value, 31.0);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(ExpressionEvaluator::evaluate(folded.get()), 31.0);
    EXPECT_EQ(log.calls, 1);

    const ExpressionTree kept =
        ExpressionEvaluator::compile("impure(1 + 2, 3)", bindings.data(), 3);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->kind, kKindContextFunction + 2);
    EXPECT_EQ(kept->context, &log);
    EXPECT_EQ(kept->parameters[0]->kind, kPureBinaryKind);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(ExpressionEvaluator::evaluate(kept.get()), 60.0);
    EXPECT_EQ(ExpressionEvaluator::evaluate(kept.get()), 60.0);
    EXPECT_EQ(log.calls, 3);

    const ExpressionTree counting =
        ExpressionEvaluator::compile("next * 0 + 1", bindings.data(), 3);
    ASSERT_NE(counting, nullptr);
    EXPECT_EQ(counting->kind, kPureBinaryKind);
    EXPECT_EQ(ExpressionEvaluator::evaluate(counting.get()), 1.0);
    EXPECT_EQ(log.next, 1.0);
}

TEST(ExpressionArithmetic, FollowsIeeeDoublesWithoutDomainChecks) {
    EXPECT_EQ(valueOf("1 / 0"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(valueOf("-1 / 0"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(valueOf("ln 0"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(valueOf("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(valueOf("0 / 0")));
    EXPECT_TRUE(std::isnan(valueOf("5 % 0")));
    EXPECT_TRUE(std::isnan(valueOf("sqrt(-1)")));
    EXPECT_TRUE(std::isnan(valueOf("acos 2")));
    EXPECT_TRUE(std::signbit(valueOf("-0")));
    EXPECT_TRUE(std::isnan(ExpressionEvaluator::evaluate(nullptr)));

    double zero = 0.0;
    double one = 1.0;
    EXPECT_EQ(valueOf("b / a", {bindVariable("a", &zero), bindVariable("b", &one)}),
              std::numeric_limits<double>::infinity());
}

TEST(ExpressionDepthLimit, NestingUpToTheLimitCompiles) {
    const int limit = ExpressionEvaluator::kMaxDepth;
    EXPECT_EQ(valueOf(repeated("(", limit) + "1" + repeated(")", limit)), 1.0);
    EXPECT_EQ(valueOf(repeated("abs ", limit - 1) + "-1"), 1.0);
    EXPECT_EQ(valueOf(repeated("pow(", limit) + "1" + repeated(", 2)", limit)), 1.0);
    EXPECT_EQ(valueOf("1" + repeated(" + 1", limit)), limit + 1.0);
    EXPECT_EQ(valueOf(repeated("-(", limit - 1) + "1" + repeated(")", limit - 1)), -1.0);
}

TEST(ExpressionDepthLimit, DeeperTextFailsWhereTheLimitWasCrossed) {
    const int limit = ExpressionEvaluator::kMaxDepth;
    EXPECT_EQ(errorPositionOf(repeated("(", limit + 1) + "1" + repeated(")", limit + 1)),
              limit + 1);
    EXPECT_EQ(errorPositionOf(repeated("(", 100000)), limit + 1);
    EXPECT_EQ(errorPositionOf(repeated("abs ", limit + 1) + "1"), 4 * (limit + 1) - 1);
    EXPECT_EQ(errorPositionOf("1" + repeated(" + 1", limit + 1)), 4 * (limit + 1) + 1);
    EXPECT_EQ(errorPositionOf(repeated("-(", limit + 1) + "1" + repeated(")", limit + 1)),
              2 * (limit + 1));

    double a = 1.0;
    const Outcome longChain = run("a" + repeated("+a", 100000), {bindVariable("a", &a)});
    EXPECT_FALSE(longChain.compiled);
    EXPECT_EQ(longChain.errorPosition, 2 * (limit + 1) + 2);
}

TEST(ExpressionDepthLimit, RunsOfSignsDoNotNest) {
    EXPECT_EQ(valueOf(repeated("-", 100000) + "2"), 2.0);
    EXPECT_EQ(valueOf(repeated("-", 100001) + "2"), -2.0);
}

TEST(ExpressionMemory, ExhaustionDuringCompileFreesThePartialTree) {
    double a = 2.0;
    double b = 9.0;
    const VariableBinding bindings[] = {bindVariable("a", &a), bindVariable("b", &b)};
    const char* text = "pow(a, 2) + sqrt(b) * (1, 2) - -pi + abs(a - b) / (a + b + 1)";
    const double expected = 4.0 + 3.0 * 2.0 + 3.141592653589793 + 7.0 / 12.0;
    bool compiled = false;
    for (long failAt = 0; !compiled && failAt < 1000; ++failAt) {
        const long before = testing::liveAllocations();
        testing::failAllocationAfter(failAt);
        try {
            ExpressionTree tree = ExpressionEvaluator::compile(text, bindings, 2);
            testing::failAllocationAfter(-1);
            ASSERT_NE(tree, nullptr);
            EXPECT_EQ(ExpressionEvaluator::evaluate(tree.get()), expected);
            EXPECT_GT(failAt, 10);
            compiled = true;
            ExpressionEvaluator::release(tree);
        } catch (const std::bad_alloc&) {
            testing::failAllocationAfter(-1);
        }
        EXPECT_EQ(testing::liveAllocations(), before) << "allocation " << failAt << " failed";
    }
    EXPECT_TRUE(compiled);
}

}  // namespace
}  // namespace tavisto
