// The framework's services as the plugin sees them through its host-interface
// header, and the stand-in's records of what the plugin did with them.

#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/base_sink.h>

#include <cstdio>
#include <mutex>

#include "HostState.h"
#include "Requests.h"
#include "game/Platform.h"

namespace StandIn::detail {

Server& TheServer() {
    static Server server;
    return server;
}

namespace {

void HostCall(std::string call) { TheServer().hostCalls.push_back(std::move(call)); }

std::string Narrow(const FString& text) { return Utf8(text.View()); }

// The host's own log sink, readable by tests: every line it is handed.
class RecordingSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::size_t flushes = 0;

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(message, formatted);
        Record line;
        line.kind = RecordKind::Log;
        line.logger.assign(message.logger_name.data(), message.logger_name.size());
        const spdlog::string_view_t level = spdlog::level::to_string_view(message.level);
        line.level.assign(level.data(), level.size());
        line.text.assign(message.payload.data(), message.payload.size());
        line.line.assign(formatted.data(), formatted.size());
        while (!line.line.empty() && (line.line.back() == '\n' || line.line.back() == '\r')) {
            line.line.pop_back();
        }
        TheServer().records.push_back(std::move(line));
    }
    void flush_() override { ++flushes; }
};

std::shared_ptr<RecordingSink>& TheSink() {
    static auto sink = std::make_shared<RecordingSink>();
    return sink;
}

class ApiUtils final : public ArkApi::IApiUtils {
public:
    void ReservedFirstOperation() const override { HostCall("ReservedFirstOperation"); }
    UWorld* QueryWorld() const override {
        const Server& server = TheServer();
        return server.worldAvailable ? reinterpret_cast<UWorld*>(server.world) : nullptr;
    }
    AShooterGameMode* QueryGameMode() const override {
        HostCall("QueryGameMode");
        return reinterpret_cast<AShooterGameMode*>(TheServer().gameMode);
    }
    int QueryServerStatus() const override {
        HostCall("QueryServerStatus");
        return TheServer().status;
    }
};

// Removes the earliest registration of that name (a command's, a timer's id).
template <typename Registration, typename Name>
bool Unregister(std::vector<Registration>& registrations, const FString& name, Name nameOf) {
    const std::u16string_view wanted = name.View();
    for (auto it = registrations.begin(); it != registrations.end(); ++it) {
        if (nameOf(*it) == wanted) {
            registrations.erase(it);
            return true;
        }
    }
    return false;
}

template <typename Handler>
bool Unregister(std::vector<std::pair<std::u16string, Handler>>& commands, const FString& name) {
    return Unregister(commands, name, [](const auto& command) -> const std::u16string& { return command.first; });
}

class Commands final : public ArkApi::ICommands {
public:
    void RegisterChatCommand(const FString& name, const ArkApi::ChatCommandHandler& handler) override {
        HostCall("RegisterChatCommand " + Narrow(name));
        TheServer().chatCommands.emplace_back(std::u16string(name.View()), handler);
    }
    void RegisterConsoleCommand(const FString& name, const ArkApi::ConsoleCommandHandler& handler) override {
        HostCall("RegisterConsoleCommand " + Narrow(name));
        TheServer().consoleCommands.emplace_back(std::u16string(name.View()), handler);
    }
    void RegisterRconCommand(const FString& name, const ArkApi::RconCommandHandler& handler) override {
        HostCall("RegisterRconCommand " + Narrow(name));
        TheServer().rconCommands.emplace_back(std::u16string(name.View()), handler);
    }
    void RegisterTimerCallback(const FString& id, const ArkApi::TimerCallback& callback) override {
        HostCall("RegisterTimerCallback " + Narrow(id));
        Server& server = TheServer();
        server.timers.push_back({std::u16string(id.View()), callback, ++server.timersRegistered});
    }
    bool UnregisterChatCommand(const FString& name) override {
        HostCall("UnregisterChatCommand " + Narrow(name));
        return Unregister(TheServer().chatCommands, name);
    }
    bool UnregisterConsoleCommand(const FString& name) override {
        HostCall("UnregisterConsoleCommand " + Narrow(name));
        return Unregister(TheServer().consoleCommands, name);
    }
    bool UnregisterRconCommand(const FString& name) override {
        HostCall("UnregisterRconCommand " + Narrow(name));
        return Unregister(TheServer().rconCommands, name);
    }
    bool UnregisterTimerCallback(const FString& id) override {
        HostCall("UnregisterTimerCallback " + Narrow(id));
        return Unregister(TheServer().timers, id, [](const Timer& timer) -> const std::u16string& { return timer.id; });
    }
};

class Hooks final : public ArkApi::IHooks {
public:
    bool RemoveHook(const std::string& functionName, void* detour) override {
        HostCall("RemoveHook " + functionName);
        const auto found = TheServer().hooks.find(functionName);
        if (found == TheServer().hooks.end() || found->second.detour != detour) {
            return false;
        }
        found->second.detour = nullptr;
        return true;
    }
    bool InstallHook(const std::string& functionName, void* detour, void** original) override {
        HostCall("InstallHook " + functionName);
        const auto found = TheServer().hooks.find(functionName);
        if (found == TheServer().hooks.end() || found->second.detour != nullptr) {
            return false;
        }
        *original = found->second.gameFunction;
        found->second.detour = detour;
        return true;
    }
};

}  // namespace

}  // namespace StandIn::detail

namespace ArkApi {

using namespace StandIn::detail;

IApiUtils& GetApiUtils() {
    static ApiUtils utils;
    return utils;
}

ICommands& GetCommands() {
    static Commands commands;
    return commands;
}

IHooks& GetHooks() {
    static Hooks hooks;
    return hooks;
}

void* GetAddress(const char* functionName) { return ResolveFunction(functionName); }

void* GetAddress(const void* object, const char* fieldName) { return ResolveField(object, fieldName); }

namespace Tools {

std::string GetCurrentDir() {
    HostCall("GetCurrentDir");
    return TheServer().directory;
}

std::u16string Utf8Decode(const std::string& text) { return StandIn::Utf16(text); }

}  // namespace Tools

}  // namespace ArkApi

std::vector<spdlog::sink_ptr>& GetLogSinks() {
    StandIn::detail::HostCall("GetLogSinks");
    static std::vector<spdlog::sink_ptr> sinks{StandIn::detail::TheSink()};
    return sinks;
}

namespace StandIn {

using namespace detail;

std::vector<Record>& Records() { return TheServer().records; }
std::vector<std::string>& HostCalls() { return TheServer().hostCalls; }
std::vector<StructureSpawnCall>& StructureSpawnCalls() { return TheServer().structureSpawns; }
std::vector<ContainerSpawnCall>& ContainerSpawnCalls() { return TheServer().containerSpawns; }
std::vector<InitGameCall>& InitGameCalls() { return TheServer().initGames; }
std::size_t LogFlushes() { return TheSink()->flushes; }

void ClearRecords() {
    Server& server = TheServer();
    server.records.clear();
    server.hostCalls.clear();
    server.structureSpawns.clear();
    server.containerSpawns.clear();
    server.initGames.clear();
}

void ResetServer() {
    Server& server = TheServer();
    for (auto& object : server.objects) {
        object.reset();
    }
    server.objects.clear();
    server.serials.clear();
    server.playerList.clear();
    server.status = 1;
    server.worldAvailable = true;
    server.mapName = "TheIsland";
    server.gameSeconds = 0;
    ResetRequests();
    server.world = CreateObject(Kind::World, u"World");
    server.worldSettings = CreateObject(Kind::WorldSettings, u"PrimalWorldSettings");
    server.gameMode = CreateObject(Kind::GameMode, u"ShooterGameMode");
    server.rcon = CreateObject(Kind::Rcon, u"RCONClientConnection");
    RegisterGameEntries();
    RegisterHookedFunctions();
    ClearRecords();
    ClearAllocatorFaults();
    TheSink()->flushes = 0;
}

void SetServerDirectory(const std::string& directory) { TheServer().directory = directory; }
const std::string& ServerDirectory() { return TheServer().directory; }
void SetServerStatus(int status) { TheServer().status = status; }
void SetWorldAvailable(bool available) { TheServer().worldAvailable = available; }
void SetMapName(const std::string& map) { TheServer().mapName = map; }

void SetWorldSettings(float latitudeScale, float latitudeOrigin, float longitudeScale, float longitudeOrigin) {
    GameObject& settings = *TheServer().worldSettings;
    settings.LatitudeScale = latitudeScale;
    settings.LatitudeOrigin = latitudeOrigin;
    settings.LongitudeScale = longitudeScale;
    settings.LongitudeOrigin = longitudeOrigin;
}

// The framework's decoding lives with the plugin's runtime functions, where
// herald, which shows what players would see, reads text the same way.
std::u16string Utf16(const std::string& text) { return Platform::Utf8ToUtf16(text); }

std::string Utf8(std::u16string_view text) { return Platform::Utf16ToUtf8(text.data(), text.size()); }

namespace {

std::string Float(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

std::string Color(const FColorLinear& color) {
    return Float(color.R) + "," + Float(color.G) + "," + Float(color.B) + "," + Float(color.A);
}

}  // namespace

std::string Describe(const Record& record) {
    const std::string quoted = "\"" + record.text + "\"";
    switch (record.kind) {
        case RecordKind::Notification:
            return "notification " + record.player + " " + quoted + " color=" + Color(record.color) +
                   " size=" + Float(record.size) + " time=" + Float(record.time);
        case RecordKind::Chat:
            return "chat " + record.player + " " + record.sender + ": " + quoted;
        case RecordKind::ConsoleReply:
            return "console_reply " + record.player + " " + quoted + " color=" + Color(record.color);
        case RecordKind::RconReply:
            return "rcon_reply " + std::to_string(record.id) + " type=" + std::to_string(record.replyType) + " " +
                   quoted;
        case RecordKind::Log:
            return "log " + record.logger + " " + record.level + " " + quoted;
        case RecordKind::Refused:
            return "refused " + quoted;
        case RecordKind::Webhook:
            return "webhook " + record.host + (record.thread.empty() ? "" : " thread=" + record.thread) + " " + quoted;
    }
    return {};
}

std::vector<std::string> Describe(const std::vector<Record>& records) {
    std::vector<std::string> lines;
    lines.reserve(records.size());
    for (const Record& record : records) {
        lines.push_back(Describe(record));
    }
    return lines;
}

}  // namespace StandIn
