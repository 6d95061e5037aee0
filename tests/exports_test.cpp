// What the built libraries offer other modules, as binutils' nm reads their
// dynamic symbol tables. The plugin offers its entry alone, whatever the build
// type, so that nothing of it can be bound to another library's symbols or
// theirs to its. (The Windows suite reads the DLL's export table with objdump.)

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "Support.h"

using ::testing::Contains;
using ::testing::HasSubstr;

namespace {

// The names a library defines for other modules, weak ones among them.
std::set<std::string> ExportsOf(const std::string& path) {
    const std::string command = "nm -D --defined-only -P '" + path + "' 2>&1";
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    if (!pipe) {
        ADD_FAILURE() << "can't run " << command;
        return {};
    }
    std::string output;
    char buffer[4096];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
        output.append(buffer, read);
    }
    std::set<std::string> names;
    std::istringstream lines(output);
    for (std::string name, rest; lines >> name && std::getline(lines, rest);) {
        names.insert(name);
    }
    return names;
}

std::string Listed(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += "\n  " + name;
    }
    return text.empty() ? " none" : text;
}

TEST(LibraryExports, ThePluginExportsItsEntryAlone) {
    const std::set<std::string> exports = ExportsOf(HeraldTest::PluginPath);
    EXPECT_EQ(exports, std::set<std::string>{"DllMain"}) << HeraldTest::PluginPath << " exports:" << Listed(exports);
}

// The same reading finds what a library does export, so a plugin that
// exports nothing more is not a table read wrong.
TEST(LibraryExports, TheHostsServicesAreFoundInItsLibrary) {
    const std::set<std::string> exports = ExportsOf(HERALD_HOST_LIBRARY_PATH);
    EXPECT_GT(exports.size(), 20u) << Listed(exports);
    for (const char* service : {"Utf8Decode", "GetApiUtils", "GetCommands", "GetLogSinks"}) {
        EXPECT_THAT(exports, Contains(HasSubstr(service)))
            << HERALD_HOST_LIBRARY_PATH << " exports:" << Listed(exports);
    }
}

}  // namespace
