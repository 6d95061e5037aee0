#pragma once

// The plugin's name: its log channel, its folder under the plugins directory,
// and the stem of its commands.
inline constexpr char PluginName[] = "SkyCrateHerald";
inline constexpr char ReloadCommandName[] = "SkyCrateHerald.Reload";
inline constexpr char TestCommandName[] = "SkyCrateHerald.Test";
