// What the built libraries offer other modules, read from the files as the
// system's loader reads them: the dynamic symbol table of an ELF library, the
// export table of a Windows DLL. The plugin offers its entry alone, whatever
// the build type, so that nothing of it can be bound to another library's
// symbols or theirs to its.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "Support.h"

using ::testing::Contains;
using ::testing::HasSubstr;

namespace {

// A library file's bytes, read as little-endian numbers at given offsets; a
// read beyond the end means the file is not what its headers say.
class LibraryBytes {
public:
    explicit LibraryBytes(std::string bytes) : bytes_(std::move(bytes)) {}

    std::uint64_t Number(std::uint64_t at, std::size_t size) const {
        Require(at, size);
        std::uint64_t value = 0;
        for (std::size_t i = size; i-- > 0;) {
            value = (value << 8) | static_cast<unsigned char>(bytes_[at + i]);
        }
        return value;
    }

    // The zero-terminated name at that offset.
    std::string Name(std::uint64_t at) const {
        Require(at, 1);
        const std::size_t end = bytes_.find('\0', at);
        if (end == std::string::npos) {
            throw std::runtime_error("a name runs past the end of the file");
        }
        return bytes_.substr(at, end - at);
    }

    bool StartsWith(std::string_view magic) const { return std::string_view(bytes_).starts_with(magic); }

private:
    void Require(std::uint64_t at, std::uint64_t size) const {
        if (at > bytes_.size() || size > bytes_.size() - at) {
            throw std::runtime_error("a header points past the end of the file");
        }
    }

    std::string bytes_;
};

// The symbols a 64-bit little-endian ELF library defines for other modules:
// those of its dynamic symbol table that are defined in it, bound globally or
// weakly, and of default or protected visibility.
std::set<std::string> ElfExports(const LibraryBytes& file) {
    if (file.Number(4, 1) != 2 || file.Number(5, 1) != 1) {
        throw std::runtime_error("not a 64-bit little-endian ELF file");
    }
    const std::uint64_t sections = file.Number(0x28, 8);
    const std::uint64_t sectionSize = file.Number(0x3A, 2);
    const std::uint64_t sectionCount = file.Number(0x3C, 2);
    const auto section = [&](std::uint64_t index) { return sections + index * sectionSize; };
    constexpr std::uint64_t DynamicSymbols = 11;
    std::set<std::string> exports;
    for (std::uint64_t index = 0; index < sectionCount; ++index) {
        if (file.Number(section(index) + 4, 4) != DynamicSymbols) {
            continue;
        }
        const std::uint64_t table = file.Number(section(index) + 0x18, 8);
        const std::uint64_t tableSize = file.Number(section(index) + 0x20, 8);
        const std::uint64_t entrySize = file.Number(section(index) + 0x38, 8);
        const std::uint64_t names = file.Number(section(file.Number(section(index) + 0x28, 4)) + 0x18, 8);
        if (entrySize == 0) {
            throw std::runtime_error("a dynamic symbol table with entries of no size");
        }
        // Entry 0 is the undefined symbol every table begins with.
        for (std::uint64_t symbol = table + entrySize; symbol + entrySize <= table + tableSize; symbol += entrySize) {
            const std::uint64_t binding = file.Number(symbol + 4, 1) >> 4;
            const std::uint64_t visibility = file.Number(symbol + 5, 1) & 3;
            const bool defined = file.Number(symbol + 6, 2) != 0;
            const bool global = binding == 1 || binding == 2 || binding == 10;  // global, weak, unique
            const bool visible = visibility == 0 || visibility == 3;            // default, protected
            if (defined && global && visible) {
                exports.insert(file.Name(names + file.Number(symbol, 4)));
            }
        }
    }
    return exports;
}

// The names a Windows DLL exports (PE32 or PE32+); an export by ordinal alone
// is listed as "#" and its ordinal.
std::set<std::string> PeExports(const LibraryBytes& file) {
    const std::uint64_t pe = file.Number(0x3C, 4);
    if (file.Number(pe, 4) != 0x4550) {
        throw std::runtime_error("no PE header where the DOS header says");
    }
    const std::uint64_t sectionCount = file.Number(pe + 6, 2);
    const std::uint64_t optional = pe + 24;
    const std::uint64_t sectionTable = optional + file.Number(pe + 20, 2);
    const bool plus = file.Number(optional, 2) == 0x20B;
    const std::uint64_t directoryCount = file.Number(optional + (plus ? 108 : 92), 4);
    const std::uint64_t exportDirectory = directoryCount > 0 ? file.Number(optional + (plus ? 112 : 96), 4) : 0;
    if (exportDirectory == 0) {
        return {};
    }
    // Where an address of the loaded image lies in the file.
    const auto offset = [&](std::uint64_t address) {
        for (std::uint64_t index = 0; index < sectionCount; ++index) {
            const std::uint64_t header = sectionTable + index * 40;
            const std::uint64_t start = file.Number(header + 12, 4);
            const std::uint64_t size = std::max(file.Number(header + 8, 4), file.Number(header + 16, 4));
            if (address >= start && address < start + size) {
                return file.Number(header + 20, 4) + (address - start);
            }
        }
        throw std::runtime_error("an address in no section");
    };
    const std::uint64_t directory = offset(exportDirectory);
    const std::uint64_t ordinalBase = file.Number(directory + 16, 4);
    const std::uint64_t functionCount = file.Number(directory + 20, 4);
    const std::uint64_t nameCount = file.Number(directory + 24, 4);
    std::set<std::string> exports;
    std::set<std::uint64_t> named;
    for (std::uint64_t i = 0; i < nameCount; ++i) {
        exports.insert(file.Name(offset(file.Number(offset(file.Number(directory + 32, 4)) + i * 4, 4))));
        named.insert(file.Number(offset(file.Number(directory + 36, 4)) + i * 2, 2));
    }
    const std::uint64_t functions = functionCount > 0 ? offset(file.Number(directory + 28, 4)) : 0;
    for (std::uint64_t i = 0; i < functionCount; ++i) {
        if (!named.contains(i) && file.Number(functions + i * 4, 4) != 0) {
            exports.insert("#" + std::to_string(ordinalBase + i));
        }
    }
    return exports;
}

std::set<std::string> ExportsOf(const std::string& path) {
    const LibraryBytes file(HeraldTest::ReadFile(path));
    if (file.StartsWith("\x7F"
                        "ELF")) {
        return ElfExports(file);
    }
    if (file.StartsWith("MZ")) {
        return PeExports(file);
    }
    throw std::runtime_error(path + " is neither an ELF nor a PE file");
}

std::string Listed(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += "\n  " + name;
    }
    return text.empty() ? " none" : text;
}

// The framework finds the plugin by its entry: on Windows DllMain is the DLL's
// entry point, reached through the image's header and exported by no name; an
// ELF library has no such header, and the stand-in's loader looks DllMain up.
TEST(LibraryExports, ThePluginExportsItsEntryAlone) {
#if defined(_WIN32)
    const std::set<std::string> entry;
#else
    const std::set<std::string> entry = {"DllMain"};
#endif
    const std::set<std::string> exports = ExportsOf(HeraldTest::PluginPath);
    EXPECT_TRUE(exports == entry) << HeraldTest::PluginPath << " exports:" << Listed(exports)
                                  << "\nwhere its entry alone is:" << Listed(entry);
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
