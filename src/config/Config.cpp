#include "config/Config.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "config/ConfigFile.h"
#include "config/ConfigLimits.h"
#include "config/RelayReaders.h"
#include "game/ArkApi.h"
#include "plugin/PluginName.h"

#if defined(_WIN32)
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

nlohmann::json PluginConfig;
std::string CurrentMapName;

namespace {
PlanBook Plans;
}  // namespace

const PlanBook& CurrentPlans() { return Plans; }

void Replan() { Plans = PlanEveryEntry(PluginConfig, CurrentMapName); }

void SetCurrentMap(std::string name) {
    CurrentMapName = std::move(name);
    Replan();
}

namespace {

using Json = nlohmann::json;

[[noreturn]] void RefuseUnopened() { throw std::runtime_error(ConfigCantOpenMessage); }

void RefuseIfCalledFor(const ConfigFileFacts& facts) {
    if (const std::optional<ConfigFileRefusal> refusal = RefusalOf(facts)) {
        throw std::runtime_error(RefusalMessage(*refusal));
    }
}

template <typename ReadSome>
std::string ReadWhole(std::uintmax_t expectedSize, ReadSome&& readSome) {
    std::optional<std::string> text = ReadAtMostTheLimit(expectedSize, readSome);
    if (!text) {
        throw std::runtime_error(ConfigTooLargeMessage);
    }
    return std::move(*text);
}

// The file is read on the game's thread: whatever is not a regular file (a
// FIFO would block the read forever, a device never end) or is larger than
// the limit is refused before a byte of it is read.
#if defined(_WIN32)

std::string ReadConfigText(const std::string& path) {
    const ConfigFileFacts facts = ConfigFileFactsOf(path);
    RefuseIfCalledFor(facts);
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        RefuseUnopened();
    }
    return ReadWhole(*facts.size, [&file](char* buffer, std::size_t room) {
        file.read(buffer, static_cast<std::streamsize>(room));
        return static_cast<std::size_t>(file.gcount());
    });
}

#else

// Closes the descriptor on every way out of ReadConfigText.
struct OpenFile {
    int descriptor;
    ~OpenFile() {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
};

ConfigFileFacts FactsOf(const struct stat& status) {
    ConfigFileFacts facts;
    facts.type = S_ISREG(status.st_mode) ? std::filesystem::file_type::regular : std::filesystem::file_type::unknown;
    facts.size = static_cast<std::uintmax_t>(status.st_size);
    return facts;
}

std::string ReadConfigText(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        RefuseUnopened();
    }
    RefuseIfCalledFor(FactsOf(status));
    // Non-blocking, and looked at again once open: a FIFO put in the file's
    // place since the first look must not block the open either.
    const OpenFile file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.descriptor < 0 || ::fstat(file.descriptor, &status) != 0) {
        RefuseUnopened();
    }
    RefuseIfCalledFor(FactsOf(status));
    return ReadWhole(static_cast<std::uintmax_t>(status.st_size), [&file](char* buffer, std::size_t room) {
        for (;;) {
            const ssize_t got = ::read(file.descriptor, buffer, room);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                RefuseUnopened();
            }
        }
    });
}

#endif

}  // namespace

void ReadConfig() {
    const std::string path = ArkApi::Tools::GetCurrentDir() + "/" + std::string(PluginsFolder) + "/" + PluginName +
                             "/" + std::string(ConfigFileName);
    const std::string text = ReadConfigText(path);
    // One value from the start of the text, as the library's stream reading
    // takes it (not strict): what follows that value is not examined.
    Json document;
    DepthLimitedBuilder builder(document, PastTheLimit::Stop);
    try {
        Json::sax_parse(text.begin(), text.end(), &builder, Json::input_format_t::json, false);
    } catch (const Json::exception& error) {
        // Its text quotes what was last read, which can be the webhook.
        std::string shown = ParseErrorShown(error.what());
        if (shown == error.what()) {
            throw;
        }
        throw std::runtime_error(std::move(shown));
    }
    if (builder.tooDeep) {
        throw std::runtime_error(ConfigTooDeepMessage);
    }
    PluginConfig = std::move(document);
    Replan();
}
