// The scenario events of chat lines, waits, players' ids and replies to web
// requests: what the reader refuses and how, what a run does with them on the
// stand-in, and how the two transcripts show them and the requests.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "StandIn.h"
#include "Support.h"
#include "game/GameAccess.h"
#include "game/GameTypes.h"
#include "run/Play.h"
#include "run/Printers.h"
#include "scenario/Scenario.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// A scenario of these events; gives the reader's refusal, or "" when it accepts it.
std::string EventsRefusal(const std::string& events, const std::string& players = "[]") {
    try {
        Herald::CheckScenarioText(R"({"players": )" + players + R"(, "events": )" + events + "}", "s.json");
    } catch (const Herald::ScenarioError& error) {
        return error.what();
    }
    return "";
}

TEST(ScenarioEvents, ChatWaitAndIdsOutsideTheFormatAreRefusedSayingWhereAndWhy) {
    struct Case {
        std::string events;
        std::string players;
        std::string refusal;  // all of it after the file's name; empty: accepted
    };
    const Case cases[] = {
        // A wait of whole seconds, from 1 to a day.
        {R"([{"event": "wait", "seconds": 1}])", "[]", ""},
        {R"([{"event": "wait", "seconds": 86400}])", "[]", ""},
        {R"([{"event": "wait", "seconds": 0}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 0)"},
        {R"([{"event": "wait", "seconds": 86401}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 86401)"},
        {R"([{"event": "wait", "seconds": -1}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not -1)"},
        {R"([{"event": "wait", "seconds": 1.5}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 1.5)"},
        {R"([{"event": "wait", "seconds": 2.0}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 2.0)"},
        {R"([{"event": "wait", "seconds": "5"}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not string)"},
        // Would be 1 as a 32-bit int, and 2^63 would be negative as a 64-bit one.
        {R"([{"event": "wait", "seconds": 4294967297}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 4294967297)"},
        {R"([{"event": "wait", "seconds": 9223372036854775808}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 9223372036854775808)"},
        {R"([{"event": "load"}, {"event": "wait"}])", "[]",
         R"(event 1 (wait): "seconds" is missing (a whole number from 1 to 86400))"},
        {R"([{"event": "wait", "seconds": 1, "minutes": 1}])", "[]",
         R"(event 0 (wait): unknown key "minutes" (expected one of "event", "seconds"))"},
        // A chat line: a player's name and any text.
        {R"([{"event": "chat", "player": "Ann", "text": ""}])", "[]", ""},
        {R"([{"event": "chat", "player": "Ann"}])", "[]", R"(event 0 (chat): "text" is missing (a string))"},
        {R"([{"event": "chat", "text": "/herald"}])", "[]", R"(event 0 (chat): "player" is missing (a string))"},
        {R"([{"event": "chat", "player": null, "text": "/herald"}])", "[]",
         R"(event 0 (chat): "player" must be a string, not null)"},
        {R"([{"event": "chat", "player": "Ann", "text": ["/herald"]}])", "[]",
         R"(event 0 (chat): "text" must be a string, not array)"},
        {R"([{"event": "chat", "player": "Ann", "text": "/herald", "mode": "tribe"}])", "[]",
         R"(event 0 (chat): unknown key "mode" (expected one of "event", "player", "text"))"},
        // Ids, of a listed player and of one who connects.
        {R"([{"event": "connect", "player": "Ann", "id": ""}])", R"([{"name": "Ben", "id": "7656"}])", ""},
        {R"([{"event": "connect", "player": "Ann", "id": 7656}])", "[]",
         R"(event 0 (connect): "id" must be a string, not number)"},
        {"[]", R"([{"name": "Ann", "id": null}])", R"("players"[0]: "id" must be a string, not null)"},
        {"[]", R"([{"name": "Ann", "ids": "7656"}])",
         R"("players"[0]: unknown key "ids" (expected one of "name", "admin", "id"))"},
        {R"([{"event": "shout"}])", "[]",
         "event 0: unknown event \"shout\" (expected load, unload, init_game, spawn_structure, spawn_container, "
         "connect, disconnect, console, chat, rcon, write_config, delete_config, world_settings, wait or "
         "webhook_reply)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EventsRefusal(c.events, c.players), c.refusal.empty() ? "" : "s.json: " + c.refusal)
            << c.events << " " << c.players;
    }
}

// The ids of the world's live players, in joining order, as the plugin reads them.
std::vector<std::string> ConnectedIds() {
    std::vector<std::string> ids;
    const auto& list =
        GameField<TGameArray<FWeakObjectPtr>>(ArkApi::GetApiUtils().QueryWorld(), "UWorld.PlayerControllerList");
    for (const FWeakObjectPtr& entry : list) {
        FWeakObjectPtr reference = entry;
        auto* player =
            GameFunction<AShooterPlayerController*(FWeakObjectPtr*, bool)>("FWeakObjectPtr.Get")(&reference, false);
        if (player != nullptr) {
            FString id;
            GameFunction<void(AShooterPlayerController*, FString*)>("AShooterPlayerController.GetUniqueNetIdAsString")(
                player, &id);
            ids.push_back(id.ToUtf8());
        }
    }
    return ids;
}

// The lines of a transcript from the one that begins with `first`.
std::vector<std::string> LinesFrom(const std::string& text, const std::string& first) {
    const std::vector<std::string> lines = HeraldTest::Lines(text);
    auto start = lines.begin();
    while (start != lines.end() && start->rfind(first, 0) != 0) {
        ++start;
    }
    return {start, lines.end()};
}

TEST(ScenarioEvents, ARunConnectsWithIdsSendsChatLinesWaitsAndPrintsEachEvent) {
    // No config.json: the plugin refuses to load, so that nothing but the host answers.
    Herald::ScenarioSetup setup;
    setup.players = {{"Ann"}, {"Ben", true, "B-2"}};
    const std::vector<Herald::Event> events = {
        Herald::ConnectEvent{{"Cid", false, "C-3"}},
        Herald::ConnectEvent{{"Dan", true}},
        Herald::ConnectEvent{{"Fay", true, "F-6"}},
        Herald::ChatEvent{"Ann", "/weather sunny"},
        Herald::ChatEvent{"Eve", "/weather"},
        Herald::WaitEvent{30},
        Herald::WaitEvent{1},
    };
    const Herald::TemporaryServerFolder folder;
    const Herald::PlayedScenario played = Herald::PlayInMemory(setup, events, HeraldTest::PluginPath, folder);
    // What the run left on the stand-in: its clock, and its players' ids.
    EXPECT_EQ(StandIn::GameSeconds(), 31);
    EXPECT_THAT(ConnectedIds(), ElementsAre("Ann", "B-2", "C-3", "Dan", "F-6"));

    std::ostringstream human;
    Herald::PrintPlayed(played, Herald::TranscriptFormat::Human, human);
    EXPECT_THAT(LinesFrom(human.str(), "#0"),
                ElementsAre("#0 connect Cid (id C-3)", "#1 connect Dan (admin)", "#2 connect Fay (admin, id F-6)",
                            "#3 chat Ann: /weather sunny", "#4 chat Eve: /weather",
                            "    refused  by host  no connected player named Eve", "#5 wait 30 seconds",
                            "#6 wait 1 second", "", "Game memory still held after unload: 0 blocks, 0 bytes"));

    std::ostringstream json;
    Herald::PrintPlayed(played, Herald::TranscriptFormat::Json, json);
    EXPECT_THAT(json.str(), HasSubstr(R"({"type": "load", "ok": false)"));
    EXPECT_THAT(LinesFrom(json.str(), R"({"type": "refused")"),
                ElementsAre(R"({"type": "refused", "event": 4, "reason": "no connected player named Eve"})",
                            R"({"type": "memory", "live_blocks": 0, "live_bytes": 0})"));
}

TEST(ScenarioEvents, WebhookRepliesOutsideTheFormatAreRefusedSayingWhereAndWhy) {
    struct Case {
        std::string event;    // the object's members after "event"
        std::string refusal;  // all of it after "event 0 (webhook_reply): "; empty: accepted
    };
    // Headers of that many names, "H-0" to "H-(n-1)".
    const auto headers = [](int count) {
        std::string members;
        for (int i = 0; i < count; ++i) {
            members += (i == 0 ? "\"H-" : ", \"H-") + std::to_string(i) + "\": \"v\"";
        }
        return "{" + members + "}";
    };
    const std::string wanted = "a whole number from 100 to 599";
    const Case cases[] = {
        {R"("status": 429, "headers": {"Retry-After": "2"}, "body": "slow down")", ""},
        {R"("status": 100)", ""},
        {R"("status": 599, "headers": {}, "body": "")", ""},
        {R"("status": 99)", "\"status\" must be " + wanted + ", not 99"},
        {R"("status": 600)", "\"status\" must be " + wanted + ", not 600"},
        {R"("status": -204)", "\"status\" must be " + wanted + ", not -204"},
        {R"("status": 204.0)", "\"status\" must be " + wanted + ", not 204.0"},
        {R"("status": "429")", "\"status\" must be " + wanted + ", not string"},
        {R"("status": null)", "\"status\" must be " + wanted + ", not null"},
        {R"("body": "x")", "\"status\" is missing (" + wanted + ")"},
        {R"("status": 200, "body": {"content": "x"})", "\"body\" must be a string, not object"},
        {R"("status": 200, "body": ")" + std::string(65536, 'x') + "\"", ""},
        {R"("status": 200, "body": ")" + std::string(65537, 'x') + "\"",
         "\"body\" holds 65537 bytes, more than the 65536 the host keeps of a reply"},
        {R"("status": 200, "headers": ["Retry-After: 2"])",
         "\"headers\" must be an object of names and their values (strings), not array"},
        {R"("status": 200, "headers": "Retry-After: 2")",
         "\"headers\" must be an object of names and their values (strings), not string"},
        {R"("status": 200, "headers": )" + headers(100), ""},
        {R"("status": 200, "headers": )" + headers(101),
         "\"headers\" holds 101 headers, more than the 100 the host keeps of a reply"},
        {R"("status": 200, "headers": {"Retry-After": 2})",
         "\"headers\": \"Retry-After\" must be a string, not number"},
        {R"("status": 200, "headers": {"Retry-After": null})",
         "\"headers\": \"Retry-After\" must be a string, not null"},
        {R"("status": 200, "headers": {"X-A": "1\r\nX-B: 2"})",
         "\"headers\": \"X-A\" must be one line: a reply's header can't hold a line break or a NUL"},
        {R"("status": 200, "headers": {"X-A": "1\u0000"})",
         "\"headers\": \"X-A\" must be one line: a reply's header can't hold a line break or a NUL"},
        {R"("status": 200, "headers": {"": "x"})",
         "\"headers\": the header name \"\" is not one a reply can carry (letters, digits and !#$%&'*+-.^_`|~ only)"},
        {R"("status": 200, "headers": {"Retry After": "2"})",
         "\"headers\": the header name \"Retry After\" is not one a reply can carry (letters, digits and "
         "!#$%&'*+-.^_`|~ only)"},
        {R"("status": 200, "headers": {"X:Y": "2"})",
         "\"headers\": the header name \"X:Y\" is not one a reply can carry (letters, digits and !#$%&'*+-.^_`|~ "
         "only)"},
        {R"("status": 200, "headers": {"X\nY": "2"})",
         "\"headers\": the header name \"X\\nY\" is not one a reply can carry (letters, digits and "
         "!#$%&'*+-.^_`|~ only)"},
        {R"("status": 200, "headers": {")" + std::string(50, 'X') + R"( ": "2"})",
         "\"headers\": the header name \"" + std::string(40, 'X') +
             "...\" is not one a reply can carry (letters, digits and !#$%&'*+-.^_`|~ only)"},
        // Cut within a character: each byte of it left reads as U+FFFD, as the
        // game would read it.
        {R"("status": 200, "headers": {")" + std::string(38, 'X') + "\xE2\x82\xAC" + R"(Y": "2"})",
         "\"headers\": the header name \"" + std::string(38, 'X') +
             "\uFFFD\uFFFD...\" is not one a reply can carry (letters, digits and !#$%&'*+-.^_`|~ only)"},
        {R"("status": 200, "reason": "Too Many Requests")",
         R"(unknown key "reason" (expected one of "event", "status", "headers", "body"))"},
    };
    for (const Case& c : cases) {
        const std::string refusal = EventsRefusal(R"([{"event": "webhook_reply", )" + c.event + "}]");
        const std::string expected =
            c.refusal.empty() ? ""
                              : "s.json: event 0 (webhook_reply)" +
                                    std::string(c.refusal.starts_with("\"headers\": ") ? ", " : ": ") + c.refusal;
        EXPECT_EQ(refusal, expected) << c.event.substr(0, 100);
    }
}

// A chat command of the test's own that makes a web request as a plugin
// would, its body the rest of the line; what the replies brought is kept.
class PostingChatCommand {
public:
    std::vector<std::string> replies;

    PostingChatCommand() {
        // A command's name is a game string: the game's allocator must be there.
        StandIn::ResetServer();
        ArkApi::GetCommands().RegisterChatCommand(
            FString::FromUtf8(Name), [this](AShooterPlayerController*, FString* line, EChatSendMode::Type) {
                const std::string text = line->ToUtf8();
                ArkApi::GetRequests().CreatePostRequest("https://hooks.example.org/api/s3cr3t?token=t0k3n",
                                                        [this](const ArkApi::HttpReply& reply) {
                                                            std::string seen = std::to_string(reply.status);
                                                            for (const auto& [name, value] : reply.headers) {
                                                                seen += " " + name + "=" + value;
                                                            }
                                                            replies.push_back(seen + " [" + reply.body + "]");
                                                        },
                                                        text.substr(text.find(' ') + 1), "application/json", {});
            });
    }
    PostingChatCommand(const PostingChatCommand&) = delete;
    PostingChatCommand& operator=(const PostingChatCommand&) = delete;
    ~PostingChatCommand() { ArkApi::GetCommands().UnregisterChatCommand(FString::FromUtf8(Name)); }

private:
    static constexpr char Name[] = "/post";
};

TEST(ScenarioEvents, ARunRepliesToTheOldestWaitingRequestAndRefusesAReplyNothingWaitsFor) {
    PostingChatCommand command;
    Herald::ScenarioSetup setup;
    setup.players = {{"Ann"}};
    const std::vector<Herald::Event> events = {
        Herald::ChatEvent{"Ann", R"(/post {"content":"Crate","embeds":[{"n":1.5}]})"},
        Herald::ChatEvent{"Ann", "/post plain words"},
        Herald::WebhookReplyEvent{429, {{"Retry-After", "2"}, {"X-RateLimit-Scope", "user"}}, "slow"},
        Herald::WebhookReplyEvent{500, {}, ""},
        Herald::WebhookReplyEvent{200, {}, ""},
        Herald::WaitEvent{1},
        Herald::WebhookReplyEvent{200, {}, "late"},
        Herald::ChatEvent{"Ann", "/post again"},
        Herald::WaitEvent{1},
    };
    const Herald::TemporaryServerFolder folder;
    const Herald::PlayedScenario played = Herald::PlayInMemory(setup, events, HeraldTest::PluginPath, folder);
    EXPECT_THAT(command.replies, ElementsAre("429 Retry-After=2 X-RateLimit-Scope=user [slow]", "500 []", "204 []"));

    std::ostringstream human;
    Herald::PrintPlayed(played, Herald::TranscriptFormat::Human, human);
    EXPECT_THAT(LinesFrom(human.str(), "#0"),
                ElementsAre(R"(#0 chat Ann: /post {"content":"Crate","embeds":[{"n":1.5}]})",
                            R"(    webhook  -> hooks.example.org  "{"content":"Crate","embeds":[{"n":1.5}]}")",
                            "#1 chat Ann: /post plain words", R"(    webhook  -> hooks.example.org  "plain words")",
                            "#2 webhook reply 429, 2 headers, body of 4 bytes", "#3 webhook reply 500",
                            "#4 webhook reply 200", "    refused  by host  no web request is waiting for a reply",
                            "#5 wait 1 second", "#6 webhook reply 200, body of 4 bytes",
                            "    refused  by host  no web request is waiting for a reply", "#7 chat Ann: /post again",
                            R"(    webhook  -> hooks.example.org  "again")", "#8 wait 1 second", "",
                            "Game memory still held after unload: 0 blocks, 0 bytes"));
    EXPECT_THAT(human.str(), Not(HasSubstr("s3cr3t")));
    EXPECT_THAT(human.str(), Not(HasSubstr("t0k3n")));

    std::ostringstream json;
    Herald::PrintPlayed(played, Herald::TranscriptFormat::Json, json);
    EXPECT_THAT(
        LinesFrom(json.str(), R"({"type": "webhook")"),
        ElementsAre(
            R"({"type": "webhook", "host": "hooks.example.org", "body": {"content": "Crate", "embeds": [{"n": 1.5}]}})",
            R"({"type": "webhook", "host": "hooks.example.org", "body": "plain words"})",
            R"({"type": "refused", "event": 4, "reason": "no web request is waiting for a reply"})",
            R"({"type": "refused", "event": 6, "reason": "no web request is waiting for a reply"})",
            R"({"type": "webhook", "host": "hooks.example.org", "body": "again"})",
            R"({"type": "memory", "live_blocks": 0, "live_bytes": 0})"));
}

// A request's body in the JSON transcript: the value it holds, or its text.
std::string PrintedBody(const std::string& body) {
    StandIn::Record record;
    record.kind = StandIn::RecordKind::Webhook;
    record.host = "hooks.example.org";
    record.text = body;
    Herald::PlayedStep step{Herald::PlayedStep::Kind::Event, 0, {Herald::HostRecords{{record}, 0}}};
    std::ostringstream out;
    Herald::PrintStep(step, Herald::TranscriptFormat::Json, out);
    const std::string line = out.str();
    const std::string start = R"({"type": "webhook", "host": "hooks.example.org", "body": )";
    if (line.rfind(start, 0) != 0 || line.size() < start.size() + 2 || line.substr(line.size() - 2) != "}\n") {
        return "not a webhook line: " + line;
    }
    const std::string printed = line.substr(start.size(), line.size() - start.size() - 2);
    // Whatever it is, the line is one JSON object.
    EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    return printed;
}

// The thread a post went to, where it carries one, beside its host.
TEST(ScenarioEvents, AWebhookLineNamesTheThreadThePostCarries) {
    const struct {
        const char* thread;
        const char* json;
        const char* human;
    } cases[] = {
        {"", R"({"type": "webhook", "host": "discord.example", "body": "x"})",
         R"(    webhook  -> discord.example  "x")"},
        {"123456789012345678",
         R"({"type": "webhook", "host": "discord.example", "thread": "123456789012345678", "body": "x"})",
         R"(    webhook  -> discord.example thread 123456789012345678  "x")"},
    };
    for (const auto& c : cases) {
        StandIn::Record record;
        record.kind = StandIn::RecordKind::Webhook;
        record.host = "discord.example";
        record.thread = c.thread;
        record.text = "x";
        const Herald::PlayedStep step{Herald::PlayedStep::Kind::Event, 0, {Herald::HostRecords{{record}, 0}}};
        std::ostringstream json;
        Herald::PrintStep(step, Herald::TranscriptFormat::Json, json);
        EXPECT_EQ(json.str(), std::string(c.json) + "\n");
        std::ostringstream human;
        Herald::PrintStep(step, Herald::TranscriptFormat::Human, human);
        EXPECT_THAT(human.str(), HasSubstr(c.human));
    }
}

std::string NestedArrays(int depth) {
    return std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
}

TEST(ScenarioEvents, AWebhookLineShowsTheJsonValueItsBodyHoldsOrElseItsText) {
    const std::pair<std::string, std::string> cases[] = {
        // JSON, in the transcript's spacing, keys in the body's order.
        {R"({"content":"Crate","embeds":[{"title":"A","color":65280}]})",
         R"({"content": "Crate", "embeds": [{"title": "A", "color": 65280}]})"},
        {R"({"b":1,"a":2})", R"({"b": 1, "a": 2})"},
        {R"( [1, -2.5, 1e2, true, false, null, "x", [], {}] )", R"([1, -2.5, 100.0, true, false, null, "x", [], {}])"},
        {"42", "42"},
        {R"("quoted")", R"("quoted")"},
        {R"({"text":"caf\u00e9 \"q\""})", R"({"text": "café \"q\""})"},
        {NestedArrays(64), NestedArrays(64)},
        // Anything else, as a string.
        {"", R"("")"},
        {"plain words", R"("plain words")"},
        {R"({"a":1} {"b":2})", R"("{\"a\":1} {\"b\":2}")"},
        {R"({"a":)", R"("{\"a\":")"},
        {"[1e999]", R"("[1e999]")"},
        {"\"\xff\"", "\"\\\"\xEF\xBF\xBD\\\"\""},
        {NestedArrays(65), "\"" + NestedArrays(65) + "\""},
        {"\"[[[[\"", R"("[[[[")"},
    };
    for (const auto& [body, printed] : cases) {
        EXPECT_EQ(PrintedBody(body), printed) << body.substr(0, 80);
    }
}

}  // namespace
