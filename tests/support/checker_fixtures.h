#pragma once
// Configuration documents shared by the checker's tests and the schema's: what each one
// should make the checker say.

#include <cstddef>
#include <string>
#include <vector>

namespace tavisto::testing {

std::string withMeter(const std::string& meter);
std::string withCounter(const std::string& counter, const std::string& meterType = "column");

// A document that raises one warning, and a near miss that must not raise it.
struct WarningCase {
    const char* code;
    std::string triggering;
    std::string pointer;
    std::string nearMiss;
};

std::vector<WarningCase> warningCases();

// A document the band refuses, and where and how the checker must say so.
struct ErrorCase {
    std::string text;
    std::string code;
    std::string pointer;
    std::size_t line;
    std::size_t column;
    std::string message;
};
std::vector<ErrorCase> loadErrorCases();

// Random documents near the configuration's shape (the same ones for every run): known
// and unknown keys, right and wrong types, lists written every way the loader takes them.
std::vector<std::string> generatedCorpus(std::size_t count);

}  // namespace tavisto::testing
