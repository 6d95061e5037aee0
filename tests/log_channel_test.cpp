// The plugin's lines in the server's log: when it writes one, how the line
// reads, that message texts are never taken as format strings, and which of
// the host's sinks see them.

#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Support.h"
#include "plugin/PluginLog.h"

using ::testing::IsEmpty;

namespace {

using HeraldTest::ServerTest;

const nlohmann::json WorkingConfig = {{"EnableNests", false}, {"Items", nlohmann::json::object()}};

// "MM/DD/YY HH:MM " in local time, then the channel's name and level. Checked
// by hand: GoogleTest's regular expressions differ between platforms.
constexpr std::size_t LinePrefixLength = 15 + 24;

MATCHER(StartsWithLinePrefix, "starts with \"MM/DD/YY HH:MM [SkyCrateHerald][error] \"") {
    const std::string& line = arg;
    const std::string shape = "00/00/00 00:00 ";
    if (line.size() < LinePrefixLength) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == '0' ? !digit : line[i] != shape[i]) {
            return false;
        }
    }
    return line.compare(shape.size(), 24, "[SkyCrateHerald][error] ") == 0;
}

std::vector<StandIn::Record> LogRecords() {
    std::vector<StandIn::Record> lines;
    for (const StandIn::Record& record : StandIn::Records()) {
        if (record.kind == StandIn::RecordKind::Log) {
            lines.push_back(record);
        }
    }
    return lines;
}

// One error line of the plugin's channel carrying exactly this message.
void ExpectErrorLine(const StandIn::Record& record, const std::string& message) {
    EXPECT_EQ(record.kind, StandIn::RecordKind::Log);
    EXPECT_EQ(record.logger, "SkyCrateHerald");
    EXPECT_EQ(record.level, "error");
    EXPECT_EQ(record.text, message);
    EXPECT_THAT(record.line, StartsWithLinePrefix());
    EXPECT_EQ(record.line.size(), LinePrefixLength + message.size()) << record.line;
    EXPECT_TRUE(record.line.ends_with(message)) << record.line;
}

// The JSON library's own complaint about a text, as a read of config.json gives it.
std::string ParseErrorOf(const std::string& text) {
    std::istringstream stream(text);
    nlohmann::json document;
    try {
        stream >> document;
    } catch (const nlohmann::json::parse_error& error) {
        return error.what();
    }
    ADD_FAILURE() << "the text parsed: " << text;
    return {};
}

// A sink of the test's own in the host's shared list, removed again at the end.
class ExtraSink {
public:
    ExtraSink() : sink_(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(8)) { GetLogSinks().push_back(sink_); }
    ~ExtraSink() {
        auto& sinks = GetLogSinks();
        sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
    }
    ExtraSink(const ExtraSink&) = delete;
    ExtraSink& operator=(const ExtraSink&) = delete;
    std::vector<std::string> Lines() const { return sink_->last_formatted(); }

private:
    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink_;
};

class LogChannelTest : public ServerTest {};

// ---- Through the loaded plugin ----------------------------------------------

TEST_F(LogChannelTest, LoadWithoutConfigWritesOneFlushedErrorLine) {
    const StandIn::LoadResult result = StandIn::LoadPlugin(HeraldTest::PluginPath);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Can't open config.json");
    EXPECT_FALSE(StandIn::PluginLoaded());

    ASSERT_EQ(StandIn::Records().size(), 1u) << ::testing::PrintToString(Transcript());
    const StandIn::Record& line = StandIn::Records()[0];
    ExpectErrorLine(line, "Can't open config.json");
    EXPECT_THAT(line.line, StartsWithLinePrefix());
    EXPECT_EQ(line.line.substr(LinePrefixLength), "Can't open config.json");
    EXPECT_GT(StandIn::LogFlushes(), 0u) << "the line is flushed at once";
}

TEST_F(LogChannelTest, SuccessfulLoadAndReloadWriteNothing) {
    server.WriteConfig(WorkingConfig);
    LoadPlugin();
    ASSERT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", 3));
    const std::string admin = "Admin";
    StandIn::ConnectPlayer(admin, true);
    ASSERT_TRUE(StandIn::ConsoleCommand(&admin, "SkyCrateHerald.Reload"));
    EXPECT_THAT(LogRecords(), IsEmpty());
    EXPECT_EQ(StandIn::LogFlushes(), 0u);
}

TEST_F(LogChannelTest, ParseErrorsWithBracesAreLoggedVerbatimOnReload) {
    const std::string texts[] = {
        "\"{0} {:d} {}\n\"",           // message quotes the string read so far, format fields and all
        "{\"EnableNests\": 1 /* */}",  // "... expected '}'"
        "",                            // "... expected '[', '{', or a literal"
    };
    server.WriteConfig(WorkingConfig);
    LoadPlugin();
    int id = 10;
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const std::string message = ParseErrorOf(text);
        ASSERT_TRUE(message.find_first_of("{}") != std::string::npos) << message;
        StandIn::ClearRecords();
        server.WriteConfigText(text);
        ASSERT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", ++id));
        // Over RCON the error is logged first, then answered with the same text.
        ASSERT_EQ(StandIn::Records().size(), 2u) << ::testing::PrintToString(Transcript());
        ExpectErrorLine(StandIn::Records()[0], message);
        EXPECT_EQ(StandIn::Records()[1].kind, StandIn::RecordKind::RconReply);
        EXPECT_EQ(StandIn::Records()[1].text, message);
    }
}

TEST_F(LogChannelTest, SinksAddedAfterLoadDoNotSeeThePluginsLines) {
    server.WriteConfig(WorkingConfig);
    const ExtraSink before;
    LoadPlugin();
    const ExtraSink after;
    server.DeleteConfig();
    ASSERT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", 1));

    ASSERT_EQ(LogRecords().size(), 1u);
    ExpectErrorLine(LogRecords()[0], "Can't open config.json");
    ASSERT_EQ(before.Lines().size(), 1u) << "a sink the host held at load receives the line";
    EXPECT_THAT(before.Lines()[0], StartsWithLinePrefix());
    EXPECT_THAT(after.Lines(), IsEmpty());
}

// ---- The channel itself, linked in ----------------------------------------------

class PluginLogTest : public ServerTest {
protected:
    void SetUp() override { PluginLog::Open("SkyCrateHerald"); }
};

TEST_F(PluginLogTest, ChannelIsPrivateAndFlushesEveryLine) {
    const std::shared_ptr<spdlog::logger> channel = PluginLog::Channel();
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(PluginLog::Channel(), channel) << "the held channel, not a new one";
    EXPECT_EQ(channel->name(), "SkyCrateHerald");
    EXPECT_EQ(channel->level(), spdlog::level::info);
    EXPECT_EQ(channel->flush_level(), spdlog::level::info);
    EXPECT_EQ(spdlog::get("SkyCrateHerald"), nullptr) << "kept out of spdlog's registry";
    EXPECT_EQ(channel->sinks(), GetLogSinks()) << "the host's sinks, shared";
}

TEST_F(PluginLogTest, MessagesAreWrittenVerbatimNeverFormatted) {
    const std::vector<std::string> messages = {
        "{}", "{0}", "{:d}", "{", "}", "}{", "{{escaped}}", "100% done %v %n", "[json.exception.parse_error.101] '{'",
        "",
    };
    for (const std::string& message : messages) {
        SCOPED_TRACE(message);
        StandIn::ClearRecords();
        const std::size_t flushesBefore = StandIn::LogFlushes();
        EXPECT_NO_THROW(PluginLog::WriteError(message));
        ASSERT_EQ(StandIn::Records().size(), 1u);
        ExpectErrorLine(StandIn::Records()[0], message);
        EXPECT_GT(StandIn::LogFlushes(), flushesBefore);
    }
}

TEST_F(PluginLogTest, RunLoggedTurnsAStandardErrorIntoOneLineAndSwallowsTheRest) {
    bool ran = false;
    RunLogged([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_THAT(LogRecords(), IsEmpty()) << "work that succeeds logs nothing";

    RunLogged([] { throw std::runtime_error("Unknown game entry: {FName.ToString}"); });
    RunLogged([] { throw 42; });
    RunLogged([] { throw std::out_of_range("second"); });
    const std::vector<StandIn::Record> lines = LogRecords();
    ASSERT_EQ(lines.size(), 2u) << "nothing for an error outside the standard family";
    ExpectErrorLine(lines[0], "Unknown game entry: {FName.ToString}");
    ExpectErrorLine(lines[1], "second");
}

}  // namespace
