#pragma once
// Which files are read as config.json, decided once for the plugin, herald
// check and herald preview: a regular file (a link to one is fine) within the
// size limit, read up to that limit whatever its size said.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "config/ConfigLimits.h"

enum class ConfigFileRefusal { CantOpen, NotRegularFile, TooLarge };

// What is known of the file before a byte of it is read.
struct ConfigFileFacts {
    std::filesystem::file_type type = std::filesystem::file_type::not_found;
    std::optional<std::uintmax_t> size;  // none where it could not be taken
    bool Exists() const { return type != std::filesystem::file_type::not_found; }
};

// The facts as the file system gives them for a path, links followed.
ConfigFileFacts ConfigFileFactsOf(const std::filesystem::path& path);

// The refusal the facts call for, in this order: a file that is not there
// can't be opened; one that is no regular file is never opened (a FIFO would
// block the read, a device never end it); one whose size can't be taken can't
// be opened either; one beyond the limit is not read.
std::optional<ConfigFileRefusal> RefusalOf(const ConfigFileFacts& facts);

// The plugin's words for a refusal, as its log line and its RCON reply give them.
const char* RefusalMessage(ConfigFileRefusal refusal);

// The whole file, expected to be expectedSize bytes; readSome(buffer, room)
// reads up to room bytes and gives how many, 0 at the end. None when the file
// has grown past the limit since its size was taken.
template <typename ReadSome>
std::optional<std::string> ReadAtMostTheLimit(std::uintmax_t expectedSize, ReadSome&& readSome) {
    std::string text(static_cast<std::size_t>(std::min<std::uintmax_t>(expectedSize, ConfigFileSizeLimit)) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == text.size()) {
            if (text.size() > ConfigFileSizeLimit) {
                return std::nullopt;
            }
            text.resize(std::min<std::size_t>(text.size() * 2, ConfigFileSizeLimit + 1));
        }
        const std::size_t got = readSome(text.data() + filled, text.size() - filled);
        if (got == 0) {
            break;
        }
        filled += got;
    }
    text.resize(filled);
    return text;
}
