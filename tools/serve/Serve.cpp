#include "serve/Serve.h"

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "run/Play.h"
#include "serve/PageServer.h"

namespace Herald {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The file is polled, not watched through the system's notifications: one
// way on Linux and Windows alike, and it sees the file behind its name, which
// an editor's write-then-rename replaces. A poll costs one stat.
constexpr auto PollInterval = std::chrono::milliseconds(20);
// A save is previewed once the file has been still this long: an editor's
// save in several steps (move the old file aside, write, rename) lands once.
constexpr auto QuietInterval = std::chrono::milliseconds(100);

// What a poll compares: a save changes the modification time, whose
// resolution is far below a poll on the file systems an admin edits on.
struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    fs::file_time_type written{};
    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path) {
    std::error_code error;
    FileStamp stamp;
    stamp.written = fs::last_write_time(path, error);
    stamp.exists = !error;
    stamp.size = stamp.exists ? fs::file_size(path, error) : 0;
    return stamp;
}

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void RequestStop(int signal) { stopSignal = signal; }

constexpr int StopSignals[] = {SIGINT, SIGTERM};

// While serving, Ctrl-C asks the watcher to stop the server first; during a
// preview the preview's own handling removes its folders and ends herald.
struct StopOnSignal {
    using Handler = void (*)(int);
    Handler previous[std::size(StopSignals)] = {};
    StopOnSignal() {
        stopSignal = 0;
        for (std::size_t i = 0; i < std::size(StopSignals); ++i) {
            previous[i] = std::signal(StopSignals[i], RequestStop);
        }
    }
    ~StopOnSignal() {
        for (std::size_t i = 0; i < std::size(StopSignals); ++i) {
            std::signal(StopSignals[i], previous[i]);
        }
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;
};

std::string ClockTime() {
    const std::time_t now = std::time(nullptr);
    char text[16] = "";
    std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&now));
    return text;
}

// One preview: its text under a rule, its page to every open page.
bool PreviewOnce(const ServeOptions& options, PageServer& server, std::uint64_t saves, std::ostream& out) {
    out << "\n==== " << ClockTime() << " herald preview " << options.preview.configPath << " ====\n";
    PagePreview preview = PreviewToPage(options.preview, out);
    PublishPage(server, std::move(preview.html), saves);
#if defined(__GLIBC__)
    // A preview of a big file leaves the heap full of free pages among the
    // few still used; glibc keeps them unless asked, and a watcher left
    // running for hours would hold the most any preview ever needed.
    malloc_trim(0);
#endif
    return static_cast<bool>(out.flush());
}

// Polls the file until a stop is asked for; a change previews it again once
// the file has been still for QuietInterval.
bool Watch(const ServeOptions& options, PageServer& server, std::ostream& out) {
    FileStamp stamp = StampOf(options.preview.configPath);
    std::uint64_t saves = 0;
    if (!PreviewOnce(options, server, saves, out)) {
        return false;
    }
    AcceptPages(server);
    bool due = false;  // a change seen, not yet previewed
    Clock::time_point changed;
    while (stopSignal == 0) {
        std::this_thread::sleep_for(PollInterval);
        const FileStamp now = StampOf(options.preview.configPath);
        if (now != stamp) {
            stamp = now;
            if (!due) {
                saves = PublishSave(server);
            }
            due = true;
            changed = Clock::now();
        } else if (due && Clock::now() - changed >= QuietInterval) {
            due = false;
            if (!PreviewOnce(options, server, saves, out)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int ServeCommand(const ServeOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code error;
    if (!fs::exists(options.preview.configPath, error)) {
        err << "herald: " << options.preview.configPath << ": no such file\n";
        return 2;
    }
    const StopOnSignal stop;
    PageServerHandle server = StartPageServer(options.port);
    if (!server) {
        err << "herald: can't listen on 127.0.0.1:" << options.port
            << ": the port is in use or not allowed (--port picks another, --port 0 a free one)\n";
        return 2;
    }
    out << "Serving the preview of " << options.preview.configPath << " on http://127.0.0.1:" << ServerPort(*server)
        << "/ (Ctrl-C stops)" << std::endl;
    bool written = false;
    try {
        written = Watch(options, *server, out);
    } catch (const OutputClosed&) {
    }
    server.reset();
    if (!written) {
        err << "herald: the preview can't be written any more (its output was closed)\n";
        return 2;
    }
    // Ended by the signal, as herald is everywhere else.
    const int signal = stopSignal;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return 128 + signal;
}

}  // namespace Herald
