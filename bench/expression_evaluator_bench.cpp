// Compile + evaluate + release per call (what every drawing of a counter with several
// references does) and evaluate-only, against muparser's parse + evaluate and
// evaluate-only on the same texts. Prints the ratios after the runs.

#include <benchmark/benchmark.h>
#include <muParser.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "config/meter_model.h"
#include "cpu_time_reporter.h"
#include "expression/expression_evaluator.h"
#include "sampling/counter_value.h"

namespace {

const char* const kTexts[] = {
    "a / b * 100",
    "(a + b) / 1048576",
    "a - b",
    "pow(a, 2) + sqrt(b) * 0.5",
    "abs(a - b) / (a + b + 1)",
    "100 * (1 - a / b)",
};
constexpr int kTextCount = static_cast<int>(std::size(kTexts));

struct Samples {
    double a = 1536.0;
    double b = 4096.0;
};

std::vector<tavisto::VariableBinding> bindingsFor(Samples& samples) {
    return {tavisto::bindVariable("a", &samples.a), tavisto::bindVariable("b", &samples.b)};
}

double muparserPow(double base, double exponent) {
    return std::pow(base, exponent);
}

// muparser has "^" but no pow function; it is defined like any caller function.
void prepare(mu::Parser& parser, Samples& samples) {
    parser.DefineVar("a", &samples.a);
    parser.DefineVar("b", &samples.b);
    parser.DefineFun("pow", &muparserPow);
}

void tavistoCompileEvaluate(benchmark::State& state, const char* text) {
    Samples samples;
    const auto bindings = bindingsFor(samples);
    for (auto _ : state) {
        tavisto::ExpressionTree tree =
            tavisto::ExpressionEvaluator::compile(text, bindings.data(), 2);
        benchmark::DoNotOptimize(tavisto::ExpressionEvaluator::evaluate(tree.get()));
        tavisto::ExpressionEvaluator::release(tree);
    }
}

void tavistoEvaluate(benchmark::State& state, const char* text) {
    Samples samples;
    const auto bindings = bindingsFor(samples);
    const tavisto::ExpressionTree tree =
        tavisto::ExpressionEvaluator::compile(text, bindings.data(), 2);
    if (tree == nullptr) {
        state.SkipWithError("does not compile");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavisto::ExpressionEvaluator::evaluate(tree.get()));
    }
}

void muparserParseEvaluate(benchmark::State& state, const char* text) {
    Samples samples;
    mu::Parser parser;
    prepare(parser, samples);
    const std::string expression = text;
    for (auto _ : state) {
        parser.SetExpr(expression);
        benchmark::DoNotOptimize(parser.Eval());
    }
}

void muparserEvaluate(benchmark::State& state, const char* text) {
    Samples samples;
    mu::Parser parser;
    prepare(parser, samples);
    parser.SetExpr(text);
    parser.Eval();
    for (auto _ : state) {
        benchmark::DoNotOptimize(parser.Eval());
    }
}

// A counter with two references, as drawn: what keeping a compiled tree per counter
// could save at most is the compile + release part of this.
void currentValueTwoReferences(benchmark::State& state) {
    tavisto::MeterCounter counter;
    counter.expressionText = "100 * (1 - a / b)";
    counter.references["a"];
    counter.references["b"];
    tavisto::CounterSamples samples = tavisto::unsampled(counter);
    samples.references[0].value = 1536.0;
    samples.references[1].value = 4096.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavisto::currentValue(counter, samples));
    }
}

const char* const kKinds[] = {"tavisto_compile_evaluate", "muparser_parse_evaluate",
                              "tavisto_evaluate", "muparser_evaluate"};

void printRatios(const tavisto::bench::CpuTimeReporter& times) {
    std::printf("\n%-28s %10s %10s %7s   %9s %9s %7s\n", "text", "compile+ev", "mu parse+ev",
                "ratio", "evaluate", "mu eval", "ratio");
    for (int i = 0; i < kTextCount; ++i) {
        double nanoseconds[4] = {};
        bool complete = true;
        for (int k = 0; k < 4; ++k) {
            const std::string name = std::string(kKinds[k]) + "/" + std::to_string(i);
            complete = complete && times.ran(name);
            nanoseconds[k] = times.nanoseconds(name);
        }
        if (!complete) {
            continue;
        }
        std::printf("%-28s %8.1fns %9.1fns %6.1fx   %7.1fns %7.1fns %6.2fx\n", kTexts[i],
                    nanoseconds[0], nanoseconds[1], nanoseconds[1] / nanoseconds[0], nanoseconds[2],
                    nanoseconds[3], nanoseconds[3] / nanoseconds[2]);
    }
    std::printf(
        "CPU time per call; ratio = muparser / evaluator (above 1: the evaluator is faster)\n");
}

}  // namespace

int main(int argc, char** argv) {
    using Function = void (*)(benchmark::State&, const char*);
    const Function functions[] = {&tavistoCompileEvaluate, &muparserParseEvaluate, &tavistoEvaluate,
                                  &muparserEvaluate};
    for (int i = 0; i < kTextCount; ++i) {
        for (int k = 0; k < 4; ++k) {
            const std::string name = std::string(kKinds[k]) + "/" + std::to_string(i);
            benchmark::RegisterBenchmark(name.c_str(), functions[k], kTexts[i]);
        }
    }
    benchmark::RegisterBenchmark("current_value_two_references", &currentValueTwoReferences);

    return tavisto::bench::runBenchmarks(argc, argv, printRatios);
}
