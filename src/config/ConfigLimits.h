#pragma once
// What config.json may cost the server before it is refused. The file is read
// on the game's thread (at load and at every reload), so a hostile or broken
// file must not be able to stall the game or take its memory. A real
// configuration is a few kilobytes and five levels deep.

#include <cstdint>

inline constexpr std::uintmax_t ConfigFileSizeLimit = 16 * 1024 * 1024;  // bytes
inline constexpr int ConfigDepthLimit = 100;                                // nested arrays and objects
