// herald: plays scenarios on the stand-in server with the real plugin library,
// checks config.json files the way the plugin reads them, and previews what
// players would see from one. `herald --help` lists the commands.

#include <iostream>

#include "cli/CommandLine.h"

int main(int argc, char** argv) { return Herald::HeraldMain({argv + 1, argv + argc}, std::cout, std::cerr); }
