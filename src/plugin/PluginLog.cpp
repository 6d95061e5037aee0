#include "plugin/PluginLog.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/sink.h>

#include "config/ConfigLimits.h"
#include "game/ArkApi.h"

namespace PluginLog {

namespace {

// Built on first use, once, and so torn down before the state created
// earlier in the library's life.
std::shared_ptr<spdlog::logger>& Holder() {
    static std::shared_ptr<spdlog::logger> channel;
    return channel;
}

}  // namespace

void Open(const char* name) {
    const std::vector<spdlog::sink_ptr>& sinks = GetLogSinks();
    Holder() = std::make_shared<spdlog::logger>(name, sinks.begin(), sinks.end());
    // The pattern goes to each shared sink, which builds its formatter with its
    // own code (local time is the default): a formatter built by this library
    // would outlive it in the host's sinks once the plugin is unloaded.
    for (const spdlog::sink_ptr& sink : sinks) {
        sink->set_pattern("%D %R [%n][%l] %v");
    }
    Holder()->flush_on(spdlog::level::info);
}

std::shared_ptr<spdlog::logger> Channel() { return Holder(); }

void WriteError(const std::string& text) {
    const std::string line = CutErrorText(text);
    Holder()->log(spdlog::level::err, spdlog::string_view_t(line.data(), line.size()));
}

void WriteWarning(const std::string& text) {
    const std::string line = CutErrorText(text);
    Holder()->log(spdlog::level::warn, spdlog::string_view_t(line.data(), line.size()));
}

}  // namespace PluginLog
