// herald: plays scenarios on the stand-in server with the real plugin library,
// and checks config.json files the way the plugin reads them.
//
//   herald run SCENARIO.json [--json] [--plugin PATH]
//   herald check CONFIG.json [--json]

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "Check.h"
#include "Output.h"
#include "Run.h"
#include "Scenario.h"

namespace {

namespace fs = std::filesystem;

constexpr int UsageStatus = 2;

int Usage(const std::string& problem) {
    if (!problem.empty()) {
        std::cerr << "herald: " << problem << "\n";
    }
    std::cerr << "usage: herald run SCENARIO.json [--json] [--plugin PATH]\n"
                 "       herald check CONFIG.json [--json]\n";
    return UsageStatus;
}

// The plugin built beside this program; the build tree's copy otherwise.
std::string DefaultPluginPath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path beside = self.parent_path() / HERALD_PLUGIN_FILE_NAME;
        if (fs::exists(beside, error)) {
            return beside.string();
        }
    }
    return HERALD_PLUGIN_BUILD_PATH;
}

struct Arguments {
    std::string command;
    std::string file;
    bool json = false;
    std::string plugin;
};

std::optional<Arguments> ParseArguments(const std::vector<std::string>& words, std::string& problem) {
    Arguments arguments;
    if (words.empty()) {
        problem = "no command given";
        return std::nullopt;
    }
    arguments.command = words[0];
    if (arguments.command != "run" && arguments.command != "check") {
        problem = "unknown command \"" + arguments.command + "\"";
        return std::nullopt;
    }
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "--json") {
            arguments.json = true;
        } else if (words[i] == "--plugin" && arguments.command == "run") {
            if (i + 1 == words.size()) {
                problem = "--plugin needs a path";
                return std::nullopt;
            }
            arguments.plugin = words[++i];
        } else if (words[i].starts_with("--")) {
            problem = "unknown option " + words[i];
            return std::nullopt;
        } else if (arguments.file.empty()) {
            arguments.file = words[i];
        } else {
            problem = "more than one file given";
            return std::nullopt;
        }
    }
    if (arguments.file.empty()) {
        problem = arguments.command == "run" ? "no scenario file given" : "no config file given";
        return std::nullopt;
    }
    return arguments;
}

int Run(const Arguments& arguments) {
    const std::string plugin = arguments.plugin.empty() ? DefaultPluginPath() : arguments.plugin;
    return Herald::RunCommand(arguments.file, plugin,
                              arguments.json ? Herald::TranscriptFormat::Json : Herald::TranscriptFormat::Human,
                              std::cout, std::cerr);
}

int Check(const Arguments& arguments) { return Herald::CheckCommand(arguments.file, arguments.json, std::cout); }

}  // namespace

int main(int argc, char** argv) {
    std::string problem;
    const std::optional<Arguments> arguments = ParseArguments(std::vector<std::string>(argv + 1, argv + argc), problem);
    if (!arguments) {
        return Usage(problem);
    }
    return arguments->command == "run" ? Run(*arguments) : Check(*arguments);
}
