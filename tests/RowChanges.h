#pragma once
// What a player's chat change does to the store's rows, written briefly.

#include <algorithm>
#include <string>
#include <vector>

#include "players/ChoiceStore.h"
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

// A read as "whole | a:crates- b:nodes+" or "players a b | a:crates-", its
// rows sorted.
inline std::string Describe(const ChoiceStore::Rows& read) {
    std::vector<std::string> rows;
    for (const ChoiceRow& row : read.rows) {
        rows.push_back(row.player + ":" + row.group + (row.hears ? "+" : "-"));
    }
    std::sort(rows.begin(), rows.end());
    std::string text = read.whole ? "whole" : "players";
    for (const std::string& player : read.players) {
        text += " " + player;
    }
    text += " |";
    for (const std::string& row : rows) {
        text += " " + row;
    }
    return text;
}

}  // namespace RowChanges
