#pragma once
// Item keys, map coordinates and message texts.

#include <string>
#include <vector>

struct FString;

// Placeholder and value, alternating, in the order they are filled.
using ReplacementList = std::vector<std::string>;

struct MapPosition {
    float Latitude;
    float Longitude;
};

// The name up to and including its first "_C_"'s "_C" (any case), or all of it.
std::string MakeItemKey(const FString& name);

// Latitude from y and longitude from x, cut down to tenths, with the map's
// scales and origins from the world settings (0 fields take the defaults).
MapPosition MapCoordinates(const void* worldSettings, float x, float y);

// Every integer digit and one decimal: 50.0, 100.0, -12.5, 1234.5.
std::string FormatCoordinate(float value);

// Each placeholder's first occurrence, in list order, takes its value.
std::string FillTemplate(std::string text, const ReplacementList& replacements);
