#pragma once
// What a player's chat command asks, and the reply, decided without the game:
// the plugin sends the reply and keeps the change; herald shows the same.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "players/PlayerChoices.h"

struct ChatCommandAnswer {
    std::string reply;
    std::optional<ChoiceChange> change;
};

// The answer to a line typed by a player whose id is player, command being
// the configured name (the line starts with it in any case) and groups the
// groups the server announces, sorted, as the config writes them.
ChatCommandAnswer AnswerChatCommand(std::string_view line, std::string_view command,
                                    std::span<const std::string> groups, const PlayerChoices& choices,
                                    std::string_view player);

// Added to the reply of a change that could not be saved.
inline constexpr std::string_view NotSavedNote = " (not saved: it holds until the server restarts)";

// The most groups a reply names; "… and N more" counts the rest.
inline constexpr std::size_t ListedGroupLimit = 50;

// The most words of a line looked at: a command takes three.
inline constexpr std::size_t ChatWordLimit = 4;
