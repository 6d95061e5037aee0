#pragma once
// The players' store of CrateChosen as both sides see it: the plugin reads it
// from its file, the floor from a table of its own built from the same players.

#include <string>
#include <vector>

namespace HeraldBench {

// Players → Store on CrateChosen, in the plugin's folder.
inline constexpr char ChosenStoreName[] = "players.sqlite";

struct StoredHearing {
    std::string id;  // the player's Steam id
    bool hearsCrates = true;
};

// Every player of the store WriteChosenStore writes for so many connected
// players, and whether each hears crates.
std::vector<StoredHearing> ChosenStoreHearing(int connected, int storedPlayers);

}  // namespace HeraldBench
