#pragma once
// The few runtime functions whose exact results the plugin relies on. On
// Windows these are the system's own; elsewhere equivalents that give the
// same results for the game's 16-bit text.

#include <cstddef>
#include <string>
#include <string_view>

namespace Platform {

// WideCharToMultiByte with code page 65001: a surrogate half without its
// partner becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* units, std::size_t count);

// The framework's Utf8Decode, as the stand-in host gives it to the plugin:
// each well-formed character is itself, and each byte that does not begin one
// is one U+FFFD, the reading going on at the byte after it. A stray
// continuation byte, a lead byte whose sequence is cut short, an overlong
// form, a surrogate, a value beyond U+10FFFF and the old 5- and 6-byte forms
// are therefore one U+FFFD per byte, not one per sequence.
std::u16string Utf8ToUtf16(std::string_view text);

// The UTF-8 text the game shows for these bytes: Utf8ToUtf16 and back, without
// the detour. herald repairs every text it shows with it, so that what it
// shows is what players see.
std::string GameReadableUtf8(std::string_view text);

// towupper on one 16-bit unit, in the runtime's default locale.
char16_t UpperUnit(char16_t unit);

// _wcsnicmp: compares at most count units, ignoring case; 0 when equal.
int CompareIgnoringCase(const char16_t* left, const char16_t* right, std::size_t count);

// Length of a zero-terminated 16-bit text.
std::size_t UnitLength(const char16_t* text);

}  // namespace Platform
