#pragma once
// Reading "SkyCrateHerald.Test" as an admin types it, on the console or in an
// RCON request's body. Pure functions: no game calls.

#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigKeys.h"

std::string TestUsage();

// A line longer than this is not read at all: the command's words are a key,
// a code and two numbers, and reading must cost the game's thread nothing
// whatever a client sends.
inline constexpr std::size_t TestCommandLengthLimit = 1024;  // 16-bit units

// The word before an asteroid code, ignoring case as command names are.
inline constexpr std::string_view AsteroidWord = Key::AsteroidGen2;

struct TestRequest {
    bool asteroid = false;
    std::string key;  // an Items key, or an asteroid code (UTF-8)
    float x = 0;
    float y = 0;
};

// The command's name, then KEY [X Y] or AsteroidGen2 CODE [X Y], words apart
// by blanks, control characters or Unicode spaces. X and Y are decimal numbers
// read whole that round to a finite float. None for anything else, a line
// holding a zero unit among it.
std::optional<TestRequest> ReadTestCommand(std::u16string_view line);

// The words of a command's line, its name first, apart as ReadTestCommand
// parts them. None beyond mostWords, beyond the length limit, or for a line
// holding a zero unit.
std::optional<std::vector<std::u16string_view>> CommandWords(std::u16string_view line, std::size_t mostWords);

// "SkyCrateHerald.Status [KEY]": the key, none without one; none at all for
// any other line.
std::optional<std::optional<std::string>> ReadStatusCommand(std::u16string_view line);

// The key of the items object nearest to a key it lacks, when one is a near
// miss of it (NearMissLimit): "did you mean" of the reply. Entries that are
// null are not configured and never named.
std::optional<std::string> NearestItemKey(const nlohmann::json& items, std::string_view typed);

// The reply to a key the document's Items lacks: an asteroid code's right
// form, or the nearest key, when there is one.
std::string NoEntryReply(const nlohmann::json& document, const std::string& key);
