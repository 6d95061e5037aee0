#pragma once
// herald check: reads a config.json as the plugin would and says, in an
// admin's words, what would go wrong or surprise on a live server.

#include <ostream>
#include <span>
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

// 0 with nothing to report, 1 with warnings only, 2 with errors.
int CheckExitStatus(const std::vector<Finding>& findings);

// `herald check`: prints the findings (one JSON object a line with json) and
// returns the exit status.
int CheckCommand(const std::string& path, bool json, std::ostream& out);

// A key the plugin reads, and the JSON type it must have to be read without a
// word from check: "boolean", "object", "string", "number", "integer" (a whole
// number within 32 bits), or "ignored" (check warns that it has no effect).
// The pointer's "*" stands for any member name: an item key, an asteroid code.
struct ConfigKey {
    std::string_view pointer;
    std::string_view type;
};
std::span<const ConfigKey> KnownConfigKeys();

}  // namespace Herald
