#pragma once
// Small text helpers shared by the herald's transcripts and findings.

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Herald {

// A JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

// Text as the JSON of a transcript carries it: what is not UTF-8 becomes
// U+FFFD, as the JSON library replaces it (one for each maximal piece of a
// sequence cut short). The page, the plan and check's messages all use it, so
// the same bytes read the same everywhere.
std::string ValidUtf8(std::string_view text);

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
