#pragma once
// How a notification's colour, display time and size reach the game.

#include <array>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

// A colour text: exactly "Random", or, up to its first zero character, three
// numbers between commas (empty pieces skipped; leading blanks and a sign
// allowed; reading stops at the first character that is no digit; a number
// beyond 32 bits fails). The game takes each number's low 8 bits. Anything
// else is no colour, and shows green.
inline constexpr std::string_view RandomColorText = "Random";
struct ColorReading {
    bool isColor = false;
    bool random = false;
    std::array<std::int32_t, 3> numbers{};  // red, green, blue as written
};
ColorReading ReadColorText(std::string_view text);

// A colour number as the game shows it: its low 8 bits (300 is 44, -1 is 255).
constexpr std::uint8_t ColorChannel(std::int32_t number) { return static_cast<std::uint8_t>(number & 0xFF); }

// Written as an admin writes a colour: "Random", or exactly three pieces of
// digits with blanks around them.
bool IsPlainColorText(std::string_view text);

// Time as the game receives it: a number with its fraction dropped (toward
// zero), true as 1, and beyond the 32-bit range the nearest end of it. Any
// other type raises the library's type error, as a lookup of a 32-bit integer.
struct DisplayTime {
    enum class Note { Exact, Boolean, Fraction, Saturated };
    std::int32_t value = 0;
    Note note = Note::Exact;
};
DisplayTime ReadDisplayTime(const nlohmann::json& time);
// A notification's Time, DefaultDisplayTime when absent. The template is an object.
std::int32_t DisplayTimeOf(const nlohmann::json& notificationTemplate);
// The game takes the time as a float, which beyond 2^24 holds only some whole
// numbers: 33554431 arrives as 33554432.
constexpr float DeliveredDisplayTime(std::int32_t time) { return static_cast<float>(time); }
// The delivered time as digits ("33554432"); it is always a whole number.
std::string DeliveredDisplayTimeText(std::int32_t time);

// Size as the library reads a double, narrowed to the game's float: beyond the
// float range, the largest finite float of its sign. A value that is not a
// number (true included) raises the library's type error.
struct DisplaySize {
    float value = 0;
    bool saturated = false;
};
DisplaySize ReadDisplaySize(const nlohmann::json& size);
// A notification's Size, DefaultDisplaySize when absent. The template is an object.
float DisplaySizeOf(const nlohmann::json& notificationTemplate);

// A float as an admin writes it in config.json: the fewest digits that read
// back as the same float (1.2, not 1.20000005).
std::string FloatText(float value);
// Whether a number written in config.json reaches the game as written: the
// float it becomes reads as the same number in its own fewest digits (1.1 does;
// 16777217, which arrives as 16777216, and 0.123456789 do not).
bool IsDeliveredAsWritten(double written);
