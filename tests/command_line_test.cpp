// herald's command line, driven in-process: help and version, arguments that
// don't fit, missing files, and options before or after the file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "PreviewSupport.h"
#include "Support.h"

namespace {

using HeraldTest::Lines;
using HeraldTest::Outcome;
using HeraldTest::ReadFile;
using HeraldTest::Source;
using namespace PreviewTest;
using ::testing::HasSubstr;

TEST(HeraldCommandLine, HelpGoesToStandardOutputWithStatusZero) {
    struct Case {
        std::vector<std::string> arguments;
        const char* usage;
    };
    const Case cases[] = {
        {{"--help"}, "Usage: herald [OPTIONS] SUBCOMMAND"},
        {{"-h"}, "Usage: herald [OPTIONS] SUBCOMMAND"},
        {{"run", "--help"}, "Usage: herald run [OPTIONS] SCENARIO.json"},
        {{"check", "-h"}, "Usage: herald check [OPTIONS] CONFIG.json"},
        {{"preview", "--help"}, "Usage: herald preview [OPTIONS] CONFIG.json"},
        {{"preview", "examples/config.json", "--html", "x.html", "-h"}, "--map TEXT=TheIsland"},
    };
    for (const Case& help : cases) {
        const Outcome outcome = RunHerald(help.arguments);
        EXPECT_EQ(outcome.status, 0) << help.usage;
        EXPECT_THAT(outcome.out, HasSubstr(help.usage));
        EXPECT_EQ(outcome.err, "") << help.usage;
    }
    // The overview names every command.
    const Outcome overview = RunHerald({"--help"});
    for (const char* command : {"run", "check", "preview"}) {
        EXPECT_THAT(overview.out, HasSubstr(std::string("\n  ") + command + "   "));
    }
}

TEST(HeraldCommandLine, VersionIsTheProjects) {
    const std::string cmake = ReadFile(Source / "CMakeLists.txt");
    const std::string project = "project(SkyCrateHerald VERSION ";
    const std::size_t start = cmake.find(project);
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = cmake.find_first_not_of("0123456789.", start + project.size());
    const std::string version = cmake.substr(start + project.size(), end - start - project.size());
    ASSERT_FALSE(version.empty());
    const Outcome outcome = RunHerald({"--version"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "herald " + version + "\nLicence: MIT. Third-party notices: THIRD-PARTY-NOTICES.txt\n");
    EXPECT_EQ(outcome.err, "");
}

TEST(HeraldCommandLine, ArgumentsThatDoNotFitAreOneLineOnStandardErrorWithStatusTwo) {
    struct Case {
        std::vector<std::string> arguments;
        const char* says;
    };
    const Case cases[] = {
        {{}, "A subcommand is required"},
        {{"fly"}, "unknown command \"fly\""},
        {{"Run", "a.json"}, "unknown command \"Run\""},
        {{"run"}, "SCENARIO.json is required"},
        {{"check"}, "CONFIG.json is required"},
        {{"preview", "--json"}, "CONFIG.json is required"},
        {{"run", "a.json", "b.json"}, "not expected: b.json"},
        {{"run", "a.json", "--colour"}, "not expected: --colour"},
        {{"check", "a.json", "--plugin", "p.so"}, "--plugin"},
        {{"check", "a.json", "--html", "p.html"}, "--html"},
        {{"preview", "a.json", "--map"}, "--map"},
        {{"--json", "run", "a.json"}, "--json"},
        // --serve's port: digits from 0 to 65535, and only with --serve.
        {{"preview", "a.json", "--serve", "--port", "abc"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "65536"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "-1"}, "--port"},
        {{"preview", "a.json", "--serve", "--port", "0x1f"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "+80"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "080"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "00"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "99999999999999999999"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", ""}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--port", "8080"}, "--port requires --serve"},
        {{"preview", "a.json", "--serve", "--json"}, "--json excludes --serve"},
        {{"preview", "a.json", "--serve", "--html", "p.html"}, "--html excludes --serve"},
    };
    for (const Case& wrong : cases) {
        const Outcome outcome = RunHerald(wrong.arguments);
        EXPECT_EQ(outcome.status, 2) << wrong.says;
        EXPECT_EQ(outcome.out, "") << wrong.says;
        ASSERT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_THAT(outcome.err, ::testing::StartsWith("herald: ")) << wrong.says;
        EXPECT_THAT(outcome.err, HasSubstr(wrong.says));
        EXPECT_THAT(outcome.err, HasSubstr("herald --help")) << wrong.says;
    }
}

TEST(HeraldCommandLine, MissingFilesAreRefused) {
    const std::string missing = (Source / "no-such-file.json").string();
    // run and preview: one line on standard error.
    for (const char* command : {"run", "preview"}) {
        const Outcome outcome = RunHerald({command, missing});
        EXPECT_EQ(outcome.status, 2) << command;
        EXPECT_EQ(outcome.out, "") << command;
        ASSERT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_THAT(outcome.err, HasSubstr(missing + ": ")) << command;
    }
    // check keeps reporting it as its finding.
    const Outcome check = RunHerald({"check", missing, "--json"});
    EXPECT_EQ(check.status, 2);
    ASSERT_EQ(JsonLines(check.out).size(), 1u);
    EXPECT_THAT(JsonLines(check.out)[0]["message"].get<std::string>(), HasSubstr("Can't open config.json"));
}

TEST(HeraldCommandLine, OptionsGoBeforeOrAfterTheFile) {
    const std::string scenario = (Source / "examples" / "scenarios" / "reload.json").string();
    const std::string plugin = HeraldTest::PluginPath;
    const std::vector<std::vector<std::string>> orders = {
        {"run", scenario, "--json", "--plugin", plugin},
        {"run", "--json", "--plugin", plugin, scenario},
        {"run", "--plugin=" + plugin, scenario, "--json"},
    };
    const Outcome first = RunHerald(orders[0]);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_THAT(Lines(first.out),
                ::testing::ElementsAreArray(Lines(ReadFile(Source / "tests" / "golden" / "reload.jsonl"))));
    for (const auto& order : orders) {
        const Outcome outcome = RunHerald(order);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, first.out);
    }
    for (const auto& order : std::vector<std::vector<std::string>>{{"check", ExampleConfig, "--json"},
                                                                   {"check", "--json", ExampleConfig}}) {
        const Outcome outcome = RunHerald(order);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, "");
    }
}

}  // namespace
