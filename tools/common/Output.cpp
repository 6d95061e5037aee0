#include "common/Output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "game/Platform.h"

namespace Herald {

std::string ValidUtf8(std::string_view text) { return Platform::GameReadableUtf8(text); }

std::string JsonString(std::string_view text) { return nlohmann::json(ValidUtf8(text)).dump(); }

namespace {

// Written here rather than by the library, whose own replacement of what is
// not UTF-8 differs from the game's.
template <typename Json>
void AppendCompactJson(const Json& value, std::string& text) {
    if (value.is_object() || value.is_array()) {
        text += value.is_object() ? '{' : '[';
        bool first = true;
        for (const auto& item : value.items()) {
            text += first ? "" : ",";
            if (value.is_object()) {
                text += JsonString(item.key()) + ":";
            }
            AppendCompactJson(item.value(), text);
            first = false;
        }
        text += value.is_object() ? '}' : ']';
    } else if (value.is_string()) {
        text += JsonString(value.template get_ref<const std::string&>());
    } else {
        text += value.dump();
    }
}

}  // namespace

std::string CompactJson(const nlohmann::json& value) {
    std::string text;
    AppendCompactJson(value, text);
    return text;
}

std::string CompactJson(const nlohmann::ordered_json& value) {
    std::string text;
    AppendCompactJson(value, text);
    return text;
}

std::string Substituted(std::string_view text, std::initializer_list<std::pair<char, std::string_view>> substitutes) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto* substitute =
            std::find_if(substitutes.begin(), substitutes.end(), [c](const auto& each) { return each.first == c; });
        result += substitute != substitutes.end() ? substitute->second : std::string_view(&c, 1);
    }
    return result;
}

std::string PointerStep(std::string_view key) { return "/" + Substituted(key, {{'~', "~0"}, {'/', "~1"}}); }

std::string Plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string JsonFloat(float value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char text[48];
    // Plain digits where %g would switch to an exponent for a round number
    // (8000, not 8e+03); exponents only for the very large and very small.
    const double magnitude = std::fabs(static_cast<double>(value));
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e15);
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, static_cast<double>(value));
        const bool exponent = std::string_view(text).find('e') != std::string_view::npos;
        if (std::strtof(text, nullptr) == value && (!plain || !exponent)) {
            break;
        }
    }
    return text;
}

std::string HumanFloat(float value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    return JsonFloat(value);
}

JsonLine& JsonLine::Raw(std::string_view key, std::string_view json) {
    if (text_.size() > 1) {
        text_ += ", ";
    }
    text_ += JsonString(key) + ": ";
    text_ += json;
    return *this;
}

JsonLine& JsonLine::Text(std::string_view key, std::string_view value) { return Raw(key, JsonString(value)); }

JsonLine& JsonLine::Null(std::string_view key) { return Raw(key, "null"); }

JsonLine& JsonLine::Boolean(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }

JsonLine& JsonLine::Integer(std::string_view key, long long value) { return Raw(key, std::to_string(value)); }

JsonLine& JsonLine::Float(std::string_view key, float value) { return Raw(key, JsonFloat(value)); }

JsonLine& JsonLine::Floats(std::string_view key, const std::vector<float>& values) {
    std::string list = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        list += (i == 0 ? "" : ", ") + JsonFloat(values[i]);
    }
    return Raw(key, list + "]");
}

int SrgbByte(float linear) {
    if (!std::isfinite(linear)) {
        return 0;
    }
    const double x = std::clamp(static_cast<double>(linear), 0.0, 1.0);
    const double encoded = x <= 0.0031308 ? x * 12.92 : 1.055 * std::pow(x, 1.0 / 2.4) - 0.055;
    return static_cast<int>(std::lround(std::clamp(encoded, 0.0, 1.0) * 255.0));
}

std::size_t DisplayWidth(std::string_view text) {
    std::size_t width = 0;
    for (const char byte : text) {
        width += (static_cast<unsigned char>(byte) & 0xC0) != 0x80 ? 1 : 0;
    }
    return width;
}

std::vector<std::string> AlignColumns(const std::vector<std::vector<std::string>>& rows, std::string_view gap) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            if (column >= widths.size()) {
                widths.push_back(0);
            }
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
        }
    }
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            if (column + 1 < row.size()) {
                line += std::string(widths[column] - DisplayWidth(row[column]), ' ');
                line += gap;
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace Herald
