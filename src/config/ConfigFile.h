#pragma once
// Which files are read as config.json, and how, decided once for the plugin,
// herald check and herald preview: a regular file (a link to one is fine)
// within the size limit, read up to that limit whatever its size said, its
// text parsed within the depth limit.

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
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

// The library's document builder, counting the arrays and objects open around
// the value at hand. At the first one that would go deeper than the limit,
// tooDeep is set and the parse stops, so a deep text never costs more than
// that many open containers. With PastTheLimit::Build (herald's preview, which
// shows the entries of a file the plugin refuses) the value is built whole.
enum class PastTheLimit { Stop, Build };

class DepthLimitedBuilder : public nlohmann::json_sax<nlohmann::json> {
public:
    DepthLimitedBuilder(nlohmann::json& document, PastTheLimit past) : builder_(document), past_(past) {}

    bool tooDeep = false;
    std::size_t Depth() const { return depth_; }  // arrays and objects open

    bool null() override { return builder_.null(); }
    bool boolean(bool value) override { return builder_.boolean(value); }
    bool number_integer(number_integer_t value) override { return builder_.number_integer(value); }
    bool number_unsigned(number_unsigned_t value) override { return builder_.number_unsigned(value); }
    bool number_float(number_float_t value, const string_t& text) override {
        return builder_.number_float(value, text);
    }
    bool string(string_t& value) override { return builder_.string(value); }
    bool binary(binary_t& value) override { return builder_.binary(value); }
    bool start_object(std::size_t size) override { return Enter() && builder_.start_object(size); }
    bool key(string_t& value) override { return builder_.key(value); }
    bool end_object() override {
        --depth_;
        return builder_.end_object();
    }
    bool start_array(std::size_t size) override { return Enter() && builder_.start_array(size); }
    bool end_array() override {
        --depth_;
        return builder_.end_array();
    }
    // Throws the library's error as the library's own parse would, of its
    // own type: a syntax error, or a number out of range.
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
        if (const auto* syntax = dynamic_cast<const nlohmann::json::parse_error*>(&error)) {
            throw *syntax;
        }
        if (const auto* range = dynamic_cast<const nlohmann::json::out_of_range*>(&error)) {
            throw *range;
        }
        throw error;
    }

private:
    bool Enter() {
        if (++depth_ > static_cast<std::size_t>(ConfigDepthLimit)) {
            tooDeep = true;
            return past_ == PastTheLimit::Build;
        }
        return true;
    }

    nlohmann::detail::json_sax_dom_parser<nlohmann::json> builder_;
    PastTheLimit past_;
    std::size_t depth_ = 0;
};
