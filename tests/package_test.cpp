// What an administrator installs: the example configuration that ships in the
// archive, the library as it loads and refuses to load, and the unpacked
// archive itself when scripts/test-windows.sh points HERALD_PACKAGE_DIR at it.

#include <spdlog/logger.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Support.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const fs::path ExampleConfig = fs::path(HERALD_SOURCE_DIR) / "examples" / "config.json";

using HeraldTest::SpawnCrate;

class PackageTest : public HeraldTest::ServerTest {};

TEST_F(PackageTest, TheShippedExampleConfigLoadsAndAnnouncesACrate) {
    fs::copy_file(ExampleConfig, server.ConfigPath(), fs::copy_options::overwrite_existing);
    StandIn::ConnectPlayer("Alice");
    LoadPlugin();
    SpawnCrate(u"SupplyCrate_Level03_C_5");
    EXPECT_THAT(Transcript(),
                ElementsAre(HasSubstr("notification Alice \"White supply crate (level 3) dropped at 50.0 / 50.0\"")));
}

// A refused library must be let go entirely (on Windows the system unloads it
// after DllMain says FALSE), so that the admin's second try starts afresh.
TEST_F(PackageTest, ARefusedPluginLoadsOnceItsConfigIsInPlace) {
    const StandIn::LoadResult refused = StandIn::LoadPlugin(HeraldTest::PluginPath);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "Can't open config.json");
    EXPECT_FALSE(StandIn::PluginLoaded());
    EXPECT_THAT(Transcript(), ElementsAre("log SkyCrateHerald error \"Can't open config.json\""));
    EXPECT_THAT(StandIn::HostCalls(), ElementsAre("GetLogSinks", "GetCurrentDir"))
        << "a refused plugin withdraws nothing it never registered";

    server.WriteConfig({{"Items", {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", "{Name}"}}}}}}}});
    StandIn::ClearRecords();
    StandIn::ConnectPlayer("Alice");
    LoadPlugin();
    SpawnCrate(u"SupplyCrate_Level03_C_1");
    EXPECT_THAT(Transcript(), ElementsAre(HasSubstr("notification Alice \"SupplyCrate_Level03_C\"")));
    StandIn::ClearRecords();
    EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", 7));
    EXPECT_THAT(Transcript(), ElementsAre(HasSubstr("Reloaded config")));
}

// The plugin's log channel writes to the host's shared sinks, which other
// plugins and the framework keep using after this library is gone.
TEST_F(PackageTest, TheHostsLogSinksOutliveThePlugin) {
    server.WriteConfig({{"Items", nlohmann::json::object()}});
    LoadPlugin();
    StandIn::UnloadPlugin();
    StandIn::ClearRecords();

    std::vector<spdlog::sink_ptr>& sinks = GetLogSinks();
    spdlog::logger framework("ArkApi", sinks.begin(), sinks.end());
    framework.error("still logging");
    ASSERT_EQ(StandIn::Records().size(), 1u);
    EXPECT_EQ(StandIn::Records()[0].text, "still logging");
    EXPECT_THAT(StandIn::Records()[0].line, HasSubstr("still logging"));
}

// The archive as unpacked into a server folder: the packaged library, with the
// packaged config.json beside it, is what loads.
TEST_F(PackageTest, TheUnpackedArchiveRunsOnAServer) {
    const char* unpacked = std::getenv("HERALD_PACKAGE_DIR");
    if (unpacked == nullptr) {
        GTEST_SKIP() << "HERALD_PACKAGE_DIR not set: scripts/test-windows.sh runs this on the unpacked archive";
    }
    const fs::path root = unpacked;
    const fs::path library = root / "ArkApi" / "Plugins" / "SkyCrateHerald" / "SkyCrateHerald.dll";
    ASSERT_TRUE(fs::exists(library)) << library;
    StandIn::SetServerDirectory(root.string());
    StandIn::ConnectPlayer("Alice");
    const StandIn::LoadResult result = StandIn::LoadPlugin(library.string());
    ASSERT_TRUE(result.ok) << result.error;
    SpawnCrate(u"SupplyCrate_Level03_C_5");
    EXPECT_THAT(Transcript(),
                ElementsAre(HasSubstr("notification Alice \"White supply crate (level 3) dropped at 50.0 / 50.0\"")));
}

}  // namespace
