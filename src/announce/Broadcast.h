#pragma once
// Delivering one announcement to every connected player.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "announce/Templates.h"
#include "game/GameTypes.h"

// Fills the template's Msg and sends it to every connected player as an
// on-screen notification (Type "Notification") or a chat line. A template that
// is not an object, or has no Msg, sends nothing.
void Broadcast(const nlohmann::json& notificationTemplate, ReplacementList replacements);

// "Random", or "R,G,B" in decimal; anything else is green.
FColorBytes ParseColorText(std::string_view text);

// object.value(key, fallback) for a text, without copying it: the member's own
// text, or the fallback when there is none. Where value() would raise (object
// not an object, member not a text), it is called and raises; spare holds
// whatever it returns.
std::string_view ReadText(const nlohmann::json& object, std::string_view key, std::string_view fallback,
                          std::string& spare);
