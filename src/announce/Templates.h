#pragma once
// Item keys, map coordinates and message texts.

#include <span>
#include <string>
#include <string_view>

struct FString;

// Placeholder and value, alternating, in the order they are filled. The texts
// are only viewed: an announcement's values live in its own locals, so filling
// a template copies nothing but the result.
using ReplacementList = std::span<const std::string_view>;

struct MapPosition {
    float Latitude;
    float Longitude;
};

// An item key made in place: a spawned object's key nearly always fits the
// buffer, so making one on every spawn allocates nothing. View() is valid
// while the ItemKey lives and until it is made again.
struct ItemKey {
    char bytes[128];
    std::size_t size = 0;
    std::string converted;  // the key when it did not fit or held units above ASCII
    bool inPlace = true;
    std::string_view View() const { return inPlace ? std::string_view(bytes, size) : std::string_view(converted); }
};
void MakeItemKey(const FString& name, ItemKey& key);

// Latitude from y and longitude from x, cut down to tenths, with the map's
// scales and origins from the world settings (0 fields take the defaults).
MapPosition MapCoordinates(const void* worldSettings, float x, float y);

// Every integer digit and one decimal: 50.0, 100.0, -12.5, 1234.5.
std::string FormatCoordinate(float value);

// Each placeholder's first occurrence, in list order, takes its value; text's
// storage is reused when it is large enough.
void FillTemplateInto(std::string& text, std::string_view message, ReplacementList replacements);
