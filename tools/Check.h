#pragma once
// herald check: reads a config.json as the plugin would and says, in an
// admin's words, what would go wrong or surprise on a live server.

#include <ostream>
#include <string>
#include <vector>

namespace Herald {

enum class Severity { Error, Warning };

struct Finding {
    Severity severity;
    std::string path;  // JSON pointer into the document ("" for the file itself)
    std::string message;
};

std::vector<Finding> CheckConfigFile(const std::string& path);

// 0 with nothing to report, 1 with warnings only, 2 with errors.
int CheckExitStatus(const std::vector<Finding>& findings);

// `herald check`: prints the findings (one JSON object a line with json) and
// returns the exit status.
int CheckCommand(const std::string& path, bool json, std::ostream& out);

}  // namespace Herald
