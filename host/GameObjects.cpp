// The simulated game's objects: made, destroyed and found again through weak
// references, as the game's own are; and its strings, in the game's allocator.

#include <memory>
#include <string>
#include <utility>

#include "HostState.h"

namespace StandIn::detail {

GameObject* CreateObject(Kind kind, std::u16string name) {
    Server& server = TheServer();
    auto object = std::make_unique<GameObject>();
    object->kind = kind;
    object->name = std::move(name);
    std::size_t slot = 0;
    while (slot < server.objects.size() && server.objects[slot] != nullptr) {
        ++slot;
    }
    if (slot == server.objects.size()) {
        server.objects.emplace_back();
        server.serials.push_back(0);
    }
    object->Name = {static_cast<int32_t>(slot), server.serials[slot]};
    server.objects[slot] = std::move(object);
    return server.objects[slot].get();
}

void DestroyObject(GameObject* object) {
    if (object == nullptr) {
        return;
    }
    Server& server = TheServer();
    const auto slot = static_cast<std::size_t>(object->Name.ComparisonIndex);
    ++server.serials[slot];
    server.objects[slot].reset();
}

GameObject* LiveObject(FWeakObjectPtr reference) {
    const Server& server = TheServer();
    if (reference.ObjectIndex < 0 || static_cast<std::size_t>(reference.ObjectIndex) >= server.objects.size()) {
        return nullptr;
    }
    const auto slot = static_cast<std::size_t>(reference.ObjectIndex);
    return server.serials[slot] == reference.ObjectSerialNumber ? server.objects[slot].get() : nullptr;
}

FWeakObjectPtr WeakReference(const GameObject* object) { return {object->Name.ComparisonIndex, object->Name.Number}; }

std::string PlayerName(const void* playerController) {
    return playerController != nullptr ? Utf8(AsObject(playerController)->name) : std::string();
}

void AssignGameString(FString& target, std::u16string_view text) {
    GameFree(target.Data);
    target.Data = nullptr;
    target.ArrayNum = target.ArrayMax = 0;
    if (text.empty()) {
        return;
    }
    const auto count = static_cast<int32_t>(text.size() + 1);
    target.Data = static_cast<char16_t*>(GameMalloc(static_cast<std::size_t>(count) * sizeof(char16_t), 0));
    target.ArrayNum = count;
    target.ArrayMax = count;
    std::char_traits<char16_t>::copy(target.Data, text.data(), text.size());
    target.Data[text.size()] = 0;
}

}  // namespace StandIn::detail
