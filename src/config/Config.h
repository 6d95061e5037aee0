#pragma once
// config.json: where it lives and how it is read. Its values are read through
// ConfigReaders.h.

#include <string_view>

#include <nlohmann/json.hpp>

// The parsed config.json; null until the first successful read.
extern nlohmann::json PluginConfig;

// Reads config.json anew. PluginConfig is replaced only by a whole document:
// on any failure the previous one stays in force. Only a regular file within
// the limits of ConfigLimits.h is read; anything else is refused with a
// message that says which limit it broke.
void ReadConfig();
