#pragma once
// What the plugin runs on: config.json as read last, the running map's name,
// and the plans made from both. Its values are read through the readers of
// src/config; the plugin shell reads the file and sets the map.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "config/AnnouncementPlan.h"

// The parsed config.json; null until the first successful read.
extern nlohmann::json PluginConfig;

// The running map's name, as the game reports it (UTF-8).
extern std::string CurrentMapName;

// Reads config.json anew. PluginConfig is replaced only by a whole document:
// on any failure the previous one stays in force. Only a regular file within
// the limits of ConfigLimits.h is read; anything else is refused with a
// message that says which limit it broke.
void ReadConfig();

// The plans of PluginConfig's entries on CurrentMapName, made anew by
// Replan at every change of either (ReadConfig and SetCurrentMap call it).
const PlanBook& CurrentPlans();
void Replan();
// A new map: its name kept, and the plans made for it.
void SetCurrentMap(std::string name);
