#include <array>
#include <cmath>

#include "game/GameTypes.h"
#include "game/Platform.h"

namespace {

// A new string of count units (terminator included), room for growth.
FString MakeWithUnits(int32_t count) {
    FString text;
    const int32_t capacity = GrowthCapacity(count, 0);
    text.Data = static_cast<char16_t*>(ResizeStorage(nullptr, capacity, sizeof(char16_t)));
    text.ArrayMax = capacity;
    text.ArrayNum = count;
    return text;
}

}  // namespace

FString FString::FromNarrow(const char* text) {
    if (text == nullptr || *text == '\0') {
        return {};
    }
    const std::size_t length = std::char_traits<char>::length(text);
    FString result = MakeWithUnits(static_cast<int32_t>(length + 1));
    for (std::size_t i = 0; i <= length; ++i) {
        // No decoding: every byte above ASCII is one "?".
        const auto byte = static_cast<unsigned char>(text[i]);
        result.Data[i] = byte < 128 ? char16_t{byte} : u'?';
    }
    return result;
}

FString FString::FromWide(const char16_t* text) {
    if (text == nullptr || *text == 0) {
        return {};
    }
    const std::size_t length = Platform::UnitLength(text);
    FString result = MakeWithUnits(static_cast<int32_t>(length + 1));
    std::char_traits<char16_t>::copy(result.Data, text, length + 1);
    return result;
}

FString FString::FromUtf8(const std::string& text) {
    const std::u16string wide = ArkApi::Tools::Utf8Decode(text);
    return FromWide(wide.c_str());
}

std::string FString::ToUtf8() const {
    const std::u16string_view units = View();
    return Platform::Utf16ToUtf8(units.data(), units.size());
}

int32_t FString::IndexOfIgnoreCase(const char16_t* pattern) const {
    const char16_t* text = ArrayNum > 0 ? Data : u"";
    const char16_t first = Platform::UpperUnit(pattern[0]);
    const std::size_t rest = Platform::UnitLength(pattern) - (pattern[0] != 0 ? 1 : 0);
    // An ASCII unit matches the pattern's first unit when it is that unit or
    // its lower-case letter: the answer UpperUnit gives, without a call. Only
    // other units need the runtime's tables.
    const char16_t firstLower = first >= u'A' && first <= u'Z' ? static_cast<char16_t>(first + (u'a' - u'A')) : first;
    for (int32_t i = 0; text[i] != 0; ++i) {
        const char16_t unit = text[i];
        if (unit != first && unit != firstLower && (unit < 0x80 || Platform::UpperUnit(unit) != first)) {
            continue;
        }
        if (Platform::CompareIgnoringCase(text + i + 1, pattern + 1, rest) == 0) {
            return i;
        }
    }
    return -1;
}

FString ObjectName(const void* object) {
    FName name = GameField<FName>(object, "UObjectBase.Name");
    FString text;
    GameFunction<void(FName*, FString*)>("FName.ToString")(&name, &text);
    return text;
}

FColorLinear LinearColor(FColorBytes color) {
    // 256 possible channel values: each converted once, by the same formula.
    static const auto table = [] {
        std::array<float, 256> values{};
        for (std::size_t value = 0; value < values.size(); ++value) {
            const double x = static_cast<double>(value) / 255.0;
            values[value] = static_cast<float>(x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4));
        }
        return values;
    }();
    const auto channel = [](uint8_t value) { return table[value]; };
    constexpr float kOneOver255 = 1.0f / 255.0f;
    return {channel(color.R), channel(color.G), channel(color.B), static_cast<float>(color.A) * kOneOver255};
}
