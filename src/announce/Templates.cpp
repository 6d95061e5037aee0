#include "announce/Templates.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "game/GameTypes.h"
#include "game/Platform.h"

std::string MakeItemKey(const FString& name) {
    const std::u16string_view units = name.View();
    const int32_t match = name.IndexOfIgnoreCase(u"_C_");
    const std::size_t kept = match >= 0 ? static_cast<std::size_t>(match) + 2 : units.size();
    return Platform::Utf16ToUtf8(units.data(), kept);
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
    const int64_t magnitude = std::llabs(int64_t{n});
    std::string text = n < 0 ? "-" : "";
    text += std::to_string(magnitude / 10);
    text += '.';
    text += static_cast<char>('0' + magnitude % 10);
    return text;
}

std::string FillTemplate(std::string text, const ReplacementList& replacements) {
    for (std::size_t i = 0; i + 1 < replacements.size(); i += 2) {
        const std::string& placeholder = replacements[i];
        const std::size_t at = text.find(placeholder);
        if (at != std::string::npos) {
            text.replace(at, placeholder.size(), replacements[i + 1]);
        }
    }
    return text;
}
