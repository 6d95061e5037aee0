#include "game/Platform.h"

#include <cwctype>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#endif

namespace Platform {

#if defined(_WIN32)

std::string Utf16ToUtf8(const char16_t* units, std::size_t count) {
    if (count == 0) {
        return {};
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(units);
    const int length = static_cast<int>(count);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), bytes, nullptr, nullptr);
    return text;
}

char16_t UpperUnit(char16_t unit) { return static_cast<char16_t>(towupper(unit)); }

int CompareIgnoringCase(const char16_t* left, const char16_t* right, std::size_t count) {
    return _wcsnicmp(reinterpret_cast<const wchar_t*>(left), reinterpret_cast<const wchar_t*>(right), count);
}

#else

namespace {

void AppendUtf8(std::string& text, char32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(const char16_t* units, std::size_t count) {
    // The ASCII run at the start, usually all of it, is written straight in.
    std::size_t ascii = 0;
    while (ascii < count && units[ascii] < 0x80) {
        ++ascii;
    }
    std::string text(ascii, '\0');
    for (std::size_t i = 0; i < ascii; ++i) {
        text[i] = static_cast<char>(units[i]);
    }
    if (ascii == count) {
        return text;
    }
    text.reserve(count + (count - ascii) * 2);
    for (std::size_t i = ascii; i < count; ++i) {
        const char16_t unit = units[i];
        if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            AppendUtf8(text, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{units[i + 1]} - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(text, 0xFFFD);
        } else {
            AppendUtf8(text, unit);
        }
    }
    return text;
}

namespace {

// ASCII letters map the same in the "C" locale the runtime starts in; only
// the rest needs the runtime's tables, which cost a call per unit.
int LowerUnit(char16_t unit) {
    if (unit < 0x80) {
        return unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit;
    }
    return static_cast<int>(std::towlower(static_cast<wint_t>(unit)));
}

}  // namespace

char16_t UpperUnit(char16_t unit) {
    if (unit < 0x80) {
        return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
    }
    return static_cast<char16_t>(std::towupper(static_cast<wint_t>(unit)));
}

int CompareIgnoringCase(const char16_t* left, const char16_t* right, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        // Units written the same way need no folding.
        if (left[i] == right[i]) {
            if (left[i] == 0) {
                return 0;
            }
            continue;
        }
        const int a = LowerUnit(left[i]);
        const int b = LowerUnit(right[i]);
        if (a != b) {
            return a - b;
        }
    }
    return 0;
}

#endif

std::size_t UnitLength(const char16_t* text) { return std::char_traits<char16_t>::length(text); }

}  // namespace Platform
