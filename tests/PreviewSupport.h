#pragma once
// What the tests of herald's command line and its preview share: herald run
// in this process, and the parts of what preview prints.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "Support.h"

namespace PreviewTest {

// The example config.json of the source tree.
inline const std::string ExampleConfig = (HeraldTest::Source / "examples" / "config.json").string();

// herald's command line with these arguments, in this process.
HeraldTest::Outcome RunHerald(const std::vector<std::string>& arguments);

// `herald preview FILE ARGUMENTS... --plugin` the built plugin.
HeraldTest::Outcome Preview(const std::string& file, std::vector<std::string> arguments = {});

// Each line of the text read as JSON.
std::vector<nlohmann::json> JsonLines(const std::string& text);

// The lines of the preview's section that starts with heading, up to the
// blank line after it; none without the section.
std::vector<std::string> SectionLines(const std::string& text, std::string_view heading);

// The transcript part of `preview --json`: the lines after check's findings,
// the silent entries and the groups.
std::vector<nlohmann::json> TranscriptLines(const std::string& out);

// The texts of the transcript's notifications, each of which must have gone
// to the preview's one player.
std::vector<std::string> NotificationTexts(const std::vector<nlohmann::json>& transcript);

}  // namespace PreviewTest
