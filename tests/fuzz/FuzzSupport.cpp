#include "FuzzSupport.h"

#include <fcntl.h>
#include <sanitizer/allocator_interface.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace HeraldFuzz {

namespace fs = std::filesystem;

namespace {

fs::path& ConfigPath() {
    static fs::path path;
    return path;
}

fs::path ScratchRoot() {
    const fs::path shm = "/dev/shm";
    const fs::path base = fs::is_directory(shm) ? shm : fs::temp_directory_path();
    return base / ("herald-fuzz-" + std::to_string(::getpid()));
}

// The heap count: only blocks asked for and freed on the counting thread
// while it counts, so libFuzzer's own threads do not enter it. A block freed
// there that was asked for before the count began makes held smaller than it
// was; held is signed for that.
thread_local bool heapCounting = false;
thread_local long long heapHeld = 0;
thread_local long long heapPeak = 0;
thread_local std::size_t heapRequested = 0;

void CountAllocation(const volatile void* /*block*/, std::size_t size) {
    if (heapCounting) {
        heapHeld += static_cast<long long>(size);
        heapPeak = std::max(heapPeak, heapHeld);
        heapRequested += size;
    }
}

void CountRelease(const volatile void* block) {
    if (heapCounting && block != nullptr) {
        heapHeld -= static_cast<long long>(__sanitizer_get_allocated_size(block));
    }
}

}  // namespace

void StartHeapCount() {
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(CountAllocation, CountRelease) != 0;
    if (!installed) {
        Fail("the allocator took no hooks: heap use can't be counted");
    }
    heapHeld = heapPeak = 0;
    heapRequested = 0;
    heapCounting = true;
}

HeapUse StopHeapCount() {
    heapCounting = false;
    return {static_cast<std::size_t>(std::max(heapPeak, 0LL)), static_cast<std::size_t>(std::max(heapHeld, 0LL)),
            heapRequested};
}

void RequireHeapWithin(const HeapUse& heap, std::size_t inputSize, const HeapBudgets& budgets, std::string_view work) {
    static const bool print = std::getenv("HERALD_FUZZ_HEAP") != nullptr;
    const std::size_t working = heap.peak - heap.kept;
    if (print) {
        std::fprintf(stderr, "heap: %.*s, input %zu, working %zu, kept %zu, requested %zu\n",
                     static_cast<int>(work.size()), work.data(), inputSize, working, heap.kept, heap.requested);
    }
    const auto require = [&](std::size_t used, const HeapBudget& budget, const char* what) {
        const std::size_t most = budget.fixed + budget.perInputByte * inputSize + budget.perKeptByte * heap.kept;
        if (used > most) {
            Fail(std::string(work) + ": " + std::to_string(used) + " bytes " + what + " for an input of " +
                 std::to_string(inputSize) + " bytes, " + std::to_string(heap.kept) + " kept: more than the " +
                 std::to_string(most) + " it may cost");
        }
    };
    require(working, budgets.working, "held beyond what it returned");
    require(heap.kept, budgets.kept, "held by what it returned");
    require(heap.requested, budgets.requested, "asked of the allocator in all");
}

void Fail(std::string_view reason) {
    std::fprintf(stderr, "HERALD FUZZ FINDING: %.*s\n", static_cast<int>(reason.size()), reason.data());
    std::fflush(stderr);
    // An abort runs no destructor: the scratch directory goes first.
    std::error_code ignored;
    fs::remove_all(ScratchRoot(), ignored);
    std::abort();
}

void StartServer(std::initializer_list<const char*> players) {
    const fs::path root = ScratchRoot();
    const fs::path folder = root / "ArkApi" / "Plugins" / "SkyCrateHerald";
    fs::create_directories(folder);
    ConfigPath() = folder / "config.json";
    // The directory goes when the process ends, whichever way it ends normally.
    static const struct Cleanup {
        fs::path root;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(root, ignored);
        }
    } cleanup{root};
    StandIn::ResetServer();
    StandIn::SetServerDirectory(root.string());
    for (const char* player : players) {
        StandIn::ConnectPlayer(player);
    }
}

// Plain system calls: a file stream's buffer would be one more allocation
// on every input.
namespace {
std::string WrittenText;
}  // namespace

const std::string& WrittenConfigText() { return WrittenText; }

void WriteConfigText(std::string_view text) {
    WrittenText.assign(text);
    const int file = ::open(ConfigPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool written = file >= 0;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t count = ::write(file, text.data() + done, text.size() - done);
        written = count > 0;
        done += written ? static_cast<std::size_t>(count) : 0;
    }
    written = file >= 0 && ::close(file) == 0 && written;
    if (!written) {
        Fail("could not write " + ConfigPath().string());
    }
}

std::string ConfigFilePath() { return ConfigPath().string(); }

void RequireAllocatorClean(const char* when) {
    const StandIn::AllocatorStats& stats = StandIn::Allocator();
    if (stats.liveBlocks != 0 || stats.liveBytes != 0) {
        Fail(std::string(when) + ": game allocator still holds " + std::to_string(stats.liveBlocks) + " blocks");
    }
    if (!stats.faults.empty()) {
        Fail(std::string(when) + ": allocator fault: " + stats.faults.front());
    }
}

void RequireRecordsWellFormed() {
    for (const StandIn::Record& record : StandIn::Records()) {
        // A log line carries an error's text verbatim, and a parse error quotes
        // the file's own bytes: only what reaches players must be UTF-8.
        if (record.kind != StandIn::RecordKind::Log &&
            !(IsWellFormedUtf8(record.text) && IsWellFormedUtf8(record.sender))) {
            Fail("not UTF-8: " + StandIn::Describe(record));
        }
    }
}

std::size_t CountRecords(StandIn::RecordKind kind) {
    std::size_t count = 0;
    for (const StandIn::Record& record : StandIn::Records()) {
        count += record.kind == kind ? 1 : 0;
    }
    return count;
}

bool IsWellFormedUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::u16string Units(std::string_view bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return units;
}

}  // namespace HeraldFuzz
