#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "config/configuration_checker.h"
#include "support/checker_fixtures.h"

namespace tavisto {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The standard output of a command, and whether it exited with 0.
std::pair<std::string, bool> runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {output, false};
    }
    char buffer[4096];
    for (std::size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, read);
    }
    return {output, pclose(pipe) == 0};
}

TEST(ConfigurationSchema, IsTheOneGeneratedFromTheTableOfKeys) {
    const auto [generated, succeeded] = runCommand(TAVISTO_SCHEMA_TOOL);
    ASSERT_TRUE(succeeded);
    EXPECT_EQ(generated, readFile(TAVISTO_SCHEMA_FILE))
        << "regenerate it: tavisto-schema > schema/TavistoConfig.schema.json";
}

class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "tavisto-schema-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::path();
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

enum class Expected { Valid, Invalid, Either };

struct Document {
    std::string text;
    Expected expected;
};

// What the schema must say of a document, by what the checker says: a document the band
// does not refuse loads, so it is valid (a hotkey Tavisto.exe refuses included); one the
// band refuses for a value's type is invalid.
Expected expectationFor(const std::string& text) {
    const std::vector<Finding> findings = checkConfiguration(text);
    if (!bandRefuses(findings)) {
        return Expected::Valid;
    }
    for (const Finding& finding : findings) {
        if (finding.severity == Severity::Error && finding.code == "type") {
            return Expected::Invalid;
        }
    }
    return Expected::Either;
}

TEST(ConfigurationSchema, AcceptsWhatLoadsAndRefusesEveryTypeError) {
    std::vector<Document> documents;
    const auto add = [&documents](const std::string& text) {
        documents.push_back({text, expectationFor(text)});
    };
    add(readFile(TAVISTO_EXAMPLE_FILE));
    for (const testing::WarningCase& warning : testing::warningCases()) {
        add(warning.triggering);
        add(warning.nearMiss);
    }
    for (const testing::ErrorCase& error : testing::loadErrorCases()) {
        if (error.code != "parse" && error.code != "limit") {
            add(error.text);
        }
    }
    for (const std::string& text : testing::generatedCorpus(1500)) {
        add(text);
    }

    TemporaryFolder folder;
    ASSERT_FALSE(folder.path().empty());
    std::string command =
        std::string("python3 ") + TAVISTO_VALIDATE_SCRIPT + " " + TAVISTO_SCHEMA_FILE;
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const fs::path file = folder.path() / (std::to_string(i) + ".json");
        std::ofstream(file, std::ios::binary) << documents[i].text;
        command += " " + file.string();
    }
    const auto [output, succeeded] = runCommand(command);
    ASSERT_TRUE(succeeded) << "python3 with jsonschema is needed (scripts/setup installs it)";

    std::istringstream verdicts(output);
    std::size_t valid = 0;
    std::size_t invalid = 0;
    for (const Document& document : documents) {
        std::string verdict;
        ASSERT_TRUE(std::getline(verdicts, verdict));
        if (document.expected == Expected::Valid) {
            EXPECT_EQ(verdict, "valid") << document.text;
            ++valid;
        } else if (document.expected == Expected::Invalid) {
            EXPECT_EQ(verdict, "invalid") << document.text;
            ++invalid;
        }
    }
    EXPECT_GT(valid, 500U);
    EXPECT_GT(invalid, 300U);
}

}  // namespace
}  // namespace tavisto
