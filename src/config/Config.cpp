#include "config/Config.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "config/ConfigLimits.h"
#include "game/ArkApi.h"
#include "plugin/PluginName.h"

#if defined(_WIN32)
#include <filesystem>
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

nlohmann::json PluginConfig;

namespace {

using Json = nlohmann::json;

[[noreturn]] void RefuseUnopened() { throw std::runtime_error(ConfigCantOpenMessage); }

// The whole file, expected to be expectedSize bytes; readSome(buffer, room)
// reads up to room bytes and gives how many, 0 at the end. A file that has
// grown past the limit since its size was taken is refused all the same.
template <typename ReadSome>
std::string ReadAtMostTheLimit(std::uintmax_t expectedSize, ReadSome&& readSome) {
    std::string text(static_cast<std::size_t>(expectedSize) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == text.size()) {
            if (text.size() > ConfigFileSizeLimit) {
                throw std::runtime_error(ConfigTooLargeMessage);
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

// The file is read on the game's thread: whatever is not a regular file (a
// FIFO would block the read forever, a device never end) or is larger than
// the limit is refused before a byte of it is read.
#if defined(_WIN32)

std::string ReadConfigText(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        RefuseUnopened();
    }
    if (!std::filesystem::is_regular_file(status)) {
        throw std::runtime_error(ConfigNotRegularFileMessage);
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        RefuseUnopened();
    }
    if (size > ConfigFileSizeLimit) {
        throw std::runtime_error(ConfigTooLargeMessage);
    }
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        RefuseUnopened();
    }
    return ReadAtMostTheLimit(size, [&file](char* buffer, std::size_t room) {
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

void RefuseUnlessSmallRegularFile(const struct stat& status) {
    if (!S_ISREG(status.st_mode)) {
        throw std::runtime_error(ConfigNotRegularFileMessage);
    }
    if (static_cast<std::uintmax_t>(status.st_size) > ConfigFileSizeLimit) {
        throw std::runtime_error(ConfigTooLargeMessage);
    }
}

std::string ReadConfigText(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        RefuseUnopened();
    }
    RefuseUnlessSmallRegularFile(status);
    // Non-blocking, and looked at again once open: a FIFO put in the file's
    // place since the first look must not block the open either.
    const OpenFile file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.descriptor < 0 || ::fstat(file.descriptor, &status) != 0) {
        RefuseUnopened();
    }
    RefuseUnlessSmallRegularFile(status);
    return ReadAtMostTheLimit(static_cast<std::uintmax_t>(status.st_size), [&file](char* buffer, std::size_t room) {
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

// The library's own document builder, counting the arrays and objects open
// around the value at hand. The text is refused at the first one that would
// go deeper than the limit, so a deep text never costs more than that many
// open containers.
struct DepthLimitedBuilder {
    nlohmann::detail::json_sax_dom_parser<Json> builder;
    int depth = 0;

    void Enter() {
        if (++depth > ConfigDepthLimit) {
            throw std::runtime_error(ConfigTooDeepMessage);
        }
    }

    bool null() { return builder.null(); }
    bool boolean(bool value) { return builder.boolean(value); }
    bool number_integer(Json::number_integer_t value) { return builder.number_integer(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return builder.number_unsigned(value); }
    bool number_float(Json::number_float_t value, const Json::string_t& text) {
        return builder.number_float(value, text);
    }
    bool string(Json::string_t& value) { return builder.string(value); }
    bool binary(Json::binary_t& value) { return builder.binary(value); }
    bool start_object(std::size_t size) {
        Enter();
        return builder.start_object(size);
    }
    bool key(Json::string_t& value) { return builder.key(value); }
    bool end_object() {
        --depth;
        return builder.end_object();
    }
    bool start_array(std::size_t size) {
        Enter();
        return builder.start_array(size);
    }
    bool end_array() {
        --depth;
        return builder.end_array();
    }
    template <typename Exception>
    bool parse_error(std::size_t position, const std::string& lastToken, const Exception& error) {
        return builder.parse_error(position, lastToken, error);
    }
};

}  // namespace

void ReadConfig() {
    const std::string path = ArkApi::Tools::GetCurrentDir() + "/" + std::string(PluginsFolder) + "/" + PluginName +
                             "/" + std::string(ConfigFileName);
    const std::string text = ReadConfigText(path);
    // One value from the start of the text, as the library's stream reading
    // takes it (not strict): what follows that value is not examined.
    Json document;
    DepthLimitedBuilder builder{nlohmann::detail::json_sax_dom_parser<Json>(document)};
    Json::sax_parse(text.begin(), text.end(), &builder, Json::input_format_t::json, false);
    PluginConfig = std::move(document);
}
