#pragma once
// What the announcements delivered since load, for SkyCrateHerald.Status: the
// last step every announcement passes.

#include <cstdint>

#include "announce/Announcement.h"
#include "announce/Broadcast.h"

struct DeliveryTally {
    std::int64_t announcements = 0;
    std::int64_t digests = 0;
    std::int64_t lines = 0;  // of announcements
    std::int64_t notSentByChoices = 0;
};

void Tally(const Announcement& announcement, const DeliveryCount& count);
const DeliveryTally& Tallied();
// At unload: counted from zero at the next load.
void ResetTally();
