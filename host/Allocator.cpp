// The game's allocator, with the accounting tests rely on: every live block
// and its size, and faults (a free of a block it did not hand out, a second
// free) recorded instead of crashing.

#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "HostState.h"

namespace StandIn {

namespace {

AllocatorStats& Stats() {
    static AllocatorStats stats;
    return stats;
}

std::unordered_map<void*, std::size_t>& LiveBlocks() {
    static std::unordered_map<void*, std::size_t> blocks;
    return blocks;
}

std::string DescribeBlock(const char* what, const void* block) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %p", what, block);
    return text;
}

}  // namespace

const AllocatorStats& Allocator() { return Stats(); }

void* GameMalloc(std::size_t bytes, unsigned /*alignment*/) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    LiveBlocks().emplace(block, bytes);
    ++Stats().liveBlocks;
    Stats().liveBytes += bytes;
    ++Stats().allocations;
    return block;
}

void* GameRealloc(void* block, std::size_t bytes) {
    if (block == nullptr) {
        return GameMalloc(bytes, 0);
    }
    const auto found = LiveBlocks().find(block);
    if (found == LiveBlocks().end()) {
        Stats().faults.push_back(DescribeBlock("realloc of a block not handed out:", block));
        return GameMalloc(bytes, 0);
    }
    Stats().liveBytes -= found->second;
    LiveBlocks().erase(found);
    void* moved = std::realloc(block, bytes == 0 ? 1 : bytes);
    LiveBlocks().emplace(moved, bytes);
    Stats().liveBytes += bytes;
    return moved;
}

void GameFree(void* block) {
    if (block == nullptr) {
        return;
    }
    const auto found = LiveBlocks().find(block);
    if (found == LiveBlocks().end()) {
        Stats().faults.push_back(DescribeBlock("free of a block not live:", block));
        return;
    }
    Stats().liveBytes -= found->second;
    --Stats().liveBlocks;
    LiveBlocks().erase(found);
    std::free(block);
}

namespace detail {

void ClearAllocatorFaults() { Stats().faults.clear(); }

}  // namespace detail

}  // namespace StandIn
