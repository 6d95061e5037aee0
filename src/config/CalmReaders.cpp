#include "config/CalmReaders.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"

// The readers of Calm, in a file of their own, as PlayersReaders.cpp is: the
// spawn path's readers keep GCC's inlining room in ConfigReaders.cpp.

using Json = nlohmann::json;

std::optional<std::int32_t> ReadCount(const Json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        return number <= static_cast<std::uint64_t>(INT32_MAX) ? std::optional(static_cast<std::int32_t>(number))
                                                               : std::nullopt;
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        return number >= 0 && number <= INT32_MAX ? std::optional(static_cast<std::int32_t>(number)) : std::nullopt;
    }
    return std::nullopt;
}

CalmSettings CalmSettingsOf(const Json& document) {
    CalmSettings settings{DefaultMinPlayers, DefaultCooldown, std::string(DefaultDigest), {}};
    // A document that is no object has no Calm: its own error is told where
    // it is read, and Calm takes the defaults without a word.
    static const Json none;
    const Json& calm = document.is_object() ? Member(document, Key::Calm) : none;
    if (!calm.is_object()) {
        if (!calm.is_null()) {
            settings.problems.push_back(std::string(Key::Calm) + " is not an object: every spawn is announced");
        }
        return settings;
    }
    const auto count = [&](std::string_view key, std::int32_t& into) {
        const auto found = calm.find(key);
        if (found == calm.end()) {
            return;
        }
        if (const std::optional<std::int32_t> value = ReadCount(*found)) {
            into = *value;
        } else {
            settings.problems.push_back(std::string(Key::Calm) + " → " + std::string(key) +
                                        " is not a whole number from 0 to 2147483647: " + std::to_string(into) +
                                        " is used");
        }
    };
    count(Key::MinPlayers, settings.minPlayers);
    count(Key::Cooldown, settings.cooldown);
    if (const auto digest = calm.find(Key::Digest); digest != calm.end()) {
        if (digest->is_string()) {
            settings.digest = digest->get<std::string>();
        } else {
            settings.problems.push_back(std::string(Key::Calm) + " → " + std::string(Key::Digest) +
                                        " is not a text: the default digest is used");
        }
    }
    return settings;
}

std::int32_t CooldownOf(const Json& entry, const CalmSettings& calm) {
    if (entry.is_object()) {
        if (const auto found = entry.find(Key::Cooldown); found != entry.end()) {
            return ReadCount(*found).value_or(calm.cooldown);
        }
    }
    return calm.cooldown;
}

bool SomeEntryCoolsDown(const Json& document) {
    const Json& items = document.is_object() ? ItemsOf(document) : document;
    if (!items.is_object()) {
        return false;
    }
    return std::any_of(items.begin(), items.end(), [](const Json& entry) {
        if (!entry.is_object()) {
            return false;
        }
        const auto found = entry.find(Key::Cooldown);
        return found != entry.end() && ReadCount(*found).value_or(0) > 0;
    });
}
