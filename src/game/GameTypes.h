#pragma once
// The game's own value types, laid out as the game lays them out.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "game/GameAccess.h"

// Capacity rules the game uses for strings and arrays alike.
inline int32_t GrowthCapacity(int32_t count, int32_t capacity) {
    if (capacity == 0 && count <= 4) {
        return 4;
    }
    const int64_t grown = int64_t{count} + (int64_t{3} * count) / 8 + 16;
    return grown > INT32_MAX ? INT32_MAX : static_cast<int32_t>(grown);
}

// Storage that does not exist yet comes from Malloc, existing storage is
// resized with Realloc; nothing is allocated for nothing.
inline void* ResizeStorage(void* data, int32_t capacity, std::size_t elementSize) {
    const std::size_t bytes = static_cast<std::size_t>(capacity) * elementSize;
    if (data == nullptr) {
        return bytes == 0 ? nullptr : GameMemory::Malloc(bytes);
    }
    return GameMemory::Realloc(data, bytes);
}

// The game's text: 16-bit units with a terminating zero, storage from the
// game's allocator. Count includes the terminator; 0 means empty.
struct FString {
    char16_t* Data = nullptr;
    int32_t ArrayNum = 0;
    int32_t ArrayMax = 0;

    FString() = default;
    FString(const FString& other) { CopyExactly(other); }
    FString(FString&& other) noexcept
        : Data(std::exchange(other.Data, nullptr)),
          ArrayNum(std::exchange(other.ArrayNum, 0)),
          ArrayMax(std::exchange(other.ArrayMax, 0)) {}
    FString& operator=(const FString& other) {
        if (this != &other) {
            FString copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    FString& operator=(FString&& other) noexcept {
        if (this != &other) {
            GameMemory::Free(Data);
            Data = std::exchange(other.Data, nullptr);
            ArrayNum = std::exchange(other.ArrayNum, 0);
            ArrayMax = std::exchange(other.ArrayMax, 0);
        }
        return *this;
    }
    ~FString() { GameMemory::Free(Data); }

    static FString FromNarrow(const char* text);
    static FString FromWide(const char16_t* text);
    static FString FromUtf8(const std::string& text);

    std::string ToUtf8() const;
    // Index of the first match of pattern, ignoring case, or -1.
    int32_t IndexOfIgnoreCase(const char16_t* pattern) const;

    // The characters, without the terminating zero.
    std::u16string_view View() const {
        return ArrayNum > 0 ? std::u16string_view(Data, static_cast<std::size_t>(ArrayNum - 1)) : std::u16string_view();
    }

private:
    void CopyExactly(const FString& other) {
        if (other.ArrayNum == 0) {
            return;
        }
        Data = static_cast<char16_t*>(ResizeStorage(nullptr, other.ArrayNum, sizeof(char16_t)));
        ArrayNum = other.ArrayNum;
        ArrayMax = other.ArrayNum;
        std::char_traits<char16_t>::copy(Data, other.Data, static_cast<std::size_t>(ArrayNum));
    }
};
static_assert(sizeof(FString) == 16);

// The game's dynamic array, as the world holds one: the plugin only ever
// reads such arrays, through a reference.
template <typename T>
struct TGameArray {
    T* Data = nullptr;
    int32_t ArrayNum = 0;
    int32_t ArrayMax = 0;

    TGameArray() = default;
    TGameArray(const TGameArray&) = delete;
    TGameArray& operator=(const TGameArray&) = delete;

    T* begin() const { return Data; }
    T* end() const { return Data + ArrayNum; }
};

// An object's name as the game keeps it; only ever copied and handed back.
struct FName {
    int32_t ComparisonIndex;
    int32_t Number;
};
static_assert(sizeof(FName) == 8);

// A weak reference to a game object; only ever copied and handed back.
struct FWeakObjectPtr {
    int32_t ObjectIndex;
    int32_t ObjectSerialNumber;
};
static_assert(sizeof(FWeakObjectPtr) == 8);

struct FVector {
    float X;
    float Y;
    float Z;
};

// The record behind one chat line, exactly as the game's chat function takes it.
struct FChatMessageRecord {
    FString SenderName;
    FString SenderSteamName;
    FString SenderTribeName;
    int32_t SenderId = 0;
    FString Message;
    FString Receiver;
    int32_t SenderTeamIndex = 0;
    double ReceivedTime = -1.0;
    uint8_t SendMode = 0;
    int32_t RadioFrequency = 0;
    uint8_t ChatType = 0;
    void* SenderIcon = nullptr;
    FString UserId;
};
static_assert(sizeof(FChatMessageRecord) == 144);
static_assert(offsetof(FChatMessageRecord, SenderName) == 0);
static_assert(offsetof(FChatMessageRecord, SenderSteamName) == 16);
static_assert(offsetof(FChatMessageRecord, SenderTribeName) == 32);
static_assert(offsetof(FChatMessageRecord, SenderId) == 48);
static_assert(offsetof(FChatMessageRecord, Message) == 56);
static_assert(offsetof(FChatMessageRecord, Receiver) == 72);
static_assert(offsetof(FChatMessageRecord, SenderTeamIndex) == 88);
static_assert(offsetof(FChatMessageRecord, ReceivedTime) == 96);
static_assert(offsetof(FChatMessageRecord, SendMode) == 104);
static_assert(offsetof(FChatMessageRecord, RadioFrequency) == 108);
static_assert(offsetof(FChatMessageRecord, ChatType) == 112);
static_assert(offsetof(FChatMessageRecord, SenderIcon) == 120);
static_assert(offsetof(FChatMessageRecord, UserId) == 128);

// The request of an RCON command: its id, which the reply carries back, and
// its body, the command line as the client sent it.
struct RCONPacket {
    int Length;
    int Id;
    int Type;
    FString Body;
};
static_assert(offsetof(RCONPacket, Id) == 4);
static_assert(offsetof(RCONPacket, Body) == 16);

// A colour as 8-bit channels, in the game's blue-green-red-alpha order.
struct FColorBytes {
    uint8_t B;
    uint8_t G;
    uint8_t R;
    uint8_t A;
};

// A colour as the game's display functions take it: linear channels 0 to 1.
struct FColorLinear {
    float R;
    float G;
    float B;
    float A;
};

inline constexpr FColorBytes GreenColor{0, 255, 0, 255};

FColorLinear LinearColor(FColorBytes color);

// The instance name of a game object, as the game forms it.
FString ObjectName(const void* object);
