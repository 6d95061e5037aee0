#include "run/Printers.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "common/Output.h"
#include "run/Play.h"

namespace Herald {

namespace {

std::vector<float> Channels(const FColorLinear& color) { return {color.R, color.G, color.B, color.A}; }

// ---- A web request's body ------------------------------------------------------

using OrderedJson = nlohmann::ordered_json;

// A body nested deeper than this is shown as its text: a plugin's bodies are
// shallow, and printing one walks it recursively.
constexpr int WebhookBodyDepthLimit = 64;

bool NestedWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return false;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// A JSON value spaced as the transcript's own lines are, its keys in the
// order the plugin wrote them.
std::string TranscriptJson(const OrderedJson& value) {
    if (value.is_object() || value.is_array()) {
        std::string text = value.is_object() ? "{" : "[";
        bool first = true;
        for (const auto& item : value.items()) {
            text += first ? "" : ", ";
            if (value.is_object()) {
                text += JsonString(item.key()) + ": ";
            }
            text += TranscriptJson(item.value());
            first = false;
        }
        return text + (value.is_object() ? "}" : "]");
    }
    if (value.is_string()) {
        return JsonString(value.get_ref<const std::string&>());
    }
    return value.dump();
}

// The body as the JSON value it holds, or as a string when it holds none.
std::string WebhookBody(const std::string& body) {
    if (NestedWithin(body, WebhookBodyDepthLimit)) {
        const OrderedJson parsed = OrderedJson::parse(body, nullptr, false);
        if (!parsed.is_discarded()) {
            return TranscriptJson(parsed);
        }
    }
    return JsonString(body);
}

// ---- One JSON object a line ----------------------------------------------------

std::string JsonRecordLine(const StandIn::Record& record, std::optional<std::size_t> eventIndex) {
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
        case StandIn::RecordKind::Webhook: {
            line.Text("type", "webhook").Text("host", record.host);
            if (!record.thread.empty()) {
                line.Text("thread", record.thread);
            }
            // JsonLine holds texts and numbers; the body may be any JSON value.
            std::string text = line.Done();
            text.pop_back();
            return text + ", \"body\": " + WebhookBody(record.text) + "}";
        }
    }
    return line.Done();
}

// The JSON transcript says nothing of the start or the events themselves:
// every line is something the plugin or the host did.
struct JsonPrinter {
    std::ostream& out;

    void operator()(const StartRecord&) const {}
    void operator()(const EventRecord&) const {}
    void operator()(const HostRecords& host) const {
        for (const StandIn::Record& record : host.records) {
            out << JsonRecordLine(record, host.eventIndex) << '\n';
        }
        out.flush();
    }
    void operator()(const LoadRecord& load) const {
        JsonLine line;
        line.Text("type", "load").Boolean("ok", load.result.ok);
        if (!load.result.ok) {
            line.Text("error", load.result.error);
        }
        out << line.Done() << '\n';
    }
    void operator()(const UnloadRecord&) const { out << JsonLine().Text("type", "unload").Done() << '\n'; }
    void operator()(const MemoryRecord& memory) const {
        out << JsonLine()
                   .Text("type", "memory")
                   .Integer("live_blocks", memory.liveBlocks)
                   .Integer("live_bytes", memory.liveBytes)
                   .Done()
            << '\n';
    }
};

// ---- For people ----------------------------------------------------------------

// The 8-bit sRGB colour an admin writes in config.json, from the linear
// channels the game received.
std::string ColorBytes(const FColorLinear& color) {
    const auto channel = [](float linear) {
        return std::isfinite(linear) ? std::to_string(SrgbByte(linear)) : std::string("?");
    };
    std::string text = channel(color.R) + "," + channel(color.G) + "," + channel(color.B);
    const long alpha = std::lround(std::clamp(static_cast<double>(color.A), 0.0, 1.0) * 255.0);
    return alpha == 255 ? text : text + "," + std::to_string(alpha);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::vector<std::string> HumanRow(const StandIn::Record& record) {
    switch (record.kind) {
        case StandIn::RecordKind::Notification:
            return {"notification", "-> " + record.player, Quoted(record.text), "colour " + ColorBytes(record.color),
                    "size " + HumanFloat(record.size) + "  time " + HumanFloat(record.time)};
        case StandIn::RecordKind::Chat:
            return {"chat", "-> " + record.player, record.sender + ": " + Quoted(record.text)};
        case StandIn::RecordKind::ConsoleReply:
            return {"console reply", "-> " + (record.player.empty() ? "server" : record.player), Quoted(record.text),
                    "colour " + ColorBytes(record.color)};
        case StandIn::RecordKind::RconReply:
            return {"rcon reply", "-> #" + std::to_string(record.id), Quoted(record.text),
                    "type " + std::to_string(record.replyType)};
        case StandIn::RecordKind::Log:
            return {"log", "[" + record.logger + "]", record.level + ": " + record.text};
        case StandIn::RecordKind::Refused:
            return {"refused", "by host", record.text};
        case StandIn::RecordKind::Webhook:
            return {"webhook", "-> " + record.host + (record.thread.empty() ? "" : " thread " + record.thread),
                    Quoted(record.text)};
    }
    return {};
}

struct HumanPrinter {
    std::ostream& out;

    void operator()(const StartRecord& start) const {
        out << "Server on " << start.map << (start.serverReady ? "" : " (not yet running)") << ", "
            << Plural(start.players, "player", "players") << (start.configGiven ? "" : ", no config.json")
            << "\nPlugin " << start.pluginPath << "\n\n";
    }
    void operator()(const EventRecord& event) const { out << "#" << event.index << " " << event.summary << '\n'; }
    void operator()(const HostRecords& host) const {
        std::vector<std::vector<std::string>> rows;
        for (const StandIn::Record& record : host.records) {
            rows.push_back(HumanRow(record));
        }
        for (const std::string& line : AlignColumns(rows)) {
            out << "    " << line << '\n';
        }
        out.flush();
    }
    void operator()(const LoadRecord& load) const {
        out << "    " << (load.result.ok ? "plugin loaded" : "plugin refused to load: " + load.result.error) << '\n';
    }
    void operator()(const UnloadRecord&) const { out << "    plugin unloaded\n"; }
    void operator()(const MemoryRecord& memory) const {
        out << "\nGame memory still held after unload: " << memory.liveBlocks
            << (memory.liveBlocks == 1 ? " block, " : " blocks, ") << memory.liveBytes << " bytes"
            << (memory.liveBlocks == 0 ? "" : "  <-- leak") << '\n';
    }
};

}  // namespace

void PrintStep(const PlayedStep& step, TranscriptFormat format, std::ostream& out) {
    for (const PlayRecord& record : step.records) {
        format == TranscriptFormat::Json ? std::visit(JsonPrinter{out}, record) : std::visit(HumanPrinter{out}, record);
    }
    switch (step.kind) {
        case PlayedStep::Kind::Opening:
            CheckOutput(out, "; stopped before the first event");
            break;
        case PlayedStep::Kind::Event:
            CheckOutput(out, "; stopped at event " + std::to_string(step.eventIndex));
            break;
        case PlayedStep::Kind::Closing:
            out.flush();
            CheckOutput(out, "");
            break;
        case PlayedStep::Kind::Interrupted:
            break;  // the error that cut it short is what is said next
    }
}

void PrintPlayed(const PlayedScenario& played, TranscriptFormat format, std::ostream& out) {
    PrintStep(played.opening, format, out);
    for (const PlayedStep& step : played.events) {
        PrintStep(step, format, out);
    }
    PrintStep(played.closing, format, out);
}

}  // namespace Herald
