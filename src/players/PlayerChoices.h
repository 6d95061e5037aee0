#pragma once
// What players chose to hear, by player id and group (folded, as GroupFold
// gives it). A player with no choices hears every group.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One change a player asks for with the chat command; group is folded, and
// empty for "all".
struct ChoiceChange {
    enum class Kind { Off, On, AllOff, AllOn };
    Kind kind = Kind::Off;
    std::string group;
};

// How a choice is kept, one row per player and group: the group AllGroups
// stands for "off all", and a group's row says whether the player hears it
// (heard only as the exception to "off all").
inline constexpr std::string_view AllGroups = "*";
struct ChoiceRow {
    std::string player;
    std::string group;
    bool hears = false;
};

// What a change does to the rows: all of the player's go first when
// clearsPlayer, then the row of each group in dropped goes, then set is
// written.
struct RowChange {
    std::string player;
    bool clearsPlayer = false;
    std::vector<std::string> dropped;
    std::vector<ChoiceRow> set;
};

// Whether later, a change of the same player, leaves nothing of earlier in
// the rows: it clears the player, or touches every group earlier did.
bool MakesMoot(const RowChange& later, const RowChange& earlier);
// Adds a change to those waiting, in place of the earlier ones it makes moot,
// so that what waits stays within a change per player and group.
void AddInPlaceOfMoot(std::vector<RowChange>& changes, RowChange change);

// The rows of each player whose choices changed, all of each one's: a player
// without rows hears every group.
using ChangedPlayers = std::unordered_map<std::string, std::vector<ChoiceRow>>;

class PlayerChoices {
public:
    bool Empty() const { return players_.empty(); }
    std::size_t Players() const { return players_.size(); }

    bool Hears(std::string_view player, std::string_view foldedGroup) const;

    // Applies the change and gives what it does to the rows.
    RowChange Apply(std::string_view player, const ChoiceChange& change);
    // Applies a change made here or by another server.
    void Apply(const RowChange& change);

    // A row as the store gives it; a row of a group this server does not
    // announce is kept, since another server's config may.
    void Add(const ChoiceRow& row);
    // The player's choices as these rows, all of the player's, say.
    void Replace(const std::string& player, const std::vector<ChoiceRow>& rows);

private:
    struct Choice {
        bool allOff = false;
        std::vector<std::pair<std::string, bool>> groups;  // folded group, heard
    };
    std::unordered_map<std::string, Choice> players_;
};
