#pragma once
// check's one pass over config.json's text: the document as the library
// builds it, the plugin's depth limit, keys given twice in one object, and
// the order in which the text gives the keys that preview plans with.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "config/ConfigFile.h"

namespace Herald {

// What the scan is for: checking alone stops at the depth limit (the plugin
// refuses the file there, and nothing past it is looked at); planning builds
// the whole first value, as the library parses it with no depth limit, and
// keeps the order of the keys it plans with.
enum class ScanPurpose { Check, Plan };

// A level costs its key set and the key at hand. A path is built only for a
// key given twice, and only while the paths listed stay within a budget:
// under a long key, every path would repeat it.
class DocumentScan final : public DepthLimitedBuilder {
public:
    using Json = nlohmann::json;
    static constexpr std::size_t ListedPathBytes = 1 << 20;

    explicit DocumentScan(ScanPurpose purpose)
        : DepthLimitedBuilder(document, purpose == ScanPurpose::Plan ? PastTheLimit::Build : PastTheLimit::Stop),
          purpose_(purpose) {}

    Json document;
    std::vector<std::string> duplicates;  // JSON pointers
    std::size_t unlistedDuplicates = 0;
    std::optional<std::string> parseError;
    bool textAfter = false;  // something other than blanks after the document
    // With ScanPurpose::Plan: the keys of a top-level Items object and of
    // AsteroidGen2's code maps, in text order, repeats included.
    std::vector<std::string> itemKeys;
    std::vector<std::string> asteroidCodes;

    bool null() override { return Value() && DepthLimitedBuilder::null(); }
    bool boolean(bool value) override { return Value() && DepthLimitedBuilder::boolean(value); }
    bool number_integer(number_integer_t value) override {
        return Value() && DepthLimitedBuilder::number_integer(value);
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Value() && DepthLimitedBuilder::number_unsigned(value);
    }
    bool number_float(number_float_t value, const string_t& text) override {
        return Value() && DepthLimitedBuilder::number_float(value, text);
    }
    bool string(string_t& value) override { return Value() && DepthLimitedBuilder::string(value); }
    bool binary(binary_t& value) override { return Value() && DepthLimitedBuilder::binary(value); }
    bool start_object(std::size_t size) override {
        Begin();
        return DepthLimitedBuilder::start_object(size) && Opened(true);
    }
    bool key(string_t& key) override;
    bool end_object() override {
        Close();
        return DepthLimitedBuilder::end_object();
    }
    bool start_array(std::size_t size) override {
        Begin();
        return DepthLimitedBuilder::start_array(size) && Opened(false);
    }
    bool end_array() override {
        Close();
        return DepthLimitedBuilder::end_array();
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override;

private:
    struct Level {
        bool object;
        std::unordered_set<std::string> keys;
        const std::string* key = nullptr;  // the member at hand, in keys
        std::size_t stepLength = 0;        // of its path step
        std::size_t started = 0;           // elements begun so far
    };

    // Levels beyond the depth limit, built while planning, are not noted.
    bool BeyondTheLimit() const { return levels_.size() < Depth(); }
    void Begin();
    bool Value();
    bool Opened(bool object);
    void Close();
    void NoteDuplicate(std::string_view key, std::size_t stepLength);
    void NoteKeyOrder(const std::string& key);

    ScanPurpose purpose_;
    std::vector<Level> levels_;
    bool complete_ = false;
    std::size_t listedBytes_ = 0;
};

}  // namespace Herald
