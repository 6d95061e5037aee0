// Players' choices on CrateChosen: a server where players have used the chat
// command for a while. The store holds ChosenStorePlayers players, most of
// them not connected. Of every seven connected players one turned crates off
// (by "off crates" or by "off all", in turn), two chose something else (nodes
// off, or everything off but crates), four chose nothing: 10 of 70 hear no
// crate, 30 of 70 have a row.

#include "ChosenPlayers.h"

#include <optional>
#include <stdexcept>

#include "Scenarios.h"
#include "StandIn.h"
#include "players/SqliteStore.h"

namespace HeraldBench {

namespace {

enum class Chose { Nothing, CratesOff, AllOff, NodesOff, AllOffButCrates };

Chose ConnectedChoice(int k) {
    switch (k % 7) {
        case 0:
            return (k / 7) % 2 == 0 ? Chose::CratesOff : Chose::AllOff;
        case 1:
            return Chose::NodesOff;
        case 2:
            return Chose::AllOffButCrates;
        default:
            return Chose::Nothing;
    }
}

bool HearsCrates(Chose chose) { return chose != Chose::CratesOff && chose != Chose::AllOff; }

// A Steam id: 17 digits, as the game gives a player's unique id.
std::string SteamId(int n) { return std::to_string(76561198000000000LL + n); }
std::string ConnectedName(int k) { return "Survivor" + std::to_string(k); }
// Players of the store who are not connected, numbered apart from those who are.
constexpr int OfflineIds = 1000000;

struct StoredPlayer {
    std::string id;
    Chose chose;
};

// Every player of the store: the connected players with a choice, then
// others of the same four kinds in turn up to storedPlayers.
std::vector<StoredPlayer> StoredPlayers(int connected, int storedPlayers) {
    std::vector<StoredPlayer> stored;
    for (int k = 0; k < connected && static_cast<int>(stored.size()) < storedPlayers; ++k) {
        if (ConnectedChoice(k) != Chose::Nothing) {
            stored.push_back({SteamId(k), ConnectedChoice(k)});
        }
    }
    constexpr Chose kinds[] = {Chose::CratesOff, Chose::NodesOff, Chose::AllOff, Chose::AllOffButCrates};
    for (int n = 0; static_cast<int>(stored.size()) < storedPlayers; ++n) {
        stored.push_back({SteamId(OfflineIds + n), kinds[n % 4]});
    }
    return stored;
}

// The rows the chat command leaves for the choice.
std::vector<ChoiceRow> RowsOf(const std::string& id, Chose chose) {
    switch (chose) {
        case Chose::CratesOff:
            return {{id, "crates", false}};
        case Chose::NodesOff:
            return {{id, "nodes", false}};
        case Chose::AllOff:
            return {{id, std::string(AllGroups), false}};
        case Chose::AllOffButCrates:
            return {{id, std::string(AllGroups), false}, {id, "crates", true}};
        case Chose::Nothing:
            break;
    }
    return {};
}

}  // namespace

std::vector<StoredHearing> ChosenStoreHearing(int connected, int storedPlayers) {
    std::vector<StoredHearing> hearing;
    for (const StoredPlayer& player : StoredPlayers(connected, storedPlayers)) {
        hearing.push_back({player.id, HearsCrates(player.chose)});
    }
    return hearing;
}

nlohmann::json ChosenConfig() {
    nlohmann::json config = BenchConfig(false);
    config["Players"] = {{"Store", ChosenStoreName}};
    return config;
}

void ConnectChosenPlayers(int players) {
    for (int k = 0; k < players; ++k) {
        StandIn::ConnectPlayer(ConnectedName(k), false, SteamId(k));
    }
}

std::size_t ChosenHearers(int players) {
    std::size_t hearers = 0;
    for (int k = 0; k < players; ++k) {
        hearers += HearsCrates(ConnectedChoice(k)) ? 1 : 0;
    }
    return hearers;
}

std::size_t WriteChosenStore(const std::string& path, int connected, int storedPlayers) {
    SqliteStore store(path);
    std::size_t rows = 0;
    // Ten thousand players a transaction: a store of a million rows is
    // written in seconds.
    std::vector<RowChange> batch;
    const auto save = [&] {
        if (const std::optional<std::string> failure = store.Save(batch)) {
            throw std::runtime_error("can't write the players' store " + path + ": " + *failure);
        }
        batch.clear();
    };
    for (const StoredPlayer& player : StoredPlayers(connected, storedPlayers)) {
        batch.push_back({player.id, false, {}, RowsOf(player.id, player.chose)});
        rows += batch.back().set.size();
        if (batch.size() == 10'000) {
            save();
        }
    }
    if (!batch.empty()) {
        save();
    }
    return rows;
}

}  // namespace HeraldBench
