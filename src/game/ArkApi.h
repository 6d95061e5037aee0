#pragma once
// Everything the plugin uses of the ArkApi framework. The plugin reaches the
// host through this header alone, so a real deployment swaps in the
// framework's own declarations behind it.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// spdlog's sink, declared only: what includes this header need not compile
// spdlog's headers, which some builds take header-only.
namespace spdlog::sinks {
class sink;
}

#if defined(_WIN32)
#if defined(ARKAPI_BUILDING_HOST)
#define ARKAPI_API __declspec(dllexport)
#else
#define ARKAPI_API __declspec(dllimport)
#endif
#else
#define ARKAPI_API __attribute__((visibility("default")))
#endif

// The game's classes, held only as opaque addresses.
struct UWorld;
struct AShooterGameMode;
struct APlayerController;
struct AShooterPlayerController;
struct RCONClientConnection;
struct FString;
struct RCONPacket;  // game/GameTypes.h

// How a chat line was sent. A plugin's chat command answers whatever the mode.
namespace EChatSendMode {
enum Type { GlobalChat, GlobalTribeChat, LocalChat, AllianceChat, MAX };
}

namespace ArkApi {

using ChatCommandHandler = std::function<void(AShooterPlayerController*, FString*, EChatSendMode::Type)>;
using ConsoleCommandHandler = std::function<void(APlayerController*, FString*, bool)>;
using RconCommandHandler = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;
using TimerCallback = std::function<void()>;

// Each interface lists its operations in the framework's order, which its
// implementations' tables follow: an operation the plugin never calls keeps
// its place where that place is known.
class IApiUtils {
public:
    virtual ~IApiUtils() = default;
    // The framework's first operation; the plugin does not call it.
    virtual void ReservedFirstOperation() const = 0;
    virtual UWorld* QueryWorld() const = 0;
    virtual AShooterGameMode* QueryGameMode() const = 0;
    // 1: the server is up, its world and game mode exist.
    virtual int QueryServerStatus() const = 0;
};

// The framework registers chat commands first, console and RCON commands
// next, and the timer among its further registrations; its removals follow in
// the same order.
class ICommands {
public:
    virtual ~ICommands() = default;
    virtual void RegisterChatCommand(const FString& name, const ChatCommandHandler& handler) = 0;
    virtual void RegisterConsoleCommand(const FString& name, const ConsoleCommandHandler& handler) = 0;
    virtual void RegisterRconCommand(const FString& name, const RconCommandHandler& handler) = 0;
    // Runs the callback once a second of game time, from the game's thread.
    virtual void RegisterTimerCallback(const FString& id, const TimerCallback& callback) = 0;
    // The framework has further operations here, how many is not known; none is called.
    virtual bool UnregisterChatCommand(const FString& name) = 0;
    virtual bool UnregisterConsoleCommand(const FString& name) = 0;
    virtual bool UnregisterRconCommand(const FString& name) = 0;
    virtual bool UnregisterTimerCallback(const FString& id) = 0;
};

class IHooks {
public:
    virtual ~IHooks() = default;
    virtual bool RemoveHook(const std::string& functionName, void* detour) = 0;
    // The slot receives the game's own function before the detour can first run.
    virtual bool InstallHook(const std::string& functionName, void* detour, void** original) = 0;
};

// What a web request's completion receives: the reply's status, headers (in
// the order sent) and body; status 0 when no reply came, error then says why.
struct HttpReply {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string error;
};
using HttpCallback = std::function<void(const HttpReply&)>;

// The framework's web requests. A request is made off the game's thread; its
// completion runs on the game's thread, once a second with the timer, before
// the timer callbacks.
class IRequests {
public:
    virtual ~IRequests() = default;
    // headers: "Name: value" lines. False when the request could not be
    // started; its callback then never runs.
    virtual bool CreatePostRequest(const std::string& url, const HttpCallback& callback, const std::string& body,
                                   const std::string& contentType, const std::vector<std::string>& headers) = 0;
    // For an unloading plugin: waits at most timeout for the requests in
    // flight, runs the completions of those that ended, and abandons the rest,
    // whose callbacks never run. Gives how many were abandoned.
    virtual std::size_t FinishRequests(std::chrono::milliseconds timeout) = 0;
};

ARKAPI_API IApiUtils& GetApiUtils();
ARKAPI_API ICommands& GetCommands();
ARKAPI_API IHooks& GetHooks();
ARKAPI_API IRequests& GetRequests();

// A game function by its "Class.Function" name; null when the game has none.
ARKAPI_API void* GetAddress(const char* functionName);
// The address of a "Class.Field" inside object; null when the game has none.
ARKAPI_API void* GetAddress(const void* object, const char* fieldName);

namespace Tools {
// The server's directory, without a trailing separator.
ARKAPI_API std::string GetCurrentDir();
// UTF-8 to the game's 16-bit text.
ARKAPI_API std::u16string Utf8Decode(const std::string& text);
}  // namespace Tools

}  // namespace ArkApi

// The host's shared list of log sinks, which every plugin's channel writes to.
ARKAPI_API std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks();
