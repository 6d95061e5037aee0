#pragma once
// herald check: reads a config.json as the plugin would and says, in an
// admin's words, what would go wrong or surprise on a live server.

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace Herald {

enum class Severity { Error, Warning };

struct Finding {
    Severity severity;
    std::string path;  // JSON pointer into the document ("" for the file itself)
    std::string message;
};

// Only a regular file is opened; a folder, a pipe or a device is reported as
// what it is, and a file larger than the plugin reads is not read either.
std::vector<Finding> CheckConfigFile(const std::string& path);

// The same for the bytes of a file, as the plugin would read them from one.
std::vector<Finding> CheckConfigText(std::string_view text);

// A config file read once and checked, for herald preview to plan with.
struct CheckedConfig {
    std::vector<Finding> findings;
    // The file's bytes; none when it was not read (no regular file, larger
    // than the plugin reads, can't be opened).
    std::optional<std::string> text;
    // The first JSON value of the text as the library parses it (no depth
    // limit), from check's own pass over the text; null when it doesn't parse.
    nlohmann::json document;
    // The keys of the top-level Items object, and the member names of
    // AsteroidGen2's four code maps (Color, Name, PrimaryResources,
    // SecondaryResources), in the order the text gives them, repeats included.
    std::vector<std::string> itemKeys;
    std::vector<std::string> asteroidCodes;
};
CheckedConfig CheckConfigFileOnce(const std::string& path);

// Prints findings as `herald check` does (with json, one JSON object a line;
// otherwise a line each and a summary line naming path) and returns the exit
// status.
int PrintFindings(const std::string& path, const std::vector<Finding>& findings, bool json, std::ostream& out);

// "nothing to report", or "1 error, 2 warnings".
std::string FindingsTally(std::size_t errors, std::size_t warnings);

// 0 with nothing to report, 1 with warnings only, 2 with errors.
int CheckExitStatus(const std::vector<Finding>& findings);

// `herald check`: prints the findings (one JSON object a line with json) and
// returns the exit status.
int CheckCommand(const std::string& path, bool json, std::ostream& out);

}  // namespace Herald
