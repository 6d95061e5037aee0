#include "check/DocumentScan.h"

#include <algorithm>
#include <span>

#include "common/Output.h"
#include "config/ConfigKeys.h"
#include "config/ConfigLimits.h"

namespace Herald {

namespace {

std::size_t StepLength(std::string_view key) {
    return 1 + key.size() +
           static_cast<std::size_t>(std::count_if(key.begin(), key.end(), [](char c) { return c == '~' || c == '/'; }));
}

}  // namespace

bool DocumentScan::key(string_t& key) {
    if (BeyondTheLimit()) {
        return DepthLimitedBuilder::key(key);
    }
    Level& level = levels_.back();
    const std::size_t stepLength = StepLength(key);
    const auto [known, added] = level.keys.insert(key);
    if (!added) {
        NoteDuplicate(key, stepLength);
    }
    level.key = &*known;
    level.stepLength = stepLength;
    if (purpose_ == ScanPurpose::Plan) {
        NoteKeyOrder(key);
    }
    return DepthLimitedBuilder::key(key);
}

// Once the first value is whole, the library only looks for the end of the
// text; what it finds instead is text after the document.
bool DocumentScan::parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
    if (complete_) {
        textAfter = true;
    } else {
        // The library quotes the bytes it last read, which can be most of
        // the file and need not be UTF-8: cut as the plugin's log line is,
        // then given as --json prints them, U+FFFD for a byte that is not.
        parseError = ValidUtf8(CutErrorText(error.what()));
    }
    return false;
}

void DocumentScan::Begin() {
    if (!BeyondTheLimit() && !levels_.empty() && !levels_.back().object) {
        ++levels_.back().started;
    }
}

bool DocumentScan::Value() {
    Begin();
    complete_ = levels_.empty();
    return true;
}

bool DocumentScan::Opened(bool object) {
    if (levels_.size() + 1 == Depth()) {
        levels_.push_back({object, {}, nullptr, 0, 0});
    }
    return true;
}

// Called while the closing level still counts in Depth().
void DocumentScan::Close() {
    if (!BeyondTheLimit()) {
        levels_.pop_back();
    }
    complete_ = levels_.empty();
}

void DocumentScan::NoteDuplicate(std::string_view key, std::size_t stepLength) {
    // The path of the object at hand: the steps to it from the levels above.
    const auto above = std::span(levels_).first(levels_.size() - 1);
    std::size_t length = stepLength;
    for (const Level& level : above) {
        length += level.object ? level.stepLength : 1 + std::to_string(level.started - 1).size();
    }
    if (listedBytes_ + length > ListedPathBytes) {
        ++unlistedDuplicates;
        return;
    }
    listedBytes_ += length;
    std::string path;
    path.reserve(length);
    for (const Level& level : above) {
        path += level.object ? PointerStep(*level.key) : "/" + std::to_string(level.started - 1);
    }
    duplicates.push_back(path + PointerStep(key));
}

// A key is noted by the keys of the objects around it, whichever of two
// objects given under the same key holds it: preview keeps only those the
// document still holds.
void DocumentScan::NoteKeyOrder(const std::string& key) {
    const auto memberOf = [&](std::size_t depth, std::string_view name) {
        return levels_[depth].object && *levels_[depth].key == name;
    };
    if (levels_.size() == 2 && memberOf(0, Key::Items)) {
        itemKeys.push_back(key);
    } else if (levels_.size() == 3 && memberOf(0, Key::AsteroidGen2) && levels_[1].object) {
        const std::span<const std::string_view> maps = AsteroidCodeMaps();
        if (std::find(maps.begin(), maps.end(), *levels_[1].key) != maps.end()) {
            asteroidCodes.push_back(key);
        }
    }
}

}  // namespace Herald
