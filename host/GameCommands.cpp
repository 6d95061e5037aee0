// Console, RCON and chat lines, handed to the command a plugin registered
// under the line's first word, in any case; a line no command takes is refused
// on the record.

#include <string>
#include <utility>

#include "HostState.h"

namespace StandIn {

using namespace detail;

namespace {

void Refuse(std::string reason) {
    Record refused;
    refused.kind = RecordKind::Refused;
    refused.text = std::move(reason);
    TheServer().records.push_back(std::move(refused));
}

std::u16string CommandName(const std::string& line) {
    const std::size_t end = line.find(' ');
    return Utf16(line.substr(0, end));
}

bool SameCommand(const std::u16string& registered, const std::u16string& typed) {
    if (registered.size() != typed.size()) {
        return false;
    }
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const auto lower = [](char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + 32 : unit; };
        if (lower(registered[i]) != lower(typed[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ConsoleCommand(const std::string* player, const std::string& line) {
    Server& server = TheServer();
    GameObject* controller = nullptr;
    if (player != nullptr) {
        controller = FindPlayer(*player);
        if (controller == nullptr) {
            Refuse("no connected player named " + *player);
            return false;
        }
        if (!controller->admin) {
            Refuse(*player + " is not an admin");
            return false;
        }
    }
    const std::u16string name = CommandName(line);
    for (const auto& [registered, handler] : server.consoleCommands) {
        if (SameCommand(registered, name)) {
            const ArkApi::ConsoleCommandHandler handlerCopy = handler;
            HostString command(Utf16(line));
            handlerCopy(reinterpret_cast<APlayerController*>(controller), &command.text, false);
            return true;
        }
    }
    Refuse("unknown console command " + Utf8(name));
    return false;
}

bool RconCommand(const std::string& line, int id) {
    Server& server = TheServer();
    const std::u16string name = CommandName(line);
    for (const auto& [registered, handler] : server.rconCommands) {
        if (SameCommand(registered, name)) {
            const ArkApi::RconCommandHandler handlerCopy = handler;
            // The body is the request's command line, a game string like any other.
            RCONPacket packet{static_cast<int>(line.size()) + 10, id, 2, {}};
            HostString body(Utf16(line));
            std::swap(packet.Body, body.text);
            handlerCopy(reinterpret_cast<RCONClientConnection*>(server.rcon), &packet,
                        reinterpret_cast<UWorld*>(server.world));
            std::swap(packet.Body, body.text);
            return true;
        }
    }
    Refuse("unknown RCON command " + Utf8(name));
    return false;
}

bool ChatLine(const std::string& player, const std::string& text) {
    GameObject* controller = FindPlayer(player);
    if (controller == nullptr) {
        Refuse("no connected player named " + player);
        return false;
    }
    const std::u16string name = CommandName(text);
    for (const auto& [registered, handler] : TheServer().chatCommands) {
        if (SameCommand(registered, name)) {
            // A copy: the handler may unregister its own command.
            const ArkApi::ChatCommandHandler handlerCopy = handler;
            HostString line(Utf16(text));
            handlerCopy(reinterpret_cast<AShooterPlayerController*>(controller), &line.text, EChatSendMode::GlobalChat);
            return true;
        }
    }
    return false;
}

}  // namespace StandIn
