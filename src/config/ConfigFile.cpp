#include "config/ConfigFile.h"

namespace fs = std::filesystem;

ConfigFileFacts ConfigFileFactsOf(const fs::path& path) {
    ConfigFileFacts facts;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    facts.type = error ? fs::file_type::not_found : status.type();
    if (facts.type == fs::file_type::regular) {
        const std::uintmax_t size = fs::file_size(path, error);
        if (!error) {
            facts.size = size;
        }
    }
    return facts;
}

std::optional<ConfigFileRefusal> RefusalOf(const ConfigFileFacts& facts) {
    if (!facts.Exists()) {
        return ConfigFileRefusal::CantOpen;
    }
    if (facts.type != fs::file_type::regular) {
        return ConfigFileRefusal::NotRegularFile;
    }
    if (!facts.size) {
        return ConfigFileRefusal::CantOpen;
    }
    if (*facts.size > ConfigFileSizeLimit) {
        return ConfigFileRefusal::TooLarge;
    }
    return std::nullopt;
}

const char* RefusalMessage(ConfigFileRefusal refusal) {
    switch (refusal) {
        case ConfigFileRefusal::CantOpen:
            return ConfigCantOpenMessage;
        case ConfigFileRefusal::NotRegularFile:
            return ConfigNotRegularFileMessage;
        case ConfigFileRefusal::TooLarge:
            return ConfigTooLargeMessage;
    }
    return ConfigCantOpenMessage;
}
