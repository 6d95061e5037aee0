#pragma once
// The plugin's log channel: one spdlog logger over the host's shared sinks,
// kept out of spdlog's registry so only the plugin holds it.

#include <exception>
#include <memory>
#include <string>

// Declared only: what includes this header writes through WriteError, and
// spdlog's own headers (header-only in some builds) stay with PluginLog.cpp.
namespace spdlog {
class logger;
}

namespace PluginLog {

void Open(const char* name);
std::shared_ptr<spdlog::logger> Channel();

// One error line carrying text exactly as given (braces and other format
// characters are written, never interpreted), cut as CutErrorText cuts it
// when it is longer than ErrorTextLimit.
void WriteError(const std::string& text);
// The same, as a warning: something was lost, and the plugin goes on.
void WriteWarning(const std::string& text);

}  // namespace PluginLog

// Runs the plugin's own work inside a call from the game: whatever it raises
// ends here as one error line (a standard error's text) or silently (anything
// else), and never reaches the game.
template <typename Work>
void RunLogged(Work&& work) noexcept {
    try {
        work();
    } catch (const std::exception& error) {
        try {
            PluginLog::WriteError(error.what());
        } catch (...) {
        }
    } catch (...) {
    }
}
