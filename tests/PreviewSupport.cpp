#include "PreviewSupport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/CommandLine.h"

namespace PreviewTest {

namespace {

using HeraldTest::Lines;
using HeraldTest::Outcome;
using Json = nlohmann::json;

// The lines of preview's own between check's findings and the transcript.
bool PreviewsOwn(const Json& line) {
    const std::string type = line.value("type", "");
    return type == "silent" || type == "players" || type == "group" || type == "cooldown" || type == "discord" ||
           type == "relay";
}

}  // namespace

Outcome RunHerald(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    Outcome outcome;
    outcome.status = Herald::HeraldMain(arguments, out, err);
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
}
Outcome Preview(const std::string& file, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"preview", file});
    arguments.insert(arguments.end(), {"--plugin", HeraldTest::PluginPath});
    return RunHerald(arguments);
}
std::vector<Json> JsonLines(const std::string& text) {
    std::vector<Json> lines;
    for (const std::string& line : Lines(text)) {
        lines.push_back(Json::parse(line));
    }
    return lines;
}

std::vector<std::string> SectionLines(const std::string& text, std::string_view heading) {
    const std::size_t from = text.find("\n" + std::string(heading));
    if (from == std::string::npos) {
        return {};
    }
    return Lines(text.substr(from + 1, text.find("\n\n", from) - from - 1));
}

std::vector<Json> TranscriptLines(const std::string& out) {
    std::vector<Json> transcript;
    for (const Json& line : JsonLines(out)) {
        if (line.contains("type") && !PreviewsOwn(line)) {
            transcript.push_back(line);
        }
    }
    return transcript;
}

std::vector<std::string> NotificationTexts(const std::vector<Json>& transcript) {
    std::vector<std::string> texts;
    for (const Json& line : transcript) {
        if (line["type"] == "notification") {
            EXPECT_EQ(line["player"], "Survivor");
            texts.push_back(line["text"]);
        }
    }
    return texts;
}

}  // namespace PreviewTest
