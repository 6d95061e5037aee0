#include "players/Players.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "config/PlayersReaders.h"
#include "game/ConnectedPlayers.h"
#include "game/GameTypes.h"
#include "players/ChatCommand.h"
#include "players/ChoiceStore.h"
#include "players/StoreLocation.h"
#include "plugin/PluginLog.h"
#include "plugin/PluginName.h"

namespace {

// What the replies come from.
constexpr std::string_view ReplySender = "Server";

// A change the store could take but has not yet: its player is told after
// this many seconds, and again once it is saved.
constexpr int UnsavedToldAfterSeconds = 5;
constexpr std::string_view NotSavedYetLine =
    "Your choices are not saved yet: they hold on this server and are saved as soon as the store answers.";
constexpr std::string_view SavedLine = "Your choices are saved.";

// A player whose changes wait for the store.
struct WaitingPlayer {
    std::string key;
    int seconds = 0;
    bool told = false;  // NotSavedYetLine sent
};

struct PlayersState {
    bool enabled = false;
    std::string command;  // registered, empty when none is
    std::optional<std::string> storeAsWritten;
    std::unique_ptr<ChoiceStore> store;
    PlayerChoices choices;
    // Changes not in the store, oldest first: a save failed, or the player
    // has no id. Saved, in order, before the next change is.
    std::vector<RowChange> unsaved;
    bool saveFailureLogged = false;
    std::optional<std::string> failure;       // why the store could not be read or written last
    bool storeUnreadable = false;             // its error logged; tried again each second
    bool storeFolderMissing = false;          // as found at load or reload: no save can succeed
    std::optional<std::string> storeRefusal;  // why the store named is not used at all
    std::vector<WaitingPlayer> waiting;
};
PlayersState State;

std::string PlayerId(AShooterPlayerController* player) {
    FString id;
    GameFunction<void(AShooterPlayerController*, FString*)>("AShooterPlayerController.GetUniqueNetIdAsString")(player,
                                                                                                               &id);
    return id.ToUtf8();
}

// Whom a player's choices belong to: their id, or for a player without one,
// their connection, which no id looks like and which is never saved, so that
// players without an id never share choices. Empty when neither is known.
constexpr std::string_view ConnectionKeyStart = "connection:";

std::string ConnectionKey(const FWeakObjectPtr& connection) {
    return std::string(ConnectionKeyStart) + std::to_string(connection.ObjectIndex) + "." +
           std::to_string(connection.ObjectSerialNumber);
}

std::string PlayerKey(AShooterPlayerController* player) {
    std::string id = PlayerId(player);
    if (!id.empty()) {
        return id;
    }
    const std::optional<FWeakObjectPtr> connection = ConnectionOf(player);
    return connection ? ConnectionKey(*connection) : std::string();
}

bool Saveable(const std::string& key) { return !key.empty() && !key.starts_with(ConnectionKeyStart); }

std::string StorePath(const std::string& asWritten) {
    const std::filesystem::path written = std::filesystem::u8path(asWritten);
    if (written.is_absolute()) {
        return asWritten;
    }
    return ArkApi::Tools::GetCurrentDir() + "/" + std::string(PluginsFolder) + "/" + PluginName + "/" + asWritten;
}

std::vector<std::string> GroupsOf(const RowChange& change) {
    std::vector<std::string> groups = change.dropped;
    for (const ChoiceRow& row : change.set) {
        groups.push_back(row.group);
    }
    return groups;
}

// Keeps a change for later, in place of the earlier ones it makes moot, so
// that what waits stays within a change per player and group.
void KeepUnsaved(RowChange change) {
    const std::vector<std::string> groups = GroupsOf(change);
    std::erase_if(State.unsaved, [&](const RowChange& earlier) {
        if (earlier.player != change.player) {
            return false;
        }
        if (change.clearsPlayer) {
            return true;
        }
        const std::vector<std::string> touched = GroupsOf(earlier);
        return !earlier.clearsPlayer && std::all_of(touched.begin(), touched.end(), [&](const std::string& group) {
            return std::find(groups.begin(), groups.end(), group) != groups.end();
        });
    });
    State.unsaved.push_back(std::move(change));
}

// The store's rows with the choices not yet saved over them.
void ReadStore() {
    ChoiceStore::Rows read = State.store->ReadAll();
    if (read.error) {
        State.failure = *read.error;
        if (!State.storeUnreadable) {
            PluginLog::WriteError("Can't read players' choices from " + *State.storeAsWritten + ": " + *read.error);
        }
        State.storeUnreadable = true;
        return;
    }
    State.storeUnreadable = false;
    PlayerChoices fromStore;
    for (const ChoiceRow& row : read.rows) {
        fromStore.Add(row);
    }
    for (const RowChange& change : State.unsaved) {
        fromStore.Apply(change);
    }
    State.choices = std::move(fromStore);
}

std::optional<std::string> Save(const RowChange& change) {
    if (!State.store) {
        return State.storeRefusal.value_or("Players → Store is not a file's path");
    }
    if (State.storeUnreadable) {
        return State.failure;  // logged when read; the timer reads it again each second
    }
    std::optional<std::string> failure = State.store->Save(change);
    State.failure = failure;
    if (failure) {
        if (!State.saveFailureLogged) {
            PluginLog::WriteError("Can't save players' choices to " + *State.storeAsWritten + ": " + *failure);
            State.saveFailureLogged = true;
        }
    } else {
        State.saveFailureLogged = false;
    }
    return failure;
}

// The choices not yet saved, oldest first, as long as saves succeed: a later
// change of a player must not be written over by an earlier one.
bool SaveUnsaved() {
    std::vector<RowChange> still;
    bool saving = true;
    for (RowChange& change : State.unsaved) {
        if (Saveable(change.player) && saving && Save(change)) {
            saving = false;
        }
        if (!Saveable(change.player) || !saving) {
            still.push_back(std::move(change));
        }
    }
    State.unsaved = std::move(still);
    return saving;
}

// Whether the store may yet take a change of this player's: not when the
// player has no id, there is no store, its folder is not there, or the file
// is not a store of ours.
bool StoreMayTake(const std::string& key) {
    return Saveable(key) && State.store && !State.storeFolderMissing &&
           !(State.failure && RefusedForGood(*State.failure));
}

bool HasUnsaved(const std::string& key) {
    return std::any_of(State.unsaved.begin(), State.unsaved.end(),
                       [&key](const RowChange& change) { return change.player == key; });
}

void TellPlayer(const std::string& key, std::string_view text) {
    ForEachConnectedPlayer([&](AShooterPlayerController* player) {
        if (PlayerKey(player) == key) {
            SendChatLine(player, ReplySender, text);
        }
    });
}

// Players whose changes waited are told, once they wait too long and once
// they are saved after that.
void TellWaitingPlayers() {
    std::erase_if(State.waiting, [](WaitingPlayer& waiting) {
        if (!HasUnsaved(waiting.key)) {
            if (waiting.told) {
                TellPlayer(waiting.key, SavedLine);
            }
            return true;
        }
        if (++waiting.seconds >= UnsavedToldAfterSeconds && !waiting.told) {
            TellPlayer(waiting.key, NotSavedYetLine);
            waiting.told = true;
        }
        return false;
    });
}

// The choices of a player without an id end with their connection.
void ForgetEndedConnections() {
    const auto byConnection = [](const RowChange& change) { return change.player.starts_with(ConnectionKeyStart); };
    if (std::none_of(State.unsaved.begin(), State.unsaved.end(), byConnection)) {
        return;
    }
    std::vector<std::string> connected;
    ForEachConnectedEntry([&connected](AShooterPlayerController*, const FWeakObjectPtr& entry) {
        connected.push_back(ConnectionKey(entry));
    });
    std::erase_if(State.unsaved, [&](const RowChange& change) {
        if (!byConnection(change) || std::find(connected.begin(), connected.end(), change.player) != connected.end()) {
            return false;
        }
        State.choices.Apply(RowChange{change.player, true, {}, {}});
        return true;
    });
}

void Reply(AShooterPlayerController* player, const std::string& text) { SendChatLine(player, ReplySender, text); }

}  // namespace

void FollowPlayersSettings() {
    const PlayersSettings settings = PlayersSettingsOf(PluginConfig);
    for (const std::string& problem : settings.problems) {
        PluginLog::WriteError(problem);
    }
    ArkApi::ICommands& commands = ArkApi::GetCommands();
    const std::string command = settings.enabled ? settings.command : std::string();
    if (command != State.command) {
        if (!State.command.empty()) {
            commands.UnregisterChatCommand(FString::FromUtf8(State.command));
        }
        if (!command.empty()) {
            commands.RegisterChatCommand(FString::FromUtf8(command), &PlayersChatHandler);
        }
        State.command = command;
    }
    State.enabled = settings.enabled;
    const std::optional<std::string> store = settings.enabled ? settings.store : std::nullopt;
    if (store != State.storeAsWritten || (store && !State.store)) {
        State.store = store ? std::make_unique<ChoiceStore>(StorePath(*store)) : nullptr;
        State.storeAsWritten = store;
        State.saveFailureLogged = false;
        // A share named by its server is refused from its name alone: asking
        // the network about it could keep the game waiting.
        State.storeRefusal.reset();
        State.storeFolderMissing = false;
        if (State.store && (NamesNetworkShare(*store) || OnNetworkShare(State.store->Path()))) {
            State.store.reset();
            State.storeRefusal = std::string(NetworkShareRefusal);
        } else if (State.store) {
            std::error_code error;
            State.storeFolderMissing =
                !std::filesystem::is_directory(std::filesystem::u8path(State.store->Path()).parent_path(), error);
        }
    }
    if (State.storeRefusal) {
        PluginLog::WriteError(*State.storeRefusal + ": choices are kept until the server stops");
    }
    if (State.store) {
        State.storeUnreadable = false;  // a reload reads it, and says why it can't, anew
        ReadStore();
        if (!State.storeUnreadable) {
            SaveUnsaved();
        }
    }
}

void StopPlayers() {
    if (!State.command.empty()) {
        ArkApi::GetCommands().UnregisterChatCommand(FString::FromUtf8(State.command));
    }
    State = PlayersState();
}

void PlayersTimer() {
    ForgetEndedConnections();
    if (!State.store) {
        return;
    }
    if (State.storeUnreadable || State.store->ChangedElsewhere()) {
        ReadStore();
    }
    // A change that could not be saved, say while another server held the
    // store past the busy timeout, is saved as soon as it can be.
    const bool waiting = std::any_of(State.unsaved.begin(), State.unsaved.end(),
                                     [](const RowChange& change) { return Saveable(change.player); });
    if (waiting && !State.storeUnreadable) {
        SaveUnsaved();
    }
    TellWaitingPlayers();
}

void PlayersChatHandler(AShooterPlayerController* player, FString* line, EChatSendMode::Type /*mode*/) {
    RunLogged([&] {
        if (!State.enabled) {
            return;
        }
        const std::string key = PlayerKey(player);
        const std::vector<std::string>& groups = CurrentPlans().groups;
        const std::string text = line != nullptr ? line->ToUtf8() : State.command;
        ChatCommandAnswer answer = AnswerChatCommand(text, State.command, groups, State.choices, key);
        // A player known by neither id nor connection can't be told apart
        // from another: their change is not made at all.
        if (answer.change && !key.empty()) {
            RowChange change = State.choices.Apply(key, *answer.change);
            const bool saved = Saveable(key) && SaveUnsaved() && !Save(change);
            if (!saved) {
                KeepUnsaved(std::move(change));
                if (!StoreMayTake(key)) {
                    answer.reply += NotSavedNote;
                } else if (std::none_of(State.waiting.begin(), State.waiting.end(),
                                        [&key](const WaitingPlayer& waiting) { return waiting.key == key; })) {
                    State.waiting.push_back({key});
                }
            }
        } else if (answer.change) {
            answer.reply = "Your choice can't be kept: the server can't tell you from another player.";
        }
        Reply(player, answer.reply);
    });
}

bool SomePlayerChose() { return State.enabled && !State.choices.Empty(); }

bool PlayerHears(AShooterPlayerController* player, std::string_view foldedGroup) {
    return !SomePlayerChose() || State.choices.Hears(PlayerKey(player), foldedGroup);
}

std::string PlayersStatus() {
    if (!State.enabled) {
        return {};
    }
    if (!State.store) {
        return State.storeRefusal ? " Store " + *State.storeAsWritten + ": not saved (" + *State.storeRefusal + ")."
                                  : " Store: not saved (Players → Store is not a file's path).";
    }
    const std::string store = " Store " + *State.storeAsWritten + ": ";
    if (State.failure) {
        return store + "not saved (" + *State.failure + ").";
    }
    return store + std::to_string(State.choices.Players()) + " players with choices.";
}
