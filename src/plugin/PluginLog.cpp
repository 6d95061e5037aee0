#include "plugin/PluginLog.h"

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
    Holder()->set_pattern("%D %R [%n][%l] %v", spdlog::pattern_time_type::local);
    Holder()->flush_on(spdlog::level::info);
}

std::shared_ptr<spdlog::logger> Channel() { return Holder(); }

void WriteError(const std::string& text) {
    Holder()->log(spdlog::level::err, spdlog::string_view_t(text.data(), text.size()));
}

}  // namespace PluginLog
