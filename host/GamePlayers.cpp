// Players joining and leaving, in the world's list of player controllers as
// the game keeps it.

#include <optional>
#include <string>

#include "HostState.h"

namespace StandIn::detail {

namespace {

// Names as the game compares them: two texts that become the same game text
// (bytes that are not UTF-8 each become U+FFFD) name the same player.
std::string PlayerKey(const std::string& name) { return Utf8(Utf16(name)); }

}  // namespace

// The earliest connected live player of that name, or null.
GameObject* FindPlayer(const std::string& name) {
    const auto& byName = TheServer().playerList.byName;
    const auto found = byName.find(PlayerKey(name));
    return found != byName.end() ? found->second.front() : nullptr;
}

}  // namespace StandIn::detail

namespace StandIn {

using namespace detail;

void ConnectPlayer(const std::string& name, bool admin, const std::optional<std::string>& id) {
    Server& server = TheServer();
    PlayerList& players = server.playerList;
    // The world drops the entries of controllers destroyed since the last
    // join when it adds the joining player's controller (the game's
    // UWorld.AddController, which walks its list anyway): until someone joins,
    // a leaver's entry stays, stale, for the plugin to skip. The order of the
    // others is kept.
    if (players.staleEntries > 0) {
        std::erase_if(players.entries, [](const FWeakObjectPtr& entry) { return LiveObject(entry) == nullptr; });
        players.staleEntries = 0;
    }
    GameObject* player = CreateObject(Kind::PlayerController, Utf16(name));
    player->admin = admin;
    player->uniqueId = Utf16(id.value_or(name));
    players.entries.push_back(WeakReference(player));
    players.byName[PlayerKey(name)].push_back(player);
    auto& list = server.world->PlayerControllerList;
    list.Data = players.entries.data();
    list.ArrayNum = static_cast<int32_t>(players.entries.size());
    list.ArrayMax = static_cast<int32_t>(players.entries.capacity());
}

bool DisconnectPlayer(const std::string& name) {
    PlayerList& players = TheServer().playerList;
    const auto found = players.byName.find(PlayerKey(name));
    if (found == players.byName.end()) {
        return false;
    }
    GameObject* player = found->second.front();
    found->second.pop_front();
    if (found->second.empty()) {
        players.byName.erase(found);
    }
    DestroyObject(player);
    ++players.staleEntries;
    return true;
}

}  // namespace StandIn
