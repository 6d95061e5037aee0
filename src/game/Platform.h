#pragma once
// The few runtime functions whose exact results the plugin relies on. On
// Windows these are the system's own; elsewhere equivalents that give the
// same results for the game's 16-bit text.

#include <cstddef>
#include <string>

namespace Platform {

// WideCharToMultiByte with code page 65001: a surrogate half without its
// partner becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* units, std::size_t count);

// towupper on one 16-bit unit, in the runtime's default locale.
char16_t UpperUnit(char16_t unit);

// _wcsnicmp: compares at most count units, ignoring case; 0 when equal.
int CompareIgnoringCase(const char16_t* left, const char16_t* right, std::size_t count);

// Length of a zero-terminated 16-bit text.
std::size_t UnitLength(const char16_t* text);

}  // namespace Platform
