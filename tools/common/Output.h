#pragma once
// Small text helpers shared by the herald's transcripts and findings.

#include <initializer_list>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Herald {

// Text as players would see it: each byte that the game's decoding of UTF-8
// does not read as part of a character becomes one U+FFFD (E2 82 41 reads as
// two and an "A"). Every text herald shows that may not be UTF-8 goes through
// it (the JSON lines, the page, the plan, check's messages), so the same bytes
// read the same everywhere, and as in the game.
std::string ValidUtf8(std::string_view text);

// A JSON string literal of ValidUtf8(text).
std::string JsonString(std::string_view text);

// A JSON value on one line, as the JSON library writes it with no indent, its
// texts (keys too) given as JsonString gives them.
std::string CompactJson(const nlohmann::json& value);
std::string CompactJson(const nlohmann::ordered_json& value);

// The text with each character that has a substitute replaced by it ("&" by
// "&amp;" for a page); the rest as it is.
std::string Substituted(std::string_view text, std::initializer_list<std::pair<char, std::string_view>> substitutes);

// One step of a JSON pointer: "/" and the key, its "~" and "/" escaped.
std::string PointerStep(std::string_view key);

// "1 entry", "2 entries".
std::string Plural(std::size_t count, std::string_view one, std::string_view many);

// The shortest decimal that reads back as the same float ("1.2", "10",
// "0.2158605"); null for what JSON can't hold (NaN, infinities).
std::string JsonFloat(float value);

// The same for people: what JSON can't hold reads "inf", "-inf" or "nan".
std::string HumanFloat(float value);

// One JSON object on one line, keys in the order added:
//   {"type": "load", "ok": true}
class JsonLine {
public:
    JsonLine& Text(std::string_view key, std::string_view value);
    JsonLine& Null(std::string_view key);
    JsonLine& Boolean(std::string_view key, bool value);
    JsonLine& Integer(std::string_view key, long long value);
    JsonLine& Float(std::string_view key, float value);
    JsonLine& Floats(std::string_view key, const std::vector<float>& values);
    std::string Done() const { return text_ + "}"; }

private:
    // Adds the key and its value, already written as JSON.
    JsonLine& Raw(std::string_view key, std::string_view json);
    std::string text_ = "{";
};

// A byte of sRGB from a linear colour channel: the inverse of the game's
// transfer function, so that "0,128,255" in config.json reads 0,128,255
// again; 0 for what is not a number.
int SrgbByte(float linear);

// Columns of text, each as wide as its widest cell; the last column is not padded.
std::vector<std::string> AlignColumns(const std::vector<std::vector<std::string>>& rows, std::string_view gap = "  ");

// Display width of UTF-8 text: one per code point.
std::size_t DisplayWidth(std::string_view text);

}  // namespace Herald
