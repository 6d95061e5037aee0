#pragma once
// What the fuzz targets share: a stand-in server in a scratch directory, the
// checks every input must pass, and a way to stop loudly when one fails.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "StandIn.h"

namespace HeraldFuzz {

// Stops the run with the reason; libFuzzer keeps the input as a crash.
// A reason built from the input costs an allocation or two on every call:
// where it does, test the condition first and call Fail only when it fails.
[[noreturn]] void Fail(std::string_view reason);
inline void Require(bool condition, std::string_view reason) {
    if (!condition) {
        Fail(reason);
    }
}

// A fresh stand-in server in its own directory (on tmpfs when there is one),
// with the plugin's folder made and the given players connected.
void StartServer(std::initializer_list<const char*> players);
void WriteConfigText(std::string_view text);
// What WriteConfigText wrote last.
const std::string& WrittenConfigText();
std::string ConfigFilePath();

// The game allocator holds no live block and saw no bad free.
void RequireAllocatorClean(const char* when);

// Every text delivered to a player or an RCON client is well-formed UTF-8.
void RequireRecordsWellFormed();

std::size_t CountRecords(StandIn::RecordKind kind);

// What the heap did while a piece of work ran, counted by the sanitizer's
// allocator hooks on the calling thread: the most the work held at once, what
// it still held at its end (what it returned), and every byte it asked for,
// freed or not, which grows with the copying it does.
struct HeapUse {
    std::size_t peak = 0;
    std::size_t kept = 0;
    std::size_t requested = 0;
};
void StartHeapCount();
HeapUse StopHeapCount();
template <typename Work>
HeapUse MeasureHeap(Work&& work) {
    StartHeapCount();
    work();
    return StopHeapCount();
}

// What a piece of work may cost for an input: for each measure of HeapUse, a
// fixed part, a part per byte of input and a part per byte the work returned.
// Budgets of this form hold a cost to linear growth in the input and the
// output; the output must be bounded by its own budget.
struct HeapBudget {
    std::size_t fixed;
    std::size_t perInputByte;
    std::size_t perKeptByte;
};
struct HeapBudgets {
    HeapBudget working;  // the peak beyond what was returned
    HeapBudget kept;
    HeapBudget requested;
};
// Fails when a measure is over its budget. With HERALD_FUZZ_HEAP set in the
// environment it prints the measures of every input too, to set budgets by.
void RequireHeapWithin(const HeapUse& heap, std::size_t inputSize, const HeapBudgets& budgets, std::string_view work);

// Bytes read as the game's 16-bit text, two to a unit (low byte first): lone
// surrogates and zeros included. An odd last byte is dropped.
std::u16string Units(std::string_view bytes);

// Well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing beyond U+10FFFF, nothing cut short.
bool IsWellFormedUtf8(std::string_view text);

}  // namespace HeraldFuzz
