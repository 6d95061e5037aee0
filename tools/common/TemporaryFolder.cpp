#include "common/TemporaryFolder.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace Herald {

namespace {

namespace fs = std::filesystem;

// What the signal handler removes. A slot's paths are written before its
// count (or armed) says they are there, so the handler reads only whole ones.
// Four slots: preview's folder and run's inside it, with room to spare.
struct SignalSlot {
    std::string paths[8];
    bool folders[8] = {};
    volatile std::sig_atomic_t count = 0;
    std::string root;
    volatile std::sig_atomic_t armed = 0;
};
SignalSlot signalSlots[4];

void RemoveOnSignal(const char* path, bool folder) {
#if defined(_WIN32)
    folder ? _rmdir(path) : _unlink(path);
#else
    folder ? rmdir(path) : unlink(path);
#endif
}

extern "C" void RemoveFoldersAndStop(int signal) {
    for (const SignalSlot& slot : signalSlots) {
        if (slot.armed != 0) {
            for (std::sig_atomic_t i = 0; i < slot.count; ++i) {
                RemoveOnSignal(slot.paths[i].c_str(), slot.folders[i]);
            }
            RemoveOnSignal(slot.root.c_str(), true);
        }
    }
    // Ended by the signal, as without the handler.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

constexpr int CleanedSignals[] = {
    SIGINT,
    SIGTERM,
#if defined(SIGHUP)
    SIGHUP,
#endif
};

fs::path TemporaryBase() {
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error) {
        const char* named = std::getenv("TMPDIR");
        throw TemporaryFolderError("the folder for temporary files" +
                                   (named != nullptr ? " (TMPDIR=" + std::string(named) + ")" : std::string()) +
                                   " is missing or not a folder");
    }
    return base;
}

fs::path MakeFolder(const std::string& prefix) {
    const fs::path base = TemporaryBase();
#if defined(_WIN32)
    // _mktemp_s has only 26 names a process; a random name, made with
    // create_directory (which fails for a name that is taken), has no end.
    std::random_device entropy;
    std::mt19937_64 names((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
    std::error_code error;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << prefix << "-" << std::hex << names();
        if (fs::create_directory(base / name.str(), error)) {
            return base / name.str();
        }
    }
    throw TemporaryFolderError(base.string() + ": " + error.message());
#else
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw TemporaryFolderError(base.string() + ": " + std::generic_category().message(errno));
    }
    return pattern;
#endif
}

// The cleaned signals held back while a folder is made and armed: one that
// came between the two would end herald with a folder the handler doesn't
// know of. Held back, it arrives once the folder is armed, and removes it.
struct SignalsHeldBack {
#if defined(_WIN32)
    SignalsHeldBack() {}  // no signal masks: the window stays open there
#else
    sigset_t previous{};
    SignalsHeldBack() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : CleanedSignals) {
            sigaddset(&held, signal);
        }
        pthread_sigmask(SIG_BLOCK, &held, &previous);
    }
    ~SignalsHeldBack() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
#endif
    SignalsHeldBack(const SignalsHeldBack&) = delete;
    SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;
};

}  // namespace

SignalCleanup::SignalCleanup() {
    for (std::size_t i = 0; i < std::size(CleanedSignals); ++i) {
        previous_[i] = std::signal(CleanedSignals[i], RemoveFoldersAndStop);
        if (previous_[i] == SIG_IGN) {
            std::signal(CleanedSignals[i], SIG_IGN);
        }
    }
#if defined(SIGPIPE)
    previous_[3] = std::signal(SIGPIPE, SIG_IGN);
#endif
}

SignalCleanup::~SignalCleanup() {
#if defined(SIGPIPE)
    if (previous_[3] != SIG_ERR) {
        std::signal(SIGPIPE, previous_[3]);
    }
#endif
    for (std::size_t i = 0; i < std::size(CleanedSignals); ++i) {
        if (previous_[i] != SIG_ERR) {
            std::signal(CleanedSignals[i], previous_[i]);
        }
    }
}

TemporaryFolder::TemporaryFolder(const std::string& prefix) : slot_(std::size(signalSlots)) {
    for (std::size_t i = 0; i < std::size(signalSlots); ++i) {
        if (signalSlots[i].armed == 0) {
            slot_ = i;
            break;
        }
    }
    if (slot_ == std::size(signalSlots)) {
        throw TemporaryFolderError("more temporary folders at once than herald can remove on a signal");
    }
    const SignalsHeldBack heldBack;
    root_ = MakeFolder(prefix);
    SignalSlot& slot = signalSlots[slot_];
    slot.count = 0;
    slot.root = root_.string();
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.armed = 1;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    // Only now: a signal during the removal still finishes it.
    signalSlots[slot_].armed = 0;
}

void TemporaryFolder::Holds(const fs::path& path, bool folder) {
    SignalSlot& slot = signalSlots[slot_];
    if (static_cast<std::size_t>(slot.count) == std::size(slot.paths)) {
        throw TemporaryFolderError("more paths in a temporary folder than herald can remove on a signal");
    }
    slot.paths[slot.count] = path.string();
    slot.folders[slot.count] = folder;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.count = slot.count + 1;
}

}  // namespace Herald
