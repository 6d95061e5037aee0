#pragma once
// The herald program of this build started as a process of its own, as an
// admin's shell starts it. POSIX only: the Windows tests run herald.exe from
// the unpacked tools archive instead (scripts/test-windows.sh).

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Support.h"

namespace HeraldTest {

// All that a descriptor gives until its end.
std::string ReadAll(int fd);

// herald with these arguments, its standard output and standard error on
// pipes that the test reads (or doesn't), its signals at their defaults and,
// when one is given, its own TMPDIR. Destruction kills it if it still runs.
struct HeraldProcess {
    pid_t pid = -1;
    int out = -1;  // the test's ends of the pipes
    int err = -1;

    explicit HeraldProcess(const std::vector<std::string>& arguments, const std::filesystem::path& tmpdir = {});
    ~HeraldProcess();
    HeraldProcess(const HeraldProcess&) = delete;
    HeraldProcess& operator=(const HeraldProcess&) = delete;

    // As a reader that goes away (`herald ... | head -c 1`).
    void CloseOutput();
    // The wait status, or -1 when herald is still running after 30 s.
    int Wait();
    // Reads both outputs until herald closes them, for 30 s at most, then
    // waits for its end; a herald that hangs is left to the destructor and
    // gives status -1.
    Outcome Finish();
};

// herald run to its end, its output read all along.
Outcome RunHeraldProgram(const std::vector<std::string>& arguments, const std::filesystem::path& tmpdir = {});

}  // namespace HeraldTest
