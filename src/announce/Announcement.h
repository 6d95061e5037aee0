#pragma once
// One announcement as it travels from its spawn to the players, Discord and
// the tally: everything the later steps need, made once.

#include <string>
#include <string_view>

#include "config/AnnouncementPlan.h"
#include "config/Placeholders.h"

struct Announcement {
    // The template filled, as UTF-8, in storage that the next announcement made
    // reuses.
    const std::string* text = nullptr;
    const Delivery* delivery = nullptr;
    std::string_view color;  // the delivery's Color, or an asteroid code's
    std::string_view group;
    std::string_view key;  // the Items key; empty for an asteroid crate
    AnnouncementKind kind = AnnouncementKind::Structure;
    bool digest = false;  // tells of spawns a cooldown held
    bool relayed = false;
};
