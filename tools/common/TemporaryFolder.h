#pragma once
// herald's temporary folders (run's server folder, preview's scenario files),
// removed on every way out: by the destructor when a command ends, fails or
// throws, and by a signal handler when SIGINT, SIGTERM or SIGHUP ends herald
// while a SignalCleanup is in force.

#include <filesystem>
#include <stdexcept>
#include <string>

namespace Herald {

// Something in the way of a temporary folder: the input is not to blame, but
// nothing ran either.
struct TemporaryFolderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The signal handling in force while temporary folders may exist; what was
// there before comes back afterwards, so these nest. A signal that was ignored
// stays ignored (herald in the background under nohup). SIGPIPE is ignored
// meanwhile: a write to a closed output fails instead of killing herald with
// its folders left behind.
class SignalCleanup {
public:
    SignalCleanup();
    ~SignalCleanup();
    SignalCleanup(const SignalCleanup&) = delete;
    SignalCleanup& operator=(const SignalCleanup&) = delete;

private:
    using Handler = void (*)(int);
    Handler previous_[4] = {};
};

// A fresh folder PREFIX-XXXXXX under the folder for temporary files, removed
// with everything in it by the destructor. A signal handler may only make
// plain system calls, so on a signal it removes what Holds declared, in that
// order, then the folder: declare everything made inside, deepest first.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix);  // throws TemporaryFolderError
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    void Holds(const std::filesystem::path& path, bool folder);

private:
    std::size_t slot_;
    std::filesystem::path root_;
};

}  // namespace Herald
