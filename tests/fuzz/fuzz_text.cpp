// The plugin's text handling with any input: colour texts, templates with
// replacement values, conversions between UTF-8 and the game's 16-bit text,
// searching and splitting, item keys and coordinates. Each operation is
// checked against a property it must keep, not only for crashes.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "announce/Broadcast.h"
#include "announce/Templates.h"
#include "game/GameTypes.h"
#include "game/Platform.h"

using namespace HeraldFuzz;

namespace {

// A game string holding exactly these units, zeros included.
FString GameText(const std::u16string& units) {
    FString text;
    if (units.empty()) {
        return text;
    }
    const auto count = static_cast<int32_t>(units.size() + 1);
    text.Data = static_cast<char16_t*>(StandIn::GameMalloc(static_cast<std::size_t>(count) * 2, 0));
    std::char_traits<char16_t>::copy(text.Data, units.data(), units.size());
    text.Data[units.size()] = 0;
    text.ArrayNum = text.ArrayMax = count;
    return text;
}

std::u16string Units(FuzzedDataProvider& input, std::size_t most) {
    return HeraldFuzz::Units(input.ConsumeRandomLengthString(most * 2));
}

bool HasLoneSurrogate(std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

// "R,G,B" of plain digits (empty pieces between commas allowed): what the
// colour must be, read independently of the plugin's parser.
bool PlainDigitColor(const std::string& text, FColorBytes& expected) {
    std::vector<std::string> pieces;
    std::string piece;
    for (const char c : text + ",") {
        if (c == ',') {
            if (!piece.empty()) {
                pieces.push_back(piece);
            }
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (pieces.size() != 3) {
        return false;
    }
    long values[3];
    for (int i = 0; i < 3; ++i) {
        if (pieces[i].size() > 9 || pieces[i].find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        values[i] = std::strtol(pieces[i].c_str(), nullptr, 10);
    }
    expected = {static_cast<uint8_t>(values[2] & 0xFF), static_cast<uint8_t>(values[1] & 0xFF),
                static_cast<uint8_t>(values[0] & 0xFF), 255};
    return true;
}

void CheckColor(FuzzedDataProvider& input) {
    const std::string text = input.ConsumeRandomLengthString(64);
    const FColorBytes color = ParseColorText(text);
    Require(color.A == 255, "a colour with alpha other than 255");
    if (text == "Random") {
        return;
    }
    const FColorBytes again = ParseColorText(text);
    Require(color.R == again.R && color.G == again.G && color.B == again.B, "a fixed colour text gave two colours");
    FColorBytes expected{};
    if (PlainDigitColor(text, expected)) {
        Require(color.R == expected.R && color.G == expected.G && color.B == expected.B,
                "colour read wrongly from \"" + text + "\"");
    }
    const FColorLinear linear = LinearColor(color);
    for (const float channel : {linear.R, linear.G, linear.B, linear.A}) {
        Require(channel >= 0.0f && channel <= 1.0f, "a linear colour channel outside 0..1");
    }
}

void CheckTemplate(FuzzedDataProvider& input) {
    const std::string text = input.ConsumeRandomLengthString(128);
    std::vector<std::string> texts;
    const int pairs = input.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < pairs * 2; ++i) {
        texts.push_back(input.ConsumeRandomLengthString(24));
    }
    if (input.ConsumeBool() && !texts.empty()) {
        texts.pop_back();  // an odd list: its last placeholder has no value
    }
    const std::vector<std::string_view> list(texts.begin(), texts.end());
    std::string filled;
    FillTemplateInto(filled, text, list);
    bool anyOccurs = false;
    for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
        anyOccurs = anyOccurs || text.find(list[i]) != std::string::npos;
    }
    Require(anyOccurs || filled == text, "a template without any of the placeholders was changed");
    if (list.size() >= 2 && !list[0].empty() && text.find(list[0]) != std::string::npos) {
        // The first pair always acts on the template as written.
        const std::size_t at = text.find(list[0]);
        std::string expected = text;
        expected.replace(at, list[0].size(), list[1]);
        std::string first;
        FillTemplateInto(first, text, std::vector<std::string_view>{list[0], list[1]});
        Require(first == expected, "the first placeholder was not filled once");
    }
}

void CheckUtf8RoundTrip(FuzzedDataProvider& input) {
    const std::string text = input.ConsumeRandomLengthString(256);
    const FString game = FString::FromUtf8(text);
    const std::string back = game.ToUtf8();
    Require(IsWellFormedUtf8(back), "FString::ToUtf8 gave malformed UTF-8");
    // herald shows text as the game decodes it, zeros and all.
    const std::string shown = Platform::GameReadableUtf8(text);
    Require(shown == StandIn::Utf8(StandIn::Utf16(text)), "herald's repair is not the game's decoding");
    Require(text.find('\0') != std::string::npos || shown == back, "herald's repair is not the game's text");
    Require(Platform::GameReadableUtf8(shown) == shown, "repaired text changed when repaired again");
    // The game's text ends at its first zero, so only zero-free text comes back whole.
    if (IsWellFormedUtf8(text) && text.find('\0') == std::string::npos) {
        Require(back == text, "valid UTF-8 did not survive the game's string: \"" + text + "\"");
        Require(game.ArrayNum == 0 ? text.empty() : game.Data[game.ArrayNum - 1] == 0, "no terminating zero");
    }
}

void CheckUnitsToUtf8(FuzzedDataProvider& input) {
    const std::u16string units = Units(input, 128);
    const FString game = GameText(units);
    const std::string utf8 = game.ToUtf8();
    Require(IsWellFormedUtf8(utf8), "16-bit text gave malformed UTF-8");
    if (!HasLoneSurrogate(units)) {
        Require(StandIn::Utf16(utf8) == units, "16-bit text without lone surrogates did not come back");
    }
    const FString narrow = FString::FromNarrow(std::string(utf8).c_str());
    const std::size_t length = std::char_traits<char>::length(utf8.c_str());
    Require(narrow.ArrayNum == (length == 0 ? 0 : static_cast<int32_t>(length + 1)), "FromNarrow miscounted");
    for (const char16_t unit : narrow.View()) {
        Require(unit < 128, "FromNarrow let a byte above ASCII through");
    }
}

void CheckSearch(FuzzedDataProvider& input) {
    const FString text = GameText(Units(input, 64));
    std::u16string pattern = Units(input, 8);
    pattern.erase(std::remove(pattern.begin(), pattern.end(), u'\0'), pattern.end());
    const int32_t found = text.IndexOfIgnoreCase(pattern.c_str());
    const std::u16string_view visible(text.ArrayNum > 0 ? text.Data : u"",
                                      Platform::UnitLength(text.ArrayNum > 0 ? text.Data : u""));
    Require(found >= -1 && found <= static_cast<int32_t>(visible.size()), "IndexOfIgnoreCase out of range");
    if (found >= 0 && !pattern.empty()) {
        Require(static_cast<std::size_t>(found) + pattern.size() <= visible.size() &&
                    Platform::CompareIgnoringCase(visible.data() + found, pattern.c_str(), pattern.size()) == 0,
                "IndexOfIgnoreCase reported a place that does not match");
    }
    if (visible.find(pattern) != std::u16string_view::npos && !pattern.empty()) {
        Require(found >= 0 && static_cast<std::size_t>(found) <= visible.find(pattern),
                "IndexOfIgnoreCase missed an exact match");
    }
}

void CheckItemKey(FuzzedDataProvider& input) {
    std::u16string units = Units(input, 64);
    if (input.ConsumeBool()) {
        units.insert(units.size() / 2, input.ConsumeBool() ? u"_C_" : u"_c_");
    }
    const FString name = GameText(units);
    ItemKey made;
    MakeItemKey(name, made);
    const std::string key(made.View());
    const std::string whole = name.ToUtf8();
    Require(whole.starts_with(key), "an item key is not the start of its name");
    if (name.IndexOfIgnoreCase(u"_C_") == -1) {
        Require(key == whole, "a name without \"_C_\" was cut");
    } else {
        Require(key.size() >= 2 && (key.ends_with("_C") || key.ends_with("_c")), "an item key cut elsewhere: " + key);
    }
}

void CheckCoordinates(FuzzedDataProvider& input) {
    const float value = input.ConsumeFloatingPoint<float>();
    const std::string text = FormatCoordinate(value);
    Require(!text.empty(), "a coordinate written as nothing");
    if (std::isfinite(value) && std::fabs(value) < 1e6f) {
        const double written = std::strtod(text.c_str(), nullptr);
        const double tenths = std::trunc(static_cast<double>(value * 10.0f)) / 10.0;
        Require(std::fabs(written - tenths) < 0.051, "coordinate " + std::to_string(value) + " written " + text);
        Require(text.size() >= 3 && text[text.size() - 2] == '.', "a coordinate without one decimal: " + text);
    }
    StandIn::SetWorldSettings(input.ConsumeFloatingPoint<float>(), input.ConsumeFloatingPoint<float>(),
                              input.ConsumeFloatingPoint<float>(), input.ConsumeFloatingPoint<float>());
    void* settings = GameFunction<void*(UWorld*, bool, bool)>("UWorld.GetWorldSettings")(
        ArkApi::GetApiUtils().QueryWorld(), false, true);
    const MapPosition position =
        MapCoordinates(settings, input.ConsumeFloatingPoint<float>(), input.ConsumeFloatingPoint<float>());
    Require(!FormatCoordinate(position.Latitude).empty() && !FormatCoordinate(position.Longitude).empty(),
            "map coordinates written as nothing");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    StartServer({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 6)) {
        case 0:
            CheckColor(input);
            break;
        case 1:
            CheckTemplate(input);
            break;
        case 2:
            CheckUtf8RoundTrip(input);
            break;
        case 3:
            CheckUnitsToUtf8(input);
            break;
        case 4:
            CheckSearch(input);
            break;
        case 5:
            CheckItemKey(input);
            break;
        default:
            CheckCoordinates(input);
            break;
    }
    RequireAllocatorClean("after a text operation");
    return 0;
}
