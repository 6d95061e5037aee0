#include "players/PlayerChoices.h"

#include <algorithm>

bool PlayerChoices::Hears(std::string_view player, std::string_view foldedGroup) const {
    const auto found = players_.find(std::string(player));
    if (found == players_.end()) {
        return true;
    }
    const Choice& choice = found->second;
    for (const auto& [group, heard] : choice.groups) {
        if (group == foldedGroup) {
            return heard;
        }
    }
    return !choice.allOff;
}

RowChange PlayerChoices::Apply(std::string_view player, const ChoiceChange& change) {
    RowChange rows{std::string(player), false, {}, {}};
    const auto found = players_.find(rows.player);
    const bool allOff = found != players_.end() && found->second.allOff;
    switch (change.kind) {
        case ChoiceChange::Kind::AllOn:
            rows.clearsPlayer = true;
            break;
        case ChoiceChange::Kind::AllOff:
            rows.clearsPlayer = true;
            rows.set.push_back({rows.player, std::string(AllGroups), false});
            break;
        case ChoiceChange::Kind::Off:
        case ChoiceChange::Kind::On: {
            // A row only where it differs from what the player hears without
            // one: an exception to "off all", or a group turned off.
            const bool hears = change.kind == ChoiceChange::Kind::On;
            if (hears == !allOff) {
                rows.dropped.push_back(change.group);
            } else {
                rows.set.push_back({rows.player, change.group, hears});
            }
            break;
        }
    }
    Apply(rows);
    return rows;
}

void PlayerChoices::Apply(const RowChange& change) {
    if (change.clearsPlayer) {
        players_.erase(change.player);
    }
    if (const auto found = players_.find(change.player); found != players_.end()) {
        std::erase_if(found->second.groups, [&](const auto& group) {
            return std::find(change.dropped.begin(), change.dropped.end(), group.first) != change.dropped.end();
        });
    }
    for (const ChoiceRow& row : change.set) {
        Add(row);
    }
    if (const auto found = players_.find(change.player);
        found != players_.end() && !found->second.allOff && found->second.groups.empty()) {
        players_.erase(found);
    }
}

void PlayerChoices::Add(const ChoiceRow& row) {
    Choice& choice = players_[row.player];
    if (row.group == AllGroups) {
        choice.allOff = !row.hears;
        return;
    }
    for (auto& [group, heard] : choice.groups) {
        if (group == row.group) {
            heard = row.hears;
            return;
        }
    }
    choice.groups.emplace_back(row.group, row.hears);
}

void PlayerChoices::Replace(const std::string& player, const std::vector<ChoiceRow>& rows) {
    players_.erase(player);
    for (const ChoiceRow& row : rows) {
        Add(row);
    }
}

bool MakesMoot(const RowChange& later, const RowChange& earlier) {
    if (later.player != earlier.player) {
        return false;
    }
    if (later.clearsPlayer) {
        return true;
    }
    if (earlier.clearsPlayer) {
        return false;
    }
    // Every group the earlier one touched, the later one touches too.
    const auto touchedLater = [&later](std::string_view group) {
        return std::find(later.dropped.begin(), later.dropped.end(), group) != later.dropped.end() ||
               std::any_of(later.set.begin(), later.set.end(),
                           [&](const ChoiceRow& row) { return row.group == group; });
    };
    return std::all_of(earlier.dropped.begin(), earlier.dropped.end(), touchedLater) &&
           std::all_of(earlier.set.begin(), earlier.set.end(),
                       [&](const ChoiceRow& row) { return touchedLater(row.group); });
}

void AddInPlaceOfMoot(std::vector<RowChange>& changes, RowChange change) {
    std::erase_if(changes, [&](const RowChange& earlier) { return MakesMoot(change, earlier); });
    changes.push_back(std::move(change));
}
