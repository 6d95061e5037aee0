#include "run/Play.h"

#include <fstream>
#include <system_error>

#include "StandIn.h"
#include "plugin/PluginName.h"

namespace Herald {

namespace fs = std::filesystem;

void CheckOutput(const std::ostream& out, const std::string& stopped) {
    if (!out) {
        throw OutputClosed("the transcript can't be written any more (its output was closed)" + stopped);
    }
}

// ---- The temporary server folder ---------------------------------------------

TemporaryServerFolder::TemporaryServerFolder() : folder_("herald") {
    const fs::path plugins = folder_.Root() / PluginsFolder;
    folder_.Holds(PluginFolder() / ConfigFileName, false);
    folder_.Holds(PluginFolder(), true);
    folder_.Holds(plugins, true);
    folder_.Holds(plugins.parent_path(), true);
    std::error_code error;
    fs::create_directories(PluginFolder(), error);
    if (error) {
        throw TemporaryFolderError(PluginFolder().string() + ": " + error.message());
    }
}

fs::path TemporaryServerFolder::PluginFolder() const { return folder_.Root() / PluginsFolder / PluginName; }

void TemporaryServerFolder::WriteConfig(const std::optional<std::string>& text) const {
    const fs::path path = PluginFolder() / "config.json";
    if (!text) {
        std::error_code ignored;
        fs::remove(path, ignored);
        return;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << *text;
    if (!file) {
        throw std::runtime_error("can't write " + path.string());
    }
}

namespace {

// ---- Driving the stand-in --------------------------------------------------------

void ApplyWorldSettings(const WorldSettings& settings) {
    StandIn::SetWorldSettings(settings.latitudeScale, settings.latitudeOrigin, settings.longitudeScale,
                              settings.longitudeOrigin);
}

StandIn::ObjectClass StructureClass(SpawnClass objectClass) {
    switch (objectClass) {
        case SpawnClass::Container:
            return StandIn::ObjectClass::ItemContainer;
        case SpawnClass::Structure:
            return StandIn::ObjectClass::Structure;
        case SpawnClass::Other:
            break;
    }
    return StandIn::ObjectClass::Other;
}

FVector AsVector(const Position& position) { return {position.x, position.y, position.z}; }

StandIn::StructureSpawn AsSpawn(const SpawnStructureEvent& event) {
    StandIn::StructureSpawn spawn;
    spawn.name = StandIn::Utf16(event.name);
    spawn.objectClass = StructureClass(event.objectClass);
    spawn.location = AsVector(event.location);
    if (event.instigator) {
        StandIn::Instigator instigator;
        instigator.name = StandIn::Utf16(event.instigator->name);
        instigator.objectClass = event.instigator->objectClass == InstigatorClass::Dino ? StandIn::ObjectClass::Dino
                                                                                        : StandIn::ObjectClass::Other;
        instigator.level = event.instigator->level;
        instigator.hasStatusComponent = event.instigator->statusComponent;
        spawn.instigator = instigator;
    }
    return spawn;
}

// Plays one run step by step; each step's records are handed back when it
// is over, and the host's own records dropped, so that a long scenario stays
// flat in memory.
class ScenarioPlayer {
public:
    ScenarioPlayer(const std::string& pluginPath, const TemporaryServerFolder& folder)
        : pluginPath_(pluginPath), folder_(folder) {}
    // Cut short: the plugin is not left loaded behind a caller that goes on.
    ~ScenarioPlayer() {
        if (StandIn::PluginLoaded()) {
            StandIn::UnloadPlugin();
        }
        StandIn::ClearRecords();
    }
    ScenarioPlayer(const ScenarioPlayer&) = delete;
    ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;

    PlayedStep Start(const ScenarioSetup& setup) {
        records_.emplace_back(
            StartRecord{setup.map, setup.serverReady, setup.players.size(), setup.configText.has_value(), pluginPath_});
        StandIn::ResetServer();
        StandIn::SetServerDirectory(folder_.Root().string());
        StandIn::SetServerStatus(setup.serverReady ? 1 : 0);
        StandIn::SetMapName(setup.map);
        ApplyWorldSettings(setup.worldSettings);
        for (const Herald::Player& player : setup.players) {
            StandIn::ConnectPlayer(player.name, player.admin, player.id);
        }
        if (setup.configText) {
            folder_.WriteConfig(setup.configText);
        }
        Load(std::nullopt);
        return Step(PlayedStep::Kind::Opening, 0);
    }

    PlayedStep Play(std::size_t index, const Herald::Event& event) {
        records_.emplace_back(EventRecord{index, Summary(event)});
        std::visit([&](const auto& each) { Apply(each, index); }, event);
        Flush(index);
        return Step(PlayedStep::Kind::Event, index);
    }

    PlayedStep Finish() {
        if (StandIn::PluginLoaded()) {
            Unload(std::nullopt);
        }
        return Step(PlayedStep::Kind::Closing, 0);
    }

    PlayedStep Interrupted() { return Step(PlayedStep::Kind::Interrupted, 0); }

private:
    PlayedStep Step(PlayedStep::Kind kind, std::size_t index) {
        PlayedStep step{kind, index, std::move(records_)};
        records_.clear();
        return step;
    }
    void Flush(std::optional<std::size_t> eventIndex) {
        if (!StandIn::Records().empty()) {
            records_.emplace_back(HostRecords{StandIn::Records(), eventIndex});
        }
        StandIn::ClearRecords();
    }
    void Load(std::optional<std::size_t> eventIndex) {
        const StandIn::LoadResult result = StandIn::LoadPlugin(pluginPath_);
        Flush(eventIndex);
        records_.emplace_back(LoadRecord{result});
    }
    void Unload(std::optional<std::size_t> eventIndex) {
        StandIn::UnloadPlugin();
        Flush(eventIndex);
        records_.emplace_back(UnloadRecord{});
    }

    void Apply(const LoadEvent&, std::size_t index) { Load(index); }
    void Apply(const UnloadEvent&, std::size_t index) {
        // Nothing to take down when no plugin is loaded.
        if (StandIn::PluginLoaded()) {
            Unload(index);
        }
    }
    void Apply(const InitGameEvent& event, std::size_t) {
        StandIn::SetServerStatus(1);
        StandIn::RunInitGame(event.map);
    }
    void Apply(const SpawnStructureEvent& event, std::size_t) { StandIn::SpawnStructure(AsSpawn(event)); }
    void Apply(const SpawnContainerEvent& event, std::size_t) {
        StandIn::ContainerSpawn spawn;
        spawn.name = StandIn::Utf16(event.name);
        spawn.position = AsVector(event.position);
        spawn.hasRootComponent = event.rootComponent;
        StandIn::SpawnContainer(spawn);
    }
    void Apply(const ConnectEvent& event, std::size_t) {
        StandIn::ConnectPlayer(event.player.name, event.player.admin, event.player.id);
    }
    // A player who isn't connected has nothing to leave.
    void Apply(const DisconnectEvent& event, std::size_t) { StandIn::DisconnectPlayer(event.player); }
    void Apply(const ConsoleEvent& event, std::size_t) {
        StandIn::ConsoleCommand(event.player ? &*event.player : nullptr, event.command);
    }
    void Apply(const RconEvent& event, std::size_t) { StandIn::RconCommand(event.command, event.id); }
    void Apply(const ChatEvent& event, std::size_t) { StandIn::ChatLine(event.player, event.text); }
    void Apply(const WaitEvent& event, std::size_t) { StandIn::Wait(event.seconds); }
    void Apply(const ConfigFileEvent& event, std::size_t) { folder_.WriteConfig(event.text); }
    void Apply(const WorldSettingsEvent& event, std::size_t) { ApplyWorldSettings(event.settings); }
    // A reply nothing waits for is an impossible event, as a chat line from
    // nobody connected is: the host turns it away.
    void Apply(const WebhookReplyEvent& event, std::size_t) {
        ArkApi::HttpReply reply;
        reply.status = event.status;
        reply.headers = event.headers;
        reply.body = event.body;
        if (!StandIn::ReplyToOldestRequest(reply)) {
            StandIn::Record refused;
            refused.kind = StandIn::RecordKind::Refused;
            refused.text = "no web request is waiting for a reply";
            StandIn::Records().push_back(std::move(refused));
        }
    }

    const std::string& pluginPath_;
    const TemporaryServerFolder& folder_;
    std::vector<PlayRecord> records_;  // of the step being played
};

}  // namespace

void PlayScenario(const ScenarioSetup& setup, const EventSource& events, const std::string& pluginPath,
                  const TemporaryServerFolder& folder, const StepSink& sink) {
    // Only what this run leaves behind counts.
    const StandIn::AllocatorStats before = StandIn::Allocator();
    PlayedStep closing;
    {
        ScenarioPlayer player(pluginPath, folder);
        try {
            sink(player.Start(setup));
            events([&](std::size_t index, const Event& event) { sink(player.Play(index, event)); });
            closing = player.Finish();
        } catch (...) {
            // What the step had shown before the error still goes out, as it
            // would have while playing.
            if (PlayedStep rest = player.Interrupted(); !rest.records.empty()) {
                sink(std::move(rest));
            }
            throw;
        }
    }
    const StandIn::AllocatorStats& after = StandIn::Allocator();
    closing.records.emplace_back(
        MemoryRecord{static_cast<long long>(after.liveBlocks) - static_cast<long long>(before.liveBlocks),
                     static_cast<long long>(after.liveBytes) - static_cast<long long>(before.liveBytes)});
    sink(std::move(closing));
}

PlayedScenario PlayInMemory(const ScenarioSetup& setup, const std::vector<Event>& events, const std::string& pluginPath,
                            const TemporaryServerFolder& folder) {
    PlayedScenario played;
    const EventSource source = [&](const EventPlayer& play) {
        for (std::size_t index = 0; index < events.size(); ++index) {
            play(index, events[index]);
        }
    };
    PlayScenario(setup, source, pluginPath, folder, [&](PlayedStep&& step) {
        switch (step.kind) {
            case PlayedStep::Kind::Opening:
                played.opening = std::move(step);
                break;
            case PlayedStep::Kind::Event:
                played.events.push_back(std::move(step));
                break;
            case PlayedStep::Kind::Closing:
                played.closing = std::move(step);
                break;
            case PlayedStep::Kind::Interrupted:
                break;  // the error that follows ends the run
        }
    });
    return played;
}

}  // namespace Herald
