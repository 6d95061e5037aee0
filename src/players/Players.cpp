#include "players/Players.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "announce/Broadcast.h"
#include "config/Config.h"
#include "config/ConfigReaders.h"
#include "game/GameTypes.h"
#include "players/ChatCommand.h"
#include "players/ChoiceStore.h"
#include "plugin/Plugin.h"
#include "plugin/PluginLog.h"
#include "plugin/PluginName.h"

namespace {

// What the replies come from.
constexpr std::string_view ReplySender = "Server";

struct PlayersState {
    bool enabled = false;
    std::string command;  // registered, empty when none is
    std::optional<std::string> storeAsWritten;
    std::unique_ptr<ChoiceStore> store;
    PlayerChoices choices;
    // Players whose choice here differs from the store's: a save failed, or
    // their id is empty. Each is written whole at the next save that can be.
    std::vector<std::string> unsaved;
    bool saveFailureLogged = false;
    bool storeUnreadable = false;  // its error logged; tried again each second
};
PlayersState State;

std::string PlayerId(AShooterPlayerController* player) {
    FString id;
    GameFunction<void(AShooterPlayerController*, FString*)>("AShooterPlayerController.GetUniqueNetIdAsString")(player,
                                                                                                             &id);
    return id.ToUtf8();
}

std::string StorePath(const std::string& asWritten) {
    const std::filesystem::path written = std::filesystem::u8path(asWritten);
    if (written.is_absolute()) {
        return asWritten;
    }
    return ArkApi::Tools::GetCurrentDir() + "/" + std::string(PluginsFolder) + "/" + PluginName + "/" + asWritten;
}

void MarkUnsaved(const std::string& player) {
    if (std::find(State.unsaved.begin(), State.unsaved.end(), player) == State.unsaved.end()) {
        State.unsaved.push_back(player);
    }
}

// The store's rows with the choices not yet saved over them.
void ReadStore() {
    ChoiceStore::Rows read = State.store->ReadAll();
    if (read.error) {
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
    for (const std::string& player : State.unsaved) {
        fromStore.Apply(State.choices.StateOf(player));
    }
    State.choices = std::move(fromStore);
}

std::optional<std::string> Save(const RowChange& change) {
    if (!State.store) {
        return "Players → Store is not a file's path";
    }
    std::optional<std::string> failure = State.store->Save(change);
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
    std::vector<std::string> still;
    bool saving = true;
    for (std::string& player : State.unsaved) {
        if (!player.empty() && saving && Save(State.choices.StateOf(player))) {
            saving = false;
        }
        if (player.empty() || !saving) {
            still.push_back(std::move(player));
        }
    }
    State.unsaved = std::move(still);
    return saving;
}

void Reply(AShooterPlayerController* player, const std::string& text) {
    SendChatLine(player, ReplySender, text);
}

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
    if (State.store && (State.storeUnreadable || State.store->ChangedElsewhere())) {
        ReadStore();
    }
}

void PlayersChatHandler(AShooterPlayerController* player, FString* line, EChatSendMode::Type /*mode*/) {
    RunLogged([&] {
        if (!State.enabled) {
            return;
        }
        const std::string id = PlayerId(player);
        const std::vector<std::string> groups = AnnouncedGroups(PluginConfig, CurrentMapName);
        ChatCommandAnswer answer = AnswerChatCommand(line->ToUtf8(), State.command, groups, State.choices, id);
        if (answer.change) {
            const RowChange change = State.choices.Apply(id, *answer.change);
            const bool saved = !id.empty() && SaveUnsaved() && !Save(change);
            if (!saved) {
                MarkUnsaved(id);
                answer.reply += NotSavedNote;
            }
        }
        Reply(player, answer.reply);
    });
}

bool SomePlayerChose() { return State.enabled && !State.choices.Empty(); }

bool PlayerHears(AShooterPlayerController* player, std::string_view foldedGroup) {
    return !SomePlayerChose() || State.choices.Hears(PlayerId(player), foldedGroup);
}
