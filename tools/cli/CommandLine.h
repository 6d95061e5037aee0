#pragma once
// herald's command line: its subcommands, options, help and version.

#include <ostream>
#include <string>
#include <vector>

namespace Herald {

// Runs herald with these arguments (the program's name left out) and returns
// the exit status: the command's own, 0 for --help and --version, 2 for
// arguments that don't fit (one line on err).
int HeraldMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace Herald
