#pragma once
// The Calm settings, which keep a busy server calm.

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

// A count: a whole number from 0 to 2^31 - 1, written as an integer.
std::optional<std::int32_t> ReadCount(const nlohmann::json& value);

// Calm: the players needed before anything is announced, the cooldown of an
// entry without its own, and the digest's template. A value not of its
// key's form is replaced by the default, and problems names it, as the log
// words it. Never raises.
struct CalmSettings {
    std::int32_t minPlayers = 0;
    std::int32_t cooldown = 0;
    std::string digest;
    std::vector<std::string> problems;
    // Whether anything is held back at all: without it every spawn is announced.
    bool Holds() const { return minPlayers > 0 || cooldown > 0; }
};
CalmSettings CalmSettingsOf(const nlohmann::json& document);
// An Items entry's cooldown in seconds: its Cooldown when a count, otherwise
// the settings'. Never raises.
std::int32_t CooldownOf(const nlohmann::json& entry, const CalmSettings& calm);
// Whether some Items entry sets a cooldown of its own above 0.
bool SomeEntryCoolsDown(const nlohmann::json& document);
