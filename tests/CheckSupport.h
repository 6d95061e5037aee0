#pragma once
// What the tests of herald check share: reading its findings, the configs
// they start from, and what check's words say the plugin does beside what the
// plugin did with the same file.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "StandIn.h"
#include "Support.h"
#include "check/Check.h"

namespace CheckTest {

using Herald::Finding;
using Herald::Severity;

// The findings, one a line and cut short, for a failure's message.
std::string Describe(const std::vector<Herald::Finding>& findings);

// Whether a finding at path says the fragment.
bool Says(const std::vector<Herald::Finding>& findings, const std::string& path, const std::string& fragment);

// A config whose one entry, SupplyCrate_Level03_C, has this Notification.
std::string CrateConfig(const std::string& notification);
inline const std::string CrateNotification = "/Items/SupplyCrate_Level03_C/Notification";

// A document with every key the plugin reads, each of the right type.
nlohmann::json EveryKey();

// The key table's pointer with its "*" made concrete for EveryKey().
std::string Concrete(std::string_view pointer);

// The linear colour of a notification that shows green.
inline const nlohmann::json Green = nlohmann::json::parse("[0, 1, 0, 1]");

// What the plugin did with a file: whether it loaded, what it delivered and
// how many error lines it logged.
struct PluginDid {
    bool loaded = false;
    std::vector<nlohmann::json> deliveries;  // notifications and chat lines
    int errorLines = 0;
    std::string transcript;
};

// What check's words say the plugin will do.
struct CheckSays {
    bool refused = false;      // it refuses to load the file
    bool logged = false;       // an error line is logged
    bool nothingSent = false;  // an announcement sends nothing
    bool ignored = false;      // a value is passed over quietly, another used in its place
};

CheckSays WhatCheckSays(const std::vector<Herald::Finding>& findings);

// Whatever the file: check's refusal is the plugin's, an announcement check
// says sends nothing sends nothing, and a delivery is what check promises.
void ExpectPluginDoesAsCheckSays(const std::vector<Herald::Finding>& findings, const PluginDid& did,
                                 const std::string& what);

// Check's one finding of a row (none where it says nothing), at its severity,
// and whether it says the plugin logs as the plugin did.
void ExpectCheckSaid(const std::vector<Herald::Finding>& findings, const std::string& path, const char* says,
                     Herald::Severity severity, int errorLines, const std::string& what);

// Check and the plugin in this process, on a server of the test's own.
struct HeraldCheckAgainstPlugin : HeraldTest::ServerTest {
    // One spawn of the reader on Gen2, with one player online.
    PluginDid Play(const std::string& configText, const StandIn::StructureSpawn& spawn);
};

}  // namespace CheckTest
