#include "run/Run.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "common/Output.h"
#include "StandIn.h"
#include "common/TemporaryFolder.h"

namespace Herald {

namespace {

namespace fs = std::filesystem;

// ---- Transcripts -----------------------------------------------------------

// What happened, as it happened; each format decides how it reads.
class Transcript {
public:
    virtual ~Transcript() = default;
    virtual void Start(const ScenarioSetup& /*setup*/, const std::string& /*pluginPath*/) {}
    // An event of the scenario is about to be played (index in "events").
    virtual void Event(std::size_t /*index*/, const std::string& /*summary*/) {}
    // What the game, the log and the consoles received since the last call.
    virtual void Records(const std::vector<StandIn::Record>& records, std::optional<std::size_t> eventIndex) = 0;
    virtual void Load(const StandIn::LoadResult& result) = 0;
    virtual void Unload() = 0;
    virtual void Memory(long long liveBlocks, long long liveBytes) = 0;
};

std::vector<float> Channels(const FColorLinear& color) { return {color.R, color.G, color.B, color.A}; }

class JsonTranscript final : public Transcript {
public:
    explicit JsonTranscript(std::ostream& out) : out_(out) {}

    void Records(const std::vector<StandIn::Record>& records, std::optional<std::size_t> eventIndex) override {
        for (const StandIn::Record& record : records) {
            out_ << Line(record, eventIndex) << '\n';
        }
        out_.flush();
    }
    void Load(const StandIn::LoadResult& result) override {
        JsonLine line;
        line.Text("type", "load").Boolean("ok", result.ok);
        if (!result.ok) {
            line.Text("error", result.error);
        }
        out_ << line.Done() << '\n';
    }
    void Unload() override { out_ << JsonLine().Text("type", "unload").Done() << '\n'; }
    void Memory(long long liveBlocks, long long liveBytes) override {
        out_ << JsonLine()
                    .Text("type", "memory")
                    .Integer("live_blocks", liveBlocks)
                    .Integer("live_bytes", liveBytes)
                    .Done()
             << '\n';
    }

private:
    static std::string Line(const StandIn::Record& record, std::optional<std::size_t> eventIndex) {
        JsonLine line;
        switch (record.kind) {
            case StandIn::RecordKind::Notification:
                line.Text("type", "notification").Text("player", record.player).Text("text", record.text);
                line.Floats("color", Channels(record.color)).Float("size", record.size).Float("time", record.time);
                break;
            case StandIn::RecordKind::Chat:
                line.Text("type", "chat").Text("player", record.player).Text("sender", record.sender);
                line.Text("text", record.text);
                break;
            case StandIn::RecordKind::ConsoleReply:
                line.Text("type", "console_reply");
                record.player.empty() ? line.Null("player") : line.Text("player", record.player);
                line.Text("text", record.text).Floats("color", Channels(record.color));
                break;
            case StandIn::RecordKind::RconReply:
                line.Text("type", "rcon_reply").Integer("id", record.id).Integer("reply_type", record.replyType);
                line.Text("text", record.text);
                break;
            case StandIn::RecordKind::Log:
                line.Text("type", "log").Text("logger", record.logger).Text("level", record.level);
                line.Text("text", record.text);
                break;
            case StandIn::RecordKind::Refused:
                line.Text("type", "refused");
                eventIndex ? line.Integer("event", static_cast<long long>(*eventIndex)) : line.Null("event");
                line.Text("reason", record.text);
                break;
        }
        return line.Done();
    }

    std::ostream& out_;
};

// The 8-bit sRGB colour an admin writes in config.json, from the linear
// channels the game received.
std::string ColorBytes(const FColorLinear& color) {
    const auto channel = [](float linear) {
        if (!std::isfinite(linear)) {
            return std::string("?");
        }
        const double x = linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
        return std::to_string(static_cast<int>(std::lround(std::clamp(x, 0.0, 1.0) * 255.0)));
    };
    std::string text = channel(color.R) + "," + channel(color.G) + "," + channel(color.B);
    const long alpha = std::lround(std::clamp(static_cast<double>(color.A), 0.0, 1.0) * 255.0);
    return alpha == 255 ? text : text + "," + std::to_string(alpha);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

class HumanTranscript final : public Transcript {
public:
    explicit HumanTranscript(std::ostream& out) : out_(out) {}

    void Start(const ScenarioSetup& setup, const std::string& pluginPath) override {
        out_ << "Server on " << setup.map << (setup.serverReady ? "" : " (not yet running)") << ", "
             << setup.players.size() << (setup.players.size() == 1 ? " player" : " players")
             << (setup.configText ? "" : ", no config.json") << "\nPlugin " << pluginPath << "\n\n";
    }
    void Event(std::size_t index, const std::string& summary) override {
        out_ << "#" << index << " " << summary << '\n';
    }
    void Records(const std::vector<StandIn::Record>& records, std::optional<std::size_t> /*eventIndex*/) override {
        std::vector<std::vector<std::string>> rows;
        for (const StandIn::Record& record : records) {
            rows.push_back(Row(record));
        }
        for (const std::string& line : AlignColumns(rows)) {
            out_ << "    " << line << '\n';
        }
        out_.flush();
    }
    void Load(const StandIn::LoadResult& result) override {
        out_ << "    " << (result.ok ? "plugin loaded" : "plugin refused to load: " + result.error) << '\n';
    }
    void Unload() override { out_ << "    plugin unloaded\n"; }
    void Memory(long long liveBlocks, long long liveBytes) override {
        out_ << "\nGame memory still held after unload: " << liveBlocks << (liveBlocks == 1 ? " block, " : " blocks, ")
             << liveBytes << " bytes" << (liveBlocks == 0 ? "" : "  <-- leak") << '\n';
    }

private:
    static std::vector<std::string> Row(const StandIn::Record& record) {
        switch (record.kind) {
            case StandIn::RecordKind::Notification:
                return {"notification", "-> " + record.player, Quoted(record.text),
                        "colour " + ColorBytes(record.color),
                        "size " + HumanFloat(record.size) + "  time " + HumanFloat(record.time)};
            case StandIn::RecordKind::Chat:
                return {"chat", "-> " + record.player, record.sender + ": " + Quoted(record.text)};
            case StandIn::RecordKind::ConsoleReply:
                return {"console reply", "-> " + (record.player.empty() ? "server" : record.player),
                        Quoted(record.text), "colour " + ColorBytes(record.color)};
            case StandIn::RecordKind::RconReply:
                return {"rcon reply", "-> #" + std::to_string(record.id), Quoted(record.text),
                        "type " + std::to_string(record.replyType)};
            case StandIn::RecordKind::Log:
                return {"log", "[" + record.logger + "]", record.level + ": " + record.text};
            case StandIn::RecordKind::Refused:
                return {"refused", "by host", record.text};
        }
        return {};
    }

    std::ostream& out_;
};

// ---- Playing a scenario ------------------------------------------------------

std::string Format(float value) { return HumanFloat(value); }

// Appended step by step: GCC 12 reports a false -Wrestrict on the chained
// form in optimised builds.
std::string Describe(const Position& position) {
    std::string text = "(";
    text += Format(position.x);
    text += ", ";
    text += Format(position.y);
    text += ", ";
    text += Format(position.z);
    text += ")";
    return text;
}

std::string Summary(const Herald::Event& event) {
    struct Summarise {
        std::string operator()(const LoadEvent&) const { return "load"; }
        std::string operator()(const UnloadEvent&) const { return "unload"; }
        std::string operator()(const InitGameEvent& e) const { return "init_game " + e.map; }
        std::string operator()(const SpawnStructureEvent& e) const {
            const char* kind = e.objectClass == SpawnClass::Container   ? "container"
                               : e.objectClass == SpawnClass::Structure ? "structure"
                                                                        : "object";
            std::string text = std::string("spawn ") + kind + " " + e.name + " at " + Describe(e.location);
            if (e.instigator) {
                text += ", by " + e.instigator->name +
                        (e.instigator->objectClass == InstigatorClass::Dino ? " (dino" : " (not a dino") +
                        (e.instigator->statusComponent ? ", level " + std::to_string(e.instigator->level) : "") + ")";
            }
            return text;
        }
        std::string operator()(const SpawnContainerEvent& e) const {
            return "spawn item container " + e.name +
                   (e.rootComponent ? " at " + Describe(e.position) : " (no root component)");
        }
        std::string operator()(const ConnectEvent& e) const {
            return "connect " + e.player.name + (e.player.admin ? " (admin)" : "");
        }
        std::string operator()(const DisconnectEvent& e) const { return "disconnect " + e.player; }
        std::string operator()(const ConsoleEvent& e) const {
            return "console " + (e.player ? *e.player : std::string("(server)")) + ": " + e.command;
        }
        std::string operator()(const RconEvent& e) const { return "rcon #" + std::to_string(e.id) + ": " + e.command; }
        std::string operator()(const ConfigFileEvent& e) const {
            return e.text ? "write config.json (" + std::to_string(e.text->size()) + " bytes)" : "delete config.json";
        }
        std::string operator()(const WorldSettingsEvent& e) const {
            const WorldSettings& s = e.settings;
            return "world settings: latitude scale " + Format(s.latitudeScale) + ", origin " +
                   Format(s.latitudeOrigin) + "; longitude scale " + Format(s.longitudeScale) + ", origin " +
                   Format(s.longitudeOrigin);
        }
    };
    return std::visit(Summarise{}, event);
}

// ---- The temporary server folder -----------------------------------------------

// A fresh server folder for one run, removed with everything in it on every
// way out (TemporaryFolder.h); the plugin only reads config.json there.
class TemporaryServerDirectory {
public:
    TemporaryServerDirectory() try : folder_("herald") {
        const fs::path plugins = folder_.Root() / "ArkApi" / "Plugins";
        folder_.Holds(PluginDirectory() / "config.json", false);
        folder_.Holds(PluginDirectory(), true);
        folder_.Holds(plugins, true);
        folder_.Holds(plugins.parent_path(), true);
        std::error_code error;
        fs::create_directories(PluginDirectory(), error);
        if (error) {
            throw TemporaryFolderError(PluginDirectory().string() + ": " + error.message());
        }
    } catch (const TemporaryFolderError& error) {
        throw TemporaryFolderError(std::string("can't make a temporary server folder: ") + error.what());
    }
    TemporaryServerDirectory(const TemporaryServerDirectory&) = delete;
    TemporaryServerDirectory& operator=(const TemporaryServerDirectory&) = delete;

    const fs::path& Root() const { return folder_.Root(); }
    fs::path PluginDirectory() const { return folder_.Root() / "ArkApi" / "Plugins" / "SkyCrateHerald"; }

    void WriteConfig(const std::optional<std::string>& text) const {
        const fs::path path = PluginDirectory() / "config.json";
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

private:
    TemporaryFolder folder_;
};

// ---- Playing a scenario ------------------------------------------------------

// The transcript's reader went away (`herald run ... | head -1`) or the output
// can't be written: nothing more can be said, so the run stops.
struct OutputClosed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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

class ScenarioPlayer {
public:
    ScenarioPlayer(const std::string& pluginPath, Transcript& transcript, const TemporaryServerDirectory& directory,
                   std::ostream& out)
        : pluginPath_(pluginPath), transcript_(transcript), directory_(directory), out_(out) {}
    // Cut short: the plugin is not left loaded behind a caller that goes on.
    ~ScenarioPlayer() {
        if (StandIn::PluginLoaded()) {
            StandIn::UnloadPlugin();
        }
        StandIn::ClearRecords();
    }
    ScenarioPlayer(const ScenarioPlayer&) = delete;
    ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;

    void Start(const ScenarioSetup& setup) {
        transcript_.Start(setup, pluginPath_);
        StandIn::ResetServer();
        StandIn::SetServerDirectory(directory_.Root().string());
        StandIn::SetServerStatus(setup.serverReady ? 1 : 0);
        StandIn::SetMapName(setup.map);
        ApplyWorldSettings(setup.worldSettings);
        for (const Herald::Player& player : setup.players) {
            StandIn::ConnectPlayer(player.name, player.admin);
        }
        if (setup.configText) {
            directory_.WriteConfig(setup.configText);
        }
        Load(std::nullopt);
        CheckOutput("before the first event");
    }

    void Play(std::size_t index, const Herald::Event& event) {
        transcript_.Event(index, Summary(event));
        std::visit([&](const auto& each) { Apply(each, index); }, event);
        Flush(index);
        CheckOutput("at event " + std::to_string(index));
    }

    void Finish() {
        if (StandIn::PluginLoaded()) {
            Unload(std::nullopt);
        }
    }

private:
    void CheckOutput(const std::string& when) const {
        if (!out_) {
            throw OutputClosed("the transcript can't be written any more (its output was closed); stopped " + when);
        }
    }
    void Flush(std::optional<std::size_t> eventIndex) {
        if (!StandIn::Records().empty()) {
            transcript_.Records(StandIn::Records(), eventIndex);
        }
        // Long scenarios stay flat in memory: what was printed is dropped.
        StandIn::ClearRecords();
    }
    void Load(std::optional<std::size_t> eventIndex) {
        const StandIn::LoadResult result = StandIn::LoadPlugin(pluginPath_);
        Flush(eventIndex);
        transcript_.Load(result);
    }
    void Unload(std::optional<std::size_t> eventIndex) {
        StandIn::UnloadPlugin();
        Flush(eventIndex);
        transcript_.Unload();
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
    void Apply(const SpawnStructureEvent& event, std::size_t) {
        StandIn::StructureSpawn spawn;
        spawn.name = StandIn::Utf16(event.name);
        spawn.objectClass = StructureClass(event.objectClass);
        spawn.location = AsVector(event.location);
        if (event.instigator) {
            StandIn::Instigator instigator;
            instigator.name = StandIn::Utf16(event.instigator->name);
            instigator.objectClass = event.instigator->objectClass == InstigatorClass::Dino
                                         ? StandIn::ObjectClass::Dino
                                         : StandIn::ObjectClass::Other;
            instigator.level = event.instigator->level;
            instigator.hasStatusComponent = event.instigator->statusComponent;
            spawn.instigator = instigator;
        }
        StandIn::SpawnStructure(spawn);
    }
    void Apply(const SpawnContainerEvent& event, std::size_t) {
        StandIn::ContainerSpawn spawn;
        spawn.name = StandIn::Utf16(event.name);
        spawn.position = AsVector(event.position);
        spawn.hasRootComponent = event.rootComponent;
        StandIn::SpawnContainer(spawn);
    }
    void Apply(const ConnectEvent& event, std::size_t) {
        StandIn::ConnectPlayer(event.player.name, event.player.admin);
    }
    // A player who isn't connected has nothing to leave.
    void Apply(const DisconnectEvent& event, std::size_t) { StandIn::DisconnectPlayer(event.player); }
    void Apply(const ConsoleEvent& event, std::size_t) {
        StandIn::ConsoleCommand(event.player ? &*event.player : nullptr, event.command);
    }
    void Apply(const RconEvent& event, std::size_t) { StandIn::RconCommand(event.command, event.id); }
    void Apply(const ConfigFileEvent& event, std::size_t) { directory_.WriteConfig(event.text); }
    void Apply(const WorldSettingsEvent& event, std::size_t) { ApplyWorldSettings(event.settings); }

    const std::string& pluginPath_;
    Transcript& transcript_;
    const TemporaryServerDirectory& directory_;
    std::ostream& out_;
};

// Plays the checked scenario: its set-up, then its events as a second pass
// over `file` reads them.
void PlayScenario(const ScenarioSetup& setup, std::istream& file, const std::string& scenarioPath,
                  const std::string& pluginPath, const TemporaryServerDirectory& directory, TranscriptFormat format,
                  std::ostream& out) {
    std::unique_ptr<Transcript> transcript;
    if (format == TranscriptFormat::Json) {
        transcript = std::make_unique<JsonTranscript>(out);
    } else {
        transcript = std::make_unique<HumanTranscript>(out);
    }
    // Only what this run leaves behind counts.
    const StandIn::AllocatorStats before = StandIn::Allocator();
    {
        ScenarioPlayer player(pluginPath, *transcript, directory, out);
        player.Start(setup);
        file.clear();
        file.seekg(0);
        PlayEvents(file, scenarioPath,
                   [&](std::size_t index, const Herald::Event& event) { player.Play(index, event); });
        player.Finish();
    }
    const StandIn::AllocatorStats& after = StandIn::Allocator();
    transcript->Memory(static_cast<long long>(after.liveBlocks) - static_cast<long long>(before.liveBlocks),
                       static_cast<long long>(after.liveBytes) - static_cast<long long>(before.liveBytes));
    out.flush();
    if (!out) {
        throw OutputClosed("the transcript can't be written any more (its output was closed)");
    }
}

}  // namespace

int RunCommand(const std::string& scenarioPath, const std::string& pluginPath, TranscriptFormat format,
               std::ostream& out, std::ostream& err) {
    std::ifstream file;
    ScenarioSetup setup;
    try {
        file = OpenScenario(scenarioPath);
        setup = CheckScenario(file, scenarioPath);
    } catch (const ScenarioError& error) {
        err << "herald: " << error.what() << "\n";
        return 2;
    }
    const SignalCleanup signals;
    std::optional<TemporaryServerDirectory> directory;
    try {
        directory.emplace();
    } catch (const TemporaryFolderError& error) {
        err << "herald: " << error.what() << "\n";
        return 2;
    }
    try {
        PlayScenario(setup, file, scenarioPath, pluginPath, *directory, format, out);
    } catch (const std::exception& error) {
        err << "herald: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace Herald
