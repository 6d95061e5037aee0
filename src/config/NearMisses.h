#pragma once
// The known key nearest to a mistyped one, within a bounded cost.

#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string_view>

// Edits between two texts, ASCII case ignored, a swap of neighbours counting
// as one; anything beyond limit is given as limit + 1. Time grows with the
// longer text times the limit, so a long text costs no more than its length.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit);

// How far a text may be from a known key to be called a near miss of it: a
// third of the known key, at least one edit and at most three. herald check's
// "did you mean" and SkyCrateHerald.Test's share it, so both name the same key.
std::size_t NearMissLimit(std::string_view known);

// What one search for the nearest key may cost, whatever the keys and the
// typed text: SkyCrateHerald.Test searches on the game's thread. Keys longer
// than NearMissLengthLimit are never named (the game's class names are far
// shorter), and the comparisons stop once they have computed
// NearMissWorkLimit cells of the edit distance's band, keeping the nearest
// found so far: an ordinary config needs a few thousand.
inline constexpr std::size_t NearMissLengthLimit = 128;
inline constexpr std::size_t NearMissWorkLimit = 100'000;
// One search for the nearest key, offered the known keys one at a time.
class NearMissSearch {
public:
    explicit NearMissSearch(std::string_view typed) : typed_(typed) {}
    // Compares one known key with typed, unless its length or typed's rules
    // it out at once. False once the search's work is spent: the keys not yet
    // offered need not be.
    bool Offer(std::string_view known);
    // The nearest key offered within its near-miss limit; the first of them on a tie.
    std::optional<std::string_view> Nearest() const { return nearest_; }

private:
    std::string_view typed_;
    std::optional<std::string_view> nearest_;
    std::size_t nearestDistance_ = SIZE_MAX;
    std::size_t work_ = 0;
    bool spent_ = false;
};

std::optional<std::string_view> NearestKnown(std::string_view typed, std::span<const std::string_view> known);
// The asteroid code of AsteroidGen2's maps nearest to typed, as NearestKnown
// finds it, the maps searched in the order of AsteroidCodeMaps.
std::optional<std::string_view> NearestAsteroidCode(const nlohmann::json& asteroids, std::string_view typed);
