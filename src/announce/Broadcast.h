#pragma once
// Delivering one announcement to every connected player.

#include <string>

#include <nlohmann/json.hpp>

#include "announce/Templates.h"
#include "game/GameTypes.h"

// Fills the template's Msg and sends it to every connected player as an
// on-screen notification (Type "Notification") or a chat line. A template that
// is not an object, or has no Msg, sends nothing.
void Broadcast(const nlohmann::json& notificationTemplate, const ReplacementList& replacements);

// "Random", or "R,G,B" in decimal; anything else is green.
FColorBytes ParseColorText(const std::string& text);
