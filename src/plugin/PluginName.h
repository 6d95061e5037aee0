#pragma once

#include <string_view>

// The plugin's name: its log channel, its folder under the plugins directory,
// and the stem of its commands.
inline constexpr char PluginName[] = "SkyCrateHerald";
inline constexpr char ReloadCommandName[] = "SkyCrateHerald.Reload";
inline constexpr char TestCommandName[] = "SkyCrateHerald.Test";
inline constexpr char StatusCommandName[] = "SkyCrateHerald.Status";

// Where the framework keeps its plugins, under the server's current
// directory: the plugin's folder there is named PluginName, and holds its
// config.json.
inline constexpr std::string_view PluginsFolder = "ArkApi/Plugins";
inline constexpr std::string_view ConfigFileName = "config.json";

// The test command as an admin types it, for an entry and for an asteroid code.
inline constexpr std::string_view TestCommandForm = "SkyCrateHerald.Test KEY [X Y]";
inline constexpr std::string_view TestAsteroidCommandForm = "SkyCrateHerald.Test AsteroidGen2 CODE [X Y]";
static_assert(TestCommandForm.starts_with(TestCommandName) && TestAsteroidCommandForm.starts_with(TestCommandName));
