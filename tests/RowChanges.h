#pragma once
// What a player's chat change does to the store's rows, written briefly.

#include <string>

#include "players/PlayerChoices.h"

namespace RowChanges {

inline RowChange Off(const std::string& player, const std::string& group) {
    return {player, false, {}, {{player, group, false}}};
}
inline RowChange On(const std::string& player, const std::string& group) { return {player, false, {group}, {}}; }
// A group heard as the exception to "off all".
inline RowChange Heard(const std::string& player, const std::string& group) {
    return {player, false, {}, {{player, group, true}}};
}
inline RowChange AllOff(const std::string& player) { return {player, true, {}, {{player, "*", false}}}; }
inline RowChange AllOn(const std::string& player) { return {player, true, {}, {}}; }

}  // namespace RowChanges
