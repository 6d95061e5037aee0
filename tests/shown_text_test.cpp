// Text that is not UTF-8 as herald shows it and as the game decodes it: the
// same, one U+FFFD for each byte that is not part of a character, so that a
// preview never shows a text that players would not see.

#include <string>
#include <vector>

#include "Support.h"
#include "check/Check.h"
#include "common/Output.h"
#include "game/ArkApi.h"
#include "game/GameTypes.h"

namespace {

using HeraldTest::ServerTest;

class ShownTextTest : public ServerTest {};

const std::string R = "\xEF\xBF\xBD";

struct ShownCase {
    std::string label;
    std::string bytes;
    std::string shown;
};

std::string Repeated(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

std::vector<ShownCase> ShownCases() {
    std::vector<ShownCase> cases = {
        {"ASCII", "Crate at 50.0 / 50.0", "Crate at 50.0 / 50.0"},
        {"empty", "", ""},
        {"a zero byte is kept", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"characters of two, three and four bytes", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
         "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"the smallest character of each length", "\xC2\x80|\xE0\xA0\x80|\xF0\x90\x80\x80",
         "\xC2\x80|\xE0\xA0\x80|\xF0\x90\x80\x80"},
        {"the largest character of each length", "\xDF\xBF|\xEF\xBF\xBF|\xF4\x8F\xBF\xBF",
         "\xDF\xBF|\xEF\xBF\xBF|\xF4\x8F\xBF\xBF"},
        {"the characters either side of the surrogates", "\xED\x9F\xBF|\xEE\x80\x80", "\xED\x9F\xBF|\xEE\x80\x80"},
        {"a U+FFFD written in the text stays one", "a" + R + "b", "a" + R + "b"},
        {"a stray continuation byte",
         "a\x80"
         "b",
         "a" + R + "b"},
        {"continuation bytes in a row, one each", "\x80\xBF\x9F", R + R + R},
        {"three-byte sequence cut short by a letter, one per byte",
         "Th\xE2\x82"
         "A",
         "Th" + R + R + "A"},
        {"two-byte lead at the end", "caf\xC3", "caf" + R},
        {"three-byte sequence cut short at the end", "\xE2\x82", R + R},
        {"four-byte sequence cut short at the end", "x\xF0\x9F\x98", "x" + R + R + R},
        {"four-byte sequence cut short by a space", "\xF0\x9F\x98 !", R + R + R + " !"},
        {"a lead byte cut short by another sequence", "\xE2\xC3\xA9", R + "\xC3\xA9"},
        {"overlong two-byte forms", "\xC0\x80|\xC1\xBF", R + R + "|" + R + R},
        {"overlong three-byte form", "\xE0\x80\xAF", R + R + R},
        {"overlong three-byte form of the last two-byte character", "\xE0\x9F\xBF", R + R + R},
        {"overlong four-byte form", "\xF0\x80\x80\xAF", Repeated(R, 4)},
        {"overlong four-byte form of U+FFFF", "\xF0\x8F\xBF\xBF", Repeated(R, 4)},
        {"a high surrogate encoded", "\xED\xA0\x80", Repeated(R, 3)},
        {"a low surrogate encoded", "\xED\xBF\xBF", Repeated(R, 3)},
        {"a surrogate pair encoded half by half", "\xED\xA0\xBD\xED\xB8\x80", Repeated(R, 6)},
        {"a valid four-byte form beyond U+10FFFF", "\xF4\x90\x80\x80", Repeated(R, 4)},
        {"the four-byte leads F5 to F7", "\xF5\x80\x80\x80|\xF7\xBF\xBF\xBF", Repeated(R, 4) + "|" + Repeated(R, 4)},
        {"a five-byte form", "\xF8\x88\x80\x80\x80", Repeated(R, 5)},
        {"a six-byte form", "\xFC\x84\x80\x80\x80\x80", Repeated(R, 6)},
        {"FE and FF", "\xFE\xFF", R + R},
        {"valid text around what is not", "\xC3\xA9\xFF\xE2\x82\xAC", "\xC3\xA9" + R + "\xE2\x82\xAC"},
    };
    // Every byte beyond ASCII, alone and before a letter, is one U+FFFD.
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string alone(1, static_cast<char>(byte));
        cases.push_back({"byte " + std::to_string(byte) + " alone", alone, R});
        cases.push_back({"byte " + std::to_string(byte) + " before a letter", alone + "z", R + "z"});
    }
    return cases;
}

TEST_F(ShownTextTest, HeraldShowsTextAsTheGameDecodesIt) {
    for (const ShownCase& c : ShownCases()) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Herald::ValidUtf8(c.bytes), c.shown) << "herald";
        EXPECT_EQ(StandIn::Utf8(ArkApi::Tools::Utf8Decode(c.bytes)), c.shown) << "the framework's decoding";
        // The game's text ends at its first zero, which the decoding keeps.
        if (c.bytes.find('\0') == std::string::npos) {
            EXPECT_EQ(FString::FromUtf8(c.bytes).ToUtf8(), c.shown) << "the game's text made from it";
        }
        EXPECT_EQ(Herald::JsonString(c.bytes), nlohmann::json(c.shown).dump()) << "a JSON line's text";
        const nlohmann::ordered_json written = {{c.bytes, nlohmann::json::array({c.bytes, 1})}};
        const nlohmann::ordered_json shown = {{c.shown, nlohmann::json::array({c.shown, 1})}};
        EXPECT_EQ(Herald::CompactJson(written), shown.dump()) << "a JSON line's keys and values";
    }
}

// check quotes the bytes the JSON library last read where a file can't be
// parsed, which may be the start of a character cut short by the error.
TEST(ShownText, CheckQuotesAFileThatIsNotUtf8AsTheGameWouldReadIt) {
    const HeraldTest::ScratchFolder scratch;
    const struct {
        const char* label;
        std::string config;
        std::string quoted;
    } cases[] = {
        {"a three-byte character cut short in a key", "{\"Items\": {\"Caf\xE2\x82\": {}}}",
         "last read: '\"Caf" + R + R + "\"'"},
        {"a four-byte character cut short in a text", "{\"Notes\": \"x\xF0\x9F\x98!\"}",
         "last read: '\"x" + R + R + R + "!'"},
        {"a stray continuation byte", "{\"Notes\": \"x\x80\"}", "last read: '\"x" + R + "'"},
        {"an encoded surrogate", "{\"Notes\": \"\xED\xA0\x80\"}", "last read: '\"" + R + R + "'"},
    };
    for (const auto& c : cases) {
        const std::vector<Herald::Finding> findings = Herald::CheckConfigFile(scratch.Write("config.json", c.config));
        ASSERT_EQ(findings.size(), 1u) << c.label;
        EXPECT_THAT(findings[0].message, ::testing::HasSubstr(c.quoted)) << c.label;
    }
}

}  // namespace
