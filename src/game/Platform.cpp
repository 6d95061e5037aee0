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

// The game's reading of UTF-8 is the same on every system: it is the
// framework's, not the runtime's.
namespace {

constexpr char32_t Replacement = 0xFFFD;

// A character as read from UTF-8, and the bytes it took.
struct Utf8Character {
    char32_t code;
    std::size_t length;
};

// The character that begins at text[at], a byte beyond ASCII; a byte that
// begins none reads as U+FFFD on its own, so that the bytes after it are read
// afresh (a lead byte followed by ASCII keeps the ASCII).
Utf8Character ReadUtf8(std::string_view text, std::size_t at) {
    constexpr Utf8Character invalid{Replacement, 1};
    const auto lead = static_cast<unsigned char>(text[at]);
    // 0x80-0xBF continue a sequence and begin none; 0xF8-0xFF began the 5- and
    // 6-byte forms, which hold no character of Unicode.
    const std::size_t length = lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : 0;
    if (length == 0 || text.size() - at < length) {
        return invalid;
    }
    char32_t code = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return invalid;
        }
        code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values beyond Unicode are no characters.
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return invalid;
    }
    return {code, length};
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string units;
    units.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            units += static_cast<char16_t>(byte);
            ++at;
            continue;
        }
        const Utf8Character read = ReadUtf8(text, at);
        if (read.code >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((read.code - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((read.code - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(read.code);
        }
        at += read.length;
    }
    return units;
}

std::string GameReadableUtf8(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            shown += text[at];
            ++at;
            continue;
        }
        const Utf8Character read = ReadUtf8(text, at);
        // A character read is kept as written: the game's own UTF-8 of it is
        // the same bytes.
        if (read.length == 1) {
            shown += "\xEF\xBF\xBD";
        } else {
            shown.append(text.substr(at, read.length));
        }
        at += read.length;
    }
    return shown;
}

}  // namespace Platform
