#include "announce/Templates.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/ItemNames.h"
#include "game/GameTypes.h"
#include "game/Platform.h"

void MakeItemKey(const FString& name, ItemKey& key) {
    const std::u16string_view units = name.View();
    const std::size_t end = FindItemKeyEnd(units);
    std::size_t kept = end == std::u16string_view::npos ? units.size() : end + ItemKeyEndLength;
    // Names are ASCII in practice, and their keys fit the buffer: a byte a
    // unit, with no conversion and nothing allocated.
    if (kept <= sizeof key.bytes) {
        std::size_t copied = 0;
        for (; copied < kept && units[copied] - 1u < 0x7Fu; ++copied) {  // not zero, not above ASCII
            key.bytes[copied] = static_cast<char>(units[copied]);
        }
        if (copied == kept) {
            key.size = kept;
            key.inPlace = true;
            return;
        }
    }
    // The game's own search for "_C_" ends at a zero unit: a match beyond one
    // does not count.
    if (end != std::u16string_view::npos && units.find(u'\0') < end) {
        kept = units.size();
    }
    key.converted = Platform::Utf16ToUtf8(units.data(), kept);
    key.inPlace = false;
}

MapPosition MapCoordinates(const void* worldSettings, float x, float y) {
    const auto setting = [worldSettings](const char* field, float fallback) {
        const float value = GameField<float>(worldSettings, field);
        return value == 0.0f ? fallback : value;
    };
    const float latScale = setting("APrimalWorldSettings.LatitudeScale", 800.0f);
    const float lonScale = setting("APrimalWorldSettings.LongitudeScale", 800.0f);
    const float latOrigin = setting("APrimalWorldSettings.LatitudeOrigin", -400000.0f);
    const float lonOrigin = setting("APrimalWorldSettings.LongitudeOrigin", -400000.0f);
    const float kLat = 100.0f / latScale;
    const float kLon = 100.0f / lonScale;
    // Position minus origin: for the usual negative origins this is the same
    // float arithmetic as adding the origin's magnitude, and right for positive ones.
    const float latRaw = (y * kLat - latOrigin * kLat) / 1000.0f;
    const float lonRaw = (x * kLon - lonOrigin * kLon) / 1000.0f;
    return {std::floor(latRaw * 10.0f) / 10.0f, std::floor(lonRaw * 10.0f) / 10.0f};
}

std::string FormatCoordinate(float value) {
    const float tenths = value * 10.0f;
    // Outside the 32-bit range (or NaN) a conversion to int is undefined.
    if (!(tenths > -2147483648.0f && tenths < 2147483648.0f)) {
        if (std::isnan(value)) {
            return "nan";
        }
        char text[64];
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value));
        return text;
    }
    const auto n = static_cast<int32_t>(tenths);
    // Written backwards into a buffer: at most a sign, ten digits, a point and
    // a digit, so the result stays within the string's own storage.
    uint64_t magnitude = static_cast<uint64_t>(std::llabs(int64_t{n}));
    char buffer[16];
    char* start = buffer + sizeof buffer;
    *--start = static_cast<char>('0' + magnitude % 10);
    *--start = '.';
    magnitude /= 10;
    do {
        *--start = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (n < 0) {
        *--start = '-';
    }
    return std::string(start, buffer + sizeof buffer);
}

namespace {

// text.find(pattern), with the pattern's second byte checked in place
// before a full comparison: placeholders share their "{", so most places where
// one starts are settled there.
std::size_t FindPlaceholder(const std::string& text, std::string_view pattern) {
    if (pattern.size() < 2) {
        return text.find(pattern);
    }
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* at = begin; static_cast<std::size_t>(end - at) >= pattern.size(); ++at) {
        at = static_cast<const char*>(
            std::memchr(at, pattern[0], static_cast<std::size_t>(end - at) - pattern.size() + 1));
        if (at == nullptr) {
            break;
        }
        if (at[1] == pattern[1] && std::memcmp(at + 2, pattern.data() + 2, pattern.size() - 2) == 0) {
            return static_cast<std::size_t>(at - begin);
        }
    }
    return std::string::npos;
}

}  // namespace

void FillTemplateInto(std::string& text, std::string_view message, ReplacementList replacements) {
    // Room for every value at once, so that no replacement moves the text again.
    std::size_t room = message.size();
    for (std::size_t i = 1; i < replacements.size(); i += 2) {
        room += replacements[i].size();
    }
    text.reserve(room);
    text.assign(message);
    for (std::size_t i = 0; i + 1 < replacements.size(); i += 2) {
        const std::string_view placeholder = replacements[i];
        const std::size_t at = FindPlaceholder(text, placeholder);
        if (at != std::string::npos) {
            text.replace(at, placeholder.size(), replacements[i + 1]);
        }
    }
}
