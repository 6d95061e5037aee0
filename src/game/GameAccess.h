#pragma once
// The one way the plugin reaches the game: every function and field by its
// "Class.Member" name, resolved through the host at each use and never cached,
// so call sites read as the game's own calls:
//   GameFunction<int(void*)>("UPrimalCharacterStatusComponent.GetCharacterLevel")(status)
//   GameField<void*>(actor, "AActor.Instigator")

#include <stdexcept>
#include <string>

#include "game/ArkApi.h"

[[noreturn]] inline void ThrowUnknownGameEntry(const char* name) {
    throw std::runtime_error(std::string("Unknown game entry: ") + name);
}

template <typename Signature>
Signature* GameFunction(const char* name) {
    void* address = ArkApi::GetAddress(name);
    if (address == nullptr) {
        ThrowUnknownGameEntry(name);
    }
    return reinterpret_cast<Signature*>(address);
}

template <typename T>
T& GameField(const void* object, const char* name) {
    void* address = ArkApi::GetAddress(object, name);
    if (address == nullptr) {
        ThrowUnknownGameEntry(name);
    }
    return *static_cast<T*>(address);
}

// The game's allocator. Strings and arrays the game fills or releases must
// live here, never on the plugin's own heap.
namespace GameMemory {

inline void* Malloc(std::size_t bytes) {
    return GameFunction<void*(std::size_t, unsigned)>("FMemory.Malloc")(bytes, 0);
}

inline void* Realloc(void* block, std::size_t bytes) {
    return GameFunction<void*(void*, std::size_t)>("FMemory.Realloc")(block, bytes);
}

// Never raises: it runs in destructors. Without the game's free the block is
// left alone rather than handed to the wrong allocator.
inline void Free(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    if (void* address = ArkApi::GetAddress("FMemory.Free")) {
        reinterpret_cast<void (*)(void*)>(address)(block);
    }
}

}  // namespace GameMemory
