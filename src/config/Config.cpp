#include "config/Config.h"

#include <fstream>
#include <stdexcept>

#include "game/ArkApi.h"
#include "plugin/PluginName.h"

nlohmann::json PluginConfig;

void ReadConfig() {
    const std::string path =
        ArkApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/" + PluginName + "/config.json";
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        throw std::runtime_error("Can't open config.json");
    }
    // One value from the start of the file; what follows it is not examined.
    nlohmann::json document;
    file >> document;
    PluginConfig = std::move(document);
}

const nlohmann::json& Member(const nlohmann::json& container, std::string_view key) {
    static const nlohmann::json absent;
    if (container.is_object()) {
        const auto found = container.find(key);
        return found == container.end() ? absent : *found;
    }
    if (container.is_null()) {
        return absent;
    }
    return container[std::string(key)];
}
