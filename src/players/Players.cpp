#include "players/Players.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "config/PlayersReaders.h"
#include "config/StoreAddress.h"
#include "game/ConnectedPlayers.h"
#include "game/GameTypes.h"
#include "players/ChatCommand.h"
#include "players/ChoiceStore.h"
#include "players/StoreLocation.h"
#include "players/StoreWorker.h"
#include "plugin/PluginLog.h"
#include "plugin/PluginName.h"

namespace {

// What the replies come from.
constexpr std::string_view ReplySender = "Server";

// A change handed to the store and not committed: its player is told once it
// waited this long, and again once it is saved.
constexpr std::chrono::seconds UnsavedToldAfter{5};
constexpr std::string_view NotSavedYetLine =
    "Your choices are not saved yet: they hold on this server and are saved as soon as the store answers.";
constexpr std::string_view SavedLine = "Your choices are saved.";

// How long the unload gives the worker to commit what waits.
constexpr std::chrono::seconds UnloadSaveBudget{2};

// A player whose changes wait for the store.
struct WaitingPlayer {
    std::string key;
    std::chrono::steady_clock::time_point since;  // the first change that waits
    bool told = false;                            // NotSavedYetLine sent
};

struct PlayersState {
    bool enabled = false;
    bool followed = false;  // settings followed since the load
    std::string command;    // registered, empty when none is
    std::optional<std::string> storeAsWritten;
    std::string storeShown;  // as the log and Status show it: never a database's user or password
    std::unique_ptr<StoreWorker> worker;
    bool storeFolderMissing = false;          // as found at load or reload: no save can succeed
    std::optional<std::string> storeRefusal;  // why the store named is not used at all
    PlayerChoices choices;
    // Handed to the worker and not known to be committed, oldest first: laid
    // again over each read of the store that does not hold them yet.
    std::vector<NumberedChange> handed;
    std::uint64_t lastNumber = 0;
    // Never saved: made with no store to take them, or by a player without an
    // id. Laid over each read too.
    std::vector<RowChange> kept;
    // As the worker last told, each logged once.
    std::optional<std::string> readFailure;
    std::optional<std::string> saveFailure;
    std::optional<int> secondsSinceRead;  // none before the first read
    std::uint64_t replacements = 0;       // as the worker last told
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

void Hand(RowChange change) {
    State.worker->Hand({++State.lastNumber, change});
    State.handed.push_back({State.lastNumber, std::move(change)});
}

// Logs a failure the worker tells of, once until it ends or another follows.
// A reason is said once, when first met, by the read or by the save: a store
// refused at the read also refuses the changes handed to it since.
void FollowFailure(std::optional<std::string>& known, std::optional<std::string> told, std::string_view doing,
                   const std::optional<std::string>& saidByTheOther) {
    if (told && told != known && told != saidByTheOther) {
        PluginLog::WriteError(std::string(doing) + State.storeShown + ": " + *told);
    }
    known = std::move(told);
}

// What the worker did: a read of the store, with the changes it does not
// hold yet laid over it, and the changes committed since the last look.
void TakeNews() {
    StoreNews news = State.worker->Collect();
    if (news.whole) {
        PlayerChoices fresh = std::move(*news.whole);
        for (const NumberedChange& handed : State.handed) {
            if (handed.number > news.readThrough) {
                fresh.Apply(handed.change);
            }
        }
        for (const RowChange& change : State.kept) {
            fresh.Apply(change);
        }
        State.worker->Dispose(std::make_unique<PlayerChoices>(std::exchange(State.choices, std::move(fresh))));
    }
    // Only the players changed elsewhere, whatever the store holds.
    if (!news.changed.empty()) {
        for (const auto& [player, rows] : news.changed) {
            State.choices.Replace(player, rows);
        }
        for (const NumberedChange& handed : State.handed) {
            if (handed.number > news.readThrough && news.changed.contains(handed.change.player)) {
                State.choices.Apply(handed.change);
            }
        }
        for (const RowChange& change : State.kept) {
            if (news.changed.contains(change.player)) {
                State.choices.Apply(change);
            }
        }
    }
    if (news.read) {
        State.secondsSinceRead = 0;
    }
    std::erase_if(State.handed, [&](const NumberedChange& handed) { return handed.number <= news.savedThrough; });
    if (news.replacements > State.replacements) {
        PluginLog::WriteError("The players' store " + State.storeShown +
                              " was deleted or replaced while the server ran: the choices made here since it was "
                              "last read are saved again to the file now there");
        State.replacements = news.replacements;
    }
    FollowFailure(State.readFailure, std::move(news.readFailure), "Can't read players' choices from ",
                  State.saveFailure);
    FollowFailure(State.saveFailure, std::move(news.saveFailure), "Can't save players' choices to ", State.readFailure);
}

// Whether the store may yet take a change of this player's: not when the
// player has no id, there is no store, its folder is not there, or the file
// is not a store of ours.
bool StoreMayTake(const std::string& key) {
    const auto refused = [](const std::optional<std::string>& failure) { return failure && RefusedForGood(*failure); };
    return Saveable(key) && State.worker && !State.storeFolderMissing && !refused(State.readFailure) &&
           !refused(State.saveFailure);
}

bool Waits(const std::string& key) {
    return std::any_of(State.handed.begin(), State.handed.end(),
                       [&key](const NumberedChange& handed) { return handed.change.player == key; });
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
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(State.waiting, [&](WaitingPlayer& waiting) {
        if (!Waits(waiting.key)) {
            if (waiting.told) {
                TellPlayer(waiting.key, SavedLine);
            }
            return true;
        }
        if (now - waiting.since >= UnsavedToldAfter && !waiting.told) {
            TellPlayer(waiting.key, NotSavedYetLine);
            waiting.told = true;
        }
        return false;
    });
}

// The choices of a player without an id end with their connection.
void ForgetEndedConnections() {
    const auto byConnection = [](const RowChange& change) { return change.player.starts_with(ConnectionKeyStart); };
    if (std::none_of(State.kept.begin(), State.kept.end(), byConnection)) {
        return;
    }
    std::vector<std::string> connected;
    ForEachConnectedEntry([&connected](AShooterPlayerController*, const FWeakObjectPtr& entry) {
        connected.push_back(ConnectionKey(entry));
    });
    std::erase_if(State.kept, [&](const RowChange& change) {
        if (!byConnection(change) || std::find(connected.begin(), connected.end(), change.player) != connected.end()) {
            return false;
        }
        State.choices.Apply(RowChange{change.player, true, {}, {}});
        return true;
    });
}

// Stops the worker of the store named before, and gives back what it left
// uncommitted, for the next store to take.
std::vector<NumberedChange> StopWorker(std::chrono::milliseconds budget) {
    if (!State.worker) {
        return {};
    }
    std::vector<NumberedChange> left = State.worker->Stop(budget);
    State.worker.reset();
    State.handed.clear();
    State.readFailure.reset();
    State.saveFailure.reset();
    State.secondsSinceRead.reset();
    State.replacements = 0;
    return left;
}

// A worker for the store now named, handed the changes no store took yet:
// those the last one left, and those made while none could take them.
void StartWorker(const std::string& address) {
    // At load, while the server starts and no player waits, the store is read
    // before the load returns, so that the first spawns and replies follow
    // it; and here, on this thread: one the library's entry starts runs only
    // once the entry returns.
    State.worker = std::make_unique<StoreWorker>(MakeChoiceStore(address), !State.followed);
    if (!State.followed) {
        TakeNews();
    }
    std::vector<RowChange> kept = std::exchange(State.kept, {});
    for (RowChange& change : kept) {
        if (Saveable(change.player)) {
            Hand(std::move(change));
        } else {
            State.kept.push_back(std::move(change));
        }
    }
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
    // A reload reads the store again only when it names another; until that
    // read is done, the choices held stay in effect.
    if (store != State.storeAsWritten || (store && !State.worker)) {
        std::vector<NumberedChange> left = StopWorker(std::chrono::milliseconds(0));
        for (NumberedChange& change : left) {
            State.kept.push_back(std::move(change.change));
        }
        State.storeAsWritten = store;
        State.storeShown = store ? ShownStore(*store) : std::string();
        // A share named by its server is refused from its name alone: asking
        // the network about it could keep the game waiting.
        State.storeRefusal.reset();
        State.storeFolderMissing = false;
        const bool mariadb = store && NamesMariadb(*store);
        const std::string path = store && !mariadb ? StorePath(*store) : std::string();
        const std::optional<std::string> noClient = mariadb ? MariadbClientMissing() : std::nullopt;
        if (noClient) {
            State.storeRefusal = "Players → Store is a MariaDB database, and " + *noClient;
        } else if (mariadb) {
            StartWorker(*store);
        } else if (store && (NamesNetworkShare(*store) || OnNetworkShare(path))) {
            State.storeRefusal = std::string(NetworkShareRefusal);
        } else if (store) {
            std::error_code error;
            State.storeFolderMissing =
                !std::filesystem::is_directory(std::filesystem::u8path(path).parent_path(), error);
            StartWorker(path);
        }
    }
    if (State.storeRefusal) {
        PluginLog::WriteError(*State.storeRefusal + ": choices are kept until the server stops");
    }
    State.followed = true;
}

void StopPlayers() {
    if (!State.command.empty()) {
        ArkApi::GetCommands().UnregisterChatCommand(FString::FromUtf8(State.command));
    }
    const std::size_t unsaved = StopWorker(UnloadSaveBudget).size();
    if (unsaved > 0) {
        PluginLog::WriteError(std::to_string(unsaved) + " changes of players' choices were not saved to " +
                              State.storeShown);
    }
    State = PlayersState();
}

void PlayersTimer() {
    ForgetEndedConnections();
    if (!State.worker) {
        return;
    }
    if (State.secondsSinceRead) {
        ++*State.secondsSinceRead;
    }
    TakeNews();
    State.worker->Nudge();
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
            const bool mayTake = StoreMayTake(key);
            if (Saveable(key) && State.worker) {
                Hand(std::move(change));
                if (mayTake && std::none_of(State.waiting.begin(), State.waiting.end(),
                                            [&key](const WaitingPlayer& waiting) { return waiting.key == key; })) {
                    State.waiting.push_back({key, std::chrono::steady_clock::now()});
                }
            } else {
                AddInPlaceOfMoot(State.kept, std::move(change));
            }
            if (!mayTake) {
                answer.reply += NotSavedNote;
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
    if (!State.worker) {
        return State.storeRefusal ? " Store " + State.storeShown + ": not saved (" + *State.storeRefusal + ")."
                                  : " Store: not saved (Players → Store is not a file's path).";
    }
    std::string status = " Store " + State.storeShown + ": " + std::to_string(State.choices.Players()) +
                         " players with choices, " + std::to_string(State.handed.size()) + " changes not saved yet, " +
                         (State.secondsSinceRead ? "last read " + std::to_string(*State.secondsSinceRead) + " s ago"
                                                 : std::string("not read yet"));
    if (const std::optional<std::string>& failure = State.saveFailure ? State.saveFailure : State.readFailure) {
        status += " (" + *failure + ")";
    }
    return status + ".";
}
