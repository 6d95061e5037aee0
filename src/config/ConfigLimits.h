#pragma once
// What config.json may cost the server before it is refused. The file is read
// on the game's thread (at load and at every reload), so a hostile or broken
// file must not be able to stall the game or take its memory. A real
// configuration is a few kilobytes and five levels deep.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::uintmax_t ConfigFileSizeLimit = 16 * 1024 * 1024;  // bytes
inline constexpr int ConfigDepthLimit = 100;                             // nested arrays and objects

// The refusals, as the log, the RCON reply and herald word them. Each names
// its limit: change a limit and its message together.
inline constexpr char ConfigCantOpenMessage[] = "Can't open config.json";
inline constexpr char ConfigNotRegularFileMessage[] = "config.json is not a regular file";
inline constexpr char ConfigTooLargeMessage[] = "config.json is larger than 16 MiB";
inline constexpr char ConfigTooDeepMessage[] = "config.json is nested deeper than 100 levels";
static_assert(ConfigFileSizeLimit == 16 * 1024 * 1024, "ConfigTooLargeMessage names 16 MiB");
static_assert(ConfigDepthLimit == 100, "ConfigTooDeepMessage names 100 levels");

// An error text as the plugin logs and replies it: at most this many bytes.
// A library's parse error quotes what it last read, which can be most of the
// file; the log line and the RCON reply must not carry that.
inline constexpr std::size_t ErrorTextLimit = 1000;

// The text itself when it fits the limit; otherwise its beginning, ended
// before any UTF-8 sequence the limit would split, followed by "...".
inline std::string CutErrorText(std::string_view text) {
    if (text.size() <= ErrorTextLimit) {
        return std::string(text);
    }
    constexpr std::string_view ellipsis = "...";
    const auto byte = [text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    std::size_t kept = ErrorTextLimit - ellipsis.size();
    // A sequence is at most four bytes: look back over up to three
    // continuation bytes for the lead byte of the one the cut falls in.
    std::size_t lead = kept;
    while (lead + 3 > kept && (byte(lead) & 0xC0) == 0x80) {
        --lead;
    }
    if (lead < kept && byte(lead) >= 0xC0) {
        const std::size_t length = byte(lead) >= 0xF0 ? 4 : byte(lead) >= 0xE0 ? 3 : 2;
        if (lead + length > kept) {
            kept = lead;
        }
    }
    std::string cut(text.substr(0, kept));
    cut += ellipsis;
    return cut;
}
