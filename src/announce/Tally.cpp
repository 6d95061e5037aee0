#include "announce/Tally.h"

namespace {
DeliveryTally Delivered;
}  // namespace

void Tally(const Announcement& announcement, const DeliveryCount& count) {
    if (announcement.digest) {
        ++Delivered.digests;
    } else {
        ++Delivered.announcements;
        Delivered.lines += static_cast<std::int64_t>(count.delivered);
    }
    Delivered.notSentByChoices += static_cast<std::int64_t>(count.notSent);
}

const DeliveryTally& Tallied() { return Delivered; }

void ResetTally() { Delivered = DeliveryTally(); }
