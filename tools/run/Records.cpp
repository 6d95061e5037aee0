#include "run/Records.h"

#include "common/Output.h"

namespace Herald {

namespace {

// Appended step by step: GCC 12 reports a false -Wrestrict on the chained
// form in optimised builds.
std::string Describe(const Position& position) {
    std::string text = "(";
    text += HumanFloat(position.x);
    text += ", ";
    text += HumanFloat(position.y);
    text += ", ";
    text += HumanFloat(position.z);
    text += ")";
    return text;
}

std::string DescribeInstigator(const InstigatorSpec& instigator) {
    return ", by " + instigator.name + (instigator.objectClass == InstigatorClass::Dino ? " (dino" : " (not a dino") +
           (instigator.statusComponent ? ", level " + std::to_string(instigator.level) : "") + ")";
}

struct Summarise {
    std::string operator()(const LoadEvent&) const { return "load"; }
    std::string operator()(const UnloadEvent&) const { return "unload"; }
    std::string operator()(const InitGameEvent& e) const { return "init_game " + e.map; }
    std::string operator()(const SpawnStructureEvent& e) const {
        const char* kind = e.objectClass == SpawnClass::Container   ? "container"
                           : e.objectClass == SpawnClass::Structure ? "structure"
                                                                    : "object";
        std::string text = std::string("spawn ") + kind + " " + e.name + " at " + Describe(e.location);
        return e.instigator ? text + DescribeInstigator(*e.instigator) : text;
    }
    std::string operator()(const SpawnContainerEvent& e) const {
        return "spawn item container " + e.name +
               (e.rootComponent ? " at " + Describe(e.position) : " (no root component)");
    }
    std::string operator()(const ConnectEvent& e) const {
        std::string notes = e.player.admin ? "admin" : "";
        if (e.player.id) {
            notes += (notes.empty() ? "id " : ", id ") + *e.player.id;
        }
        return "connect " + e.player.name + (notes.empty() ? "" : " (" + notes + ")");
    }
    std::string operator()(const DisconnectEvent& e) const { return "disconnect " + e.player; }
    std::string operator()(const ConsoleEvent& e) const {
        return "console " + (e.player ? *e.player : std::string("(server)")) + ": " + e.command;
    }
    std::string operator()(const RconEvent& e) const { return "rcon #" + std::to_string(e.id) + ": " + e.command; }
    std::string operator()(const ChatEvent& e) const { return "chat " + e.player + ": " + e.text; }
    std::string operator()(const WaitEvent& e) const {
        return "wait " + std::to_string(e.seconds) + (e.seconds == 1 ? " second" : " seconds");
    }
    std::string operator()(const ConfigFileEvent& e) const {
        return e.text ? "write config.json (" + std::to_string(e.text->size()) + " bytes)" : "delete config.json";
    }
    std::string operator()(const WebhookReplyEvent& e) const {
        std::string text = "webhook reply " + std::to_string(e.status);
        if (!e.headers.empty()) {
            text += ", " + Plural(e.headers.size(), "header", "headers");
        }
        return e.body.empty() ? text : text + ", body of " + Plural(e.body.size(), "byte", "bytes");
    }
    std::string operator()(const WorldSettingsEvent& e) const {
        const WorldSettings& s = e.settings;
        return "world settings: latitude scale " + HumanFloat(s.latitudeScale) + ", origin " +
               HumanFloat(s.latitudeOrigin) + "; longitude scale " + HumanFloat(s.longitudeScale) + ", origin " +
               HumanFloat(s.longitudeOrigin);
    }
};

}  // namespace

std::string Summary(const Event& event) { return std::visit(Summarise{}, event); }

}  // namespace Herald
