#pragma once
// config.json: where it lives, how it is read, and how the announcement code
// looks values up in it.

#include <string_view>

#include <nlohmann/json.hpp>

// The parsed config.json; null until the first successful read.
extern nlohmann::json PluginConfig;

// Reads config.json anew. PluginConfig is replaced only by a whole document:
// on any failure the previous one stays in force. Only a regular file within
// the limits of ConfigLimits.h is read; anything else is refused with a
// message that says which limit it broke.
void ReadConfig();

// A member by key, or null when absent. Unlike the library's non-constant
// operator[] it inserts nothing, so the document does not grow with every
// spawned name; on a value that is neither object nor null it raises the
// library's own type error, as operator[] would.
const nlohmann::json& Member(const nlohmann::json& container, std::string_view key);
