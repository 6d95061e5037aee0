#pragma once
// The stand-in for the ArkApi framework and the game server: what tests and
// the herald program drive. It implements the plugin's host-interface header
// and records, in order, everything the plugin asks of it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "game/ArkApi.h"
#include "game/GameTypes.h"

namespace StandIn {

// ---- What happened, in order -------------------------------------------

enum class RecordKind { Notification, Chat, ConsoleReply, RconReply, Log, Refused, Webhook };

struct Record {
    RecordKind kind = RecordKind::Log;
    std::string player;  // recipient (notification, chat, console reply); empty for the server itself
    std::string text;    // message, reply, log message or refusal reason (UTF-8)
    FColorLinear color{};
    float size = 0;
    float time = 0;
    std::string sender;  // chat
    int id = 0;          // RCON request id
    int replyType = 0;   // RCON reply type
    std::string logger;  // log
    std::string level;   // log
    std::string line;    // log: the whole formatted line
    std::string host;    // webhook: the host the request went to (never the whole address); text is its body
    std::string thread;  // webhook: the thread id the request carries (?thread_id=), if any
    bool chatRecordAsGameExpects = true;  // chat: every field besides sender and text as the game expects
};

// One line per record, for compact assertions, e.g.
//   notification Alice "Crate at 50.0" color=0,1,0,1 size=1.2 time=10
ARKAPI_API std::string Describe(const Record& record);
ARKAPI_API std::vector<std::string> Describe(const std::vector<Record>& records);

ARKAPI_API std::vector<Record>& Records();

// Host services the plugin called, in order ("RegisterConsoleCommand SkyCrateHerald.Reload", ...).
ARKAPI_API std::vector<std::string>& HostCalls();

// Arguments the game's own structure spawn function received.
struct StructureSpawnCall {
    void* structure;
    FVector* location;
    FVector locationValue;
    void* rotation;
    void* owner;
    void* instigator;
    bool flags[4];
    std::size_t recordsBefore;  // deliveries already made when the game's function ran
};
ARKAPI_API std::vector<StructureSpawnCall>& StructureSpawnCalls();
struct ContainerSpawnCall {
    void* container;
    std::size_t recordsBefore;
};
ARKAPI_API std::vector<ContainerSpawnCall>& ContainerSpawnCalls();
struct InitGameCall {
    void* gameMode;
    FString* mapName;
    FString* options;
    FString* errorMessage;
    std::string mapText;
};
ARKAPI_API std::vector<InitGameCall>& InitGameCalls();

ARKAPI_API void ClearRecords();

// ---- The game's allocator ----------------------------------------------

struct AllocatorStats {
    std::size_t liveBlocks = 0;
    std::size_t liveBytes = 0;
    std::size_t allocations = 0;
    std::vector<std::string> faults;  // frees of unknown blocks, double frees
};
ARKAPI_API const AllocatorStats& Allocator();
// The game's allocator as the game itself calls it.
ARKAPI_API void* GameMalloc(std::size_t bytes, unsigned alignment);
ARKAPI_API void* GameRealloc(void* block, std::size_t bytes);
ARKAPI_API void GameFree(void* block);

// Flushes the recording log sink received.
ARKAPI_API std::size_t LogFlushes();

// ---- The server --------------------------------------------------------

// A fresh server: no players, no objects, every game entry present, status 1,
// map "TheIsland", world settings 0, the game clock at 0, records and
// allocator faults cleared. The allocator's live blocks are kept: they are
// what a test checks. Chat, console and RCON commands and timers stay
// registered: they are their registrant's to remove, and a plugin may still
// be loaded across a reset.
ARKAPI_API void ResetServer();

ARKAPI_API void SetServerDirectory(const std::string& directory);
ARKAPI_API const std::string& ServerDirectory();
ARKAPI_API void SetServerStatus(int status);
ARKAPI_API void SetWorldAvailable(bool available);
ARKAPI_API void SetMapName(const std::string& map);  // what the game mode reports
ARKAPI_API void SetWorldSettings(float latitudeScale, float latitudeOrigin, float longitudeScale,
                                 float longitudeOrigin);

// Game entries by "Class.Member" name, as GetAddress finds them.
ARKAPI_API void RemoveGameEntry(const std::string& name);
ARKAPI_API std::uint64_t Resolutions(const std::string& name);

// ---- Players -----------------------------------------------------------

// id: the player's unique id, as AShooterPlayerController.GetUniqueNetIdAsString
// gives it; none: the name. Two players connected with the same id are one
// account twice, which the stand-in lets be.
ARKAPI_API void ConnectPlayer(const std::string& name, bool admin = false,
                              const std::optional<std::string>& id = std::nullopt);
// The controller goes away; its entry stays in the world's list, now stale.
ARKAPI_API bool DisconnectPlayer(const std::string& name);

// ---- What the game does --------------------------------------------------

enum class ObjectClass { Other, Structure, ItemContainer, Dino };

struct Instigator {
    std::u16string name;
    ObjectClass objectClass = ObjectClass::Dino;
    int level = 1;
    bool hasStatusComponent = true;
};

struct StructureSpawn {
    std::u16string name;
    ObjectClass objectClass = ObjectClass::Structure;
    FVector location{0, 0, 0};
    std::optional<Instigator> instigator;
    // The arguments the plugin only passes on.
    void* rotation = nullptr;
    void* owner = nullptr;
    void* instigatorPawn = nullptr;
    bool flags[4] = {false, false, false, false};
};

struct ContainerSpawn {
    std::u16string name;
    FVector position{0, 0, 0};
    bool hasRootComponent = true;
};

// The game spawns the object, runs its PostSpawnInitialize (through any hook),
// and the object is gone again afterwards.
ARKAPI_API void SpawnStructure(const StructureSpawn& spawn);
ARKAPI_API void SpawnContainer(const ContainerSpawn& spawn);
ARKAPI_API void RunInitGame(const std::string& map);

// A console line from a player (null: from the server itself). Gives false
// when the host turned it away before any plugin code ran (recorded as Refused).
ARKAPI_API bool ConsoleCommand(const std::string* player, const std::string& line);
// A request on an authenticated RCON connection.
ARKAPI_API bool RconCommand(const std::string& line, int id);
// A chat line a player sends to global chat. The host finds a chat command by
// the text before the first space, in any ASCII case, and hands it the whole
// line; gives true when one did. A line no command takes is only chat, which
// the stand-in does not model: nothing is recorded. A name no connected
// player has is refused (recorded as Refused, false), as on the console.
ARKAPI_API bool ChatLine(const std::string& player, const std::string& text);

// ---- The game's clock ------------------------------------------------------

// Seconds since the server started (0 at a reset); the plugin reads them as
// the float UWorld.TimeSeconds.
ARKAPI_API std::int64_t GameSeconds();
// Lets the game run that many seconds, one at a time: after each, every timer
// callback registered before it began and still registered runs once, in
// registration order. Nothing for seconds <= 0.
ARKAPI_API void Wait(int seconds);

// ---- Web requests ------------------------------------------------------------

// Scripted (the default, and after each reset): nothing leaves the process.
// Each POST is recorded (RecordKind::Webhook) and stays in flight until the
// next tick of Wait, where, before the timers, every request in flight then
// completes, oldest first, with the reply scripted for it or, without one,
// status 204. Live: a real HTTP client on a worker thread (libcurl on Linux,
// WinHTTP on Windows), whose completions run at the ticks of Wait after they
// ended; nothing is recorded.
//
// In either mode a request is refused (CreatePostRequest gives false, its
// callback never runs, nothing is recorded) when its address is not http://
// or https:// with a host, a header line is not one "Name: value" line, it
// has no callback, or 256 requests are already in flight. A live reply keeps
// its first 100 headers; one whose body exceeds 64 KiB fails (status 0, its
// error saying so) rather than arriving cut short. Redirects are not
// followed, and no proxy is used. A reset drops every request in flight
// without running its callback, and restores the default timeouts.
ARKAPI_API void ScriptRequests(bool scripted);
// Gives the oldest request in flight that has no reply yet this reply, for
// its completion at the next tick. False when there is none.
ARKAPI_API bool ReplyToOldestRequest(const ArkApi::HttpReply& reply);
// Requests made and not yet completed nor abandoned.
ARKAPI_API std::size_t RequestsInFlight();
// Those of them whose reply or failure has come, so that the next tick
// completes them: every scripted one, and each live one the client has
// ended. A test that moves another clock beside the game's waits for these
// first, so that a reply is never taken at one tick on one run and at the
// next on another.
ARKAPI_API std::size_t RequestsAnswered();
// Until every live request in flight has been answered, for at most that
// many milliseconds; whether they all were.
ARKAPI_API bool AwaitAnswers(int milliseconds);
// Live requests' bounds (defaults: 5 s to connect, 10 s in all), for those
// made from then on; below 1 ms counts as 1 ms.
ARKAPI_API void SetRequestTimeouts(int connectMilliseconds, int totalMilliseconds);

// ---- Loading plugins -----------------------------------------------------

struct LoadResult {
    bool ok = false;
    std::string error;
};
// Loads the library and calls its entry with "process attach". An error that
// leaves the entry refuses the plugin: its text is reported and the library unloaded.
ARKAPI_API LoadResult LoadPlugin(const std::string& path);
// Calls the entry with "process detach", then unloads the library.
ARKAPI_API void UnloadPlugin();
ARKAPI_API bool PluginLoaded();
// Entry call with any reason code (thread notices), for tests.
ARKAPI_API int CallPluginEntry(unsigned long reason);

// UTF-8 <-> the game's 16-bit text, as the host converts for its records.
ARKAPI_API std::u16string Utf16(const std::string& text);
ARKAPI_API std::string Utf8(std::u16string_view text);

}  // namespace StandIn
