#include "Processes.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace HeraldTest {

std::string ReadAll(int fd) {
    std::string text;
    char buffer[1 << 16];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

HeraldProcess::HeraldProcess(const std::vector<std::string>& arguments, const std::filesystem::path& tmpdir) {
    // Everything the child needs is made before the fork: after it, only
    // calls that are safe in a copy of a threaded process.
    std::vector<std::string> words = {HeraldProgram.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (tmpdir.empty() || std::strncmp(*variable, "TMPDIR=", 7) != 0) {
            environment.emplace_back(*variable);
        }
    }
    if (!tmpdir.empty()) {
        environment.push_back("TMPDIR=" + tmpdir.string());
    }
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    for (std::string& variable : environment) {
        envp.push_back(variable.data());
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
        return;
    }
    pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        for (const int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
            ::close(fd);
        }
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            ::signal(signal, SIG_DFL);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    out = outPipe[0];
    err = errPipe[0];
}

HeraldProcess::~HeraldProcess() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    CloseOutput();
    if (err >= 0) {
        ::close(err);
    }
}

void HeraldProcess::CloseOutput() {
    if (out >= 0) {
        ::close(out);
        out = -1;
    }
}

int HeraldProcess::Wait() {
    for (int waited = 0; pid > 0 && waited < 3000; ++waited) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

Outcome HeraldProcess::Finish() {
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    pollfd outputs[] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* texts[] = {&outcome.out, &outcome.err};
    while ((outputs[0].fd >= 0 || outputs[1].fd >= 0) && std::chrono::steady_clock::now() < deadline) {
        if (::poll(outputs, 2, 100) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (outputs[i].fd >= 0 && outputs[i].revents != 0) {
                char buffer[4096];
                const ssize_t got = ::read(outputs[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    texts[i]->append(buffer, static_cast<std::size_t>(got));
                } else {
                    outputs[i].fd = -1;
                }
            }
        }
    }
    if (outputs[0].fd >= 0 || outputs[1].fd >= 0) {
        return outcome;
    }
    const int status = Wait();
    outcome.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

Outcome RunHeraldProgram(const std::vector<std::string>& arguments, const std::filesystem::path& tmpdir) {
    return HeraldProcess(arguments, tmpdir).Finish();
}

}  // namespace HeraldTest
