// config.json as the plugin reads it: what a read accepts, what it refuses
// and what stays in force then, and the lookups the announcement code makes.

#include "config/Config.h"

#include "config/ConfigReaders.h"
#include "config/DeliveryValues.h"
#include "config/NearMisses.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Support.h"
#include "config/ConfigLimits.h"

using ::testing::StartsWith;
using Json = nlohmann::json;

namespace {

using HeraldTest::Nested;
using HeraldTest::ServerTest;

const Json PreviousDocument = {{"EnableNests", false}, {"Items", {{"SupplyCrate_Level03_C", {{"Name", "Crate"}}}}}};

class ConfigTest : public ServerTest {
protected:
    // Every case starts from a document read from disk, the way a reload meets it.
    void SetUp() override {
        PluginConfig = nullptr;
        server.WriteConfig(PreviousDocument);
        ReadConfig();
        ASSERT_EQ(PluginConfig, PreviousDocument);
    }
    void TearDown() override {
        PluginConfig = nullptr;
        ServerTest::TearDown();
    }
};

// Padding after the document: text after the first value is accepted unread,
// so only the file's size can refuse it.
std::string OfSize(std::string document, std::uintmax_t size) {
    document.resize(static_cast<std::size_t>(size), ' ');
    return document;
}

// What ReadConfig raised, or nothing when it accepted the file.
std::optional<std::string> ReadFailure() {
    try {
        ReadConfig();
    } catch (const std::exception& error) {
        return error.what();
    }
    return std::nullopt;
}

// ---- Reads that fail -------------------------------------------------------

struct RefusedFile {
    const char* label;
    std::optional<std::string> text;  // none: no file at all
    std::string error;                // the whole text, or its beginning when prefixOnly
    bool prefixOnly = false;
};

TEST_F(ConfigTest, RefusedFileRaisesAndLeavesThePreviousDocumentWhole) {
    const std::vector<RefusedFile> cases = {
        {"no file", std::nullopt, "Can't open config.json"},
        {"empty file", "",
         "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - "
         "unexpected end of input; expected '[', '{', or a literal"},
        // The document is built while it is read; the read must not leave this half in force.
        {"file ends after \"Items\":", R"({"EnableNests": true, "Items":)",
         "[json.exception.parse_error.101] parse error at line 1, column 31: syntax error while parsing value - "
         "unexpected end of input; expected '[', '{', or a literal"},
        {"block comment inside the document", R"({"EnableNests": true /* on */})",
         "[json.exception.parse_error.101] parse error at line 1, column 22: syntax error while parsing object - "
         "invalid literal; last read: '\"EnableNests\": true /'; expected '}'"},
        {"line comment before the document", "// announcements\n{\"EnableNests\": true}",
         "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - "
         "invalid literal; last read: '/'"},
        {"byte that is not UTF-8", "{\"Items\": {\"Caf\xE9\": {}}}", "[json.exception.parse_error.", true},
        {"truncated UTF-8 sequence", "{\"Name\": \"\xC3\"}", "[json.exception.parse_error.", true},
        {"byte-order mark of UTF-16", "\xFF\xFE{}", "[json.exception.parse_error.", true},
        {"one byte over the size limit", OfSize(R"({"EnableNests": true})", ConfigFileSizeLimit + 1),
         ConfigTooLargeMessage},
        {"arrays one level too deep", Nested(ConfigDepthLimit + 1), ConfigTooDeepMessage},
        {"objects one level too deep",
         [] {
             std::string text;
             for (int level = 0; level < ConfigDepthLimit; ++level) {
                 text += R"({"Items":)";
             }
             return text + "{}" + std::string(ConfigDepthLimit, '}');
         }(),
         ConfigTooDeepMessage},
        // Refused at the level that goes too deep, while reading: the text
        // after it is never reached, so its own faults are not reported.
        {"too deep and then cut off", std::string(ConfigDepthLimit + 1, '['), ConfigTooDeepMessage},
        {"as deep as the size limit allows", std::string(ConfigFileSizeLimit, '['), ConfigTooDeepMessage},
    };
    for (const RefusedFile& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.text) {
            server.WriteConfigText(*c.text);
        } else {
            server.DeleteConfig();
        }
        const std::string failure = ReadFailure().value_or("(the read was accepted)");
        if (c.prefixOnly) {
            EXPECT_THAT(failure, StartsWith(c.error));
        } else {
            EXPECT_EQ(failure, c.error);
        }
        EXPECT_EQ(PluginConfig, PreviousDocument);
    }
}

TEST_F(ConfigTest, MissingFileRaisesRuntimeError) {
    server.DeleteConfig();
    EXPECT_THROW(ReadConfig(), std::runtime_error);
}

TEST_F(ConfigTest, MalformedFileRaisesTheLibrarysOwnError) {
    server.WriteConfigText(R"({"EnableNests": true, "Items":)");
    EXPECT_THROW(ReadConfig(), Json::parse_error);
    server.WriteConfigText(R"({"EnableNests": true, "Items": 1e999})");
    EXPECT_THROW(ReadConfig(), Json::out_of_range);
}

// ---- Files the game's thread must not read at all ---------------------------

TEST_F(ConfigTest, OnlyARegularFileIsRead) {
    namespace fs = std::filesystem;
    const fs::path config = server.ConfigPath();
    const fs::path good = server.root / "good.json";
    fs::copy_file(config, good);
    const struct {
        const char* label;
        std::function<void()> place;
        const char* error;
    } cases[] = {
        {"a directory", [&] { fs::create_directory(config); }, ConfigNotRegularFileMessage},
#if !defined(_WIN32)
        {"a character device", [&] { fs::create_symlink("/dev/null", config); }, ConfigNotRegularFileMessage},
        {"a FIFO nobody writes to", [&] { ASSERT_EQ(::mkfifo(config.c_str(), 0600), 0); }, ConfigNotRegularFileMessage},
        {"a link to a directory", [&] { fs::create_directory_symlink(server.root, config); },
         ConfigNotRegularFileMessage},
        {"a link to nothing", [&] { fs::create_symlink(server.root / "absent.json", config); },
         "Can't open config.json"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove(config);
        c.place();
        std::atomic<bool> readReturned = false;
#if !defined(_WIN32)
        // Should the read open the FIFO, it would wait for a writer forever:
        // after a while the test becomes that writer and closes at once, so
        // that such a read ends (with a parse error) instead of hanging.
        std::thread writer([&] {
            for (int waited = 0; waited < 200 && !readReturned; ++waited) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (!readReturned && fs::is_fifo(config)) {
                const int end = ::open(config.c_str(), O_WRONLY | O_NONBLOCK);
                if (end >= 0) {
                    ::close(end);
                }
            }
        });
#endif
        EXPECT_EQ(ReadFailure(), c.error);
        readReturned = true;
#if !defined(_WIN32)
        writer.join();
#endif
        EXPECT_EQ(PluginConfig, PreviousDocument);
    }
#if !defined(_WIN32)
    fs::remove(config);
    fs::create_symlink(good, config);
    PluginConfig = nullptr;
    ReadConfig();
    EXPECT_EQ(PluginConfig, PreviousDocument) << "a link to a regular file is read";
#endif
}

TEST_F(ConfigTest, ErrorTextsAreCutWithoutSplittingACharacter) {
    const std::string ascii(ErrorTextLimit, 'a');
    const std::string twoBytes = "\xC3\xA9";           // é
    const std::string fourBytes = "\xF0\x9F\x93\xA6";  // a parcel
    const std::size_t kept = ErrorTextLimit - 3;       // room before the "..."
    const struct {
        const char* label;
        std::string text;
        std::string cut;
    } cases[] = {
        {"at the limit: unchanged", ascii, ascii},
        {"empty: unchanged", "", ""},
        {"one byte over", ascii + "b", ascii.substr(0, kept) + "..."},
        {"a character across the cut is left out whole", std::string(kept - 1, 'a') + twoBytes + "tail",
         std::string(kept - 1, 'a') + "..."},
        {"a character ending at the cut is kept", std::string(kept - 2, 'a') + twoBytes + "tail",
         std::string(kept - 2, 'a') + twoBytes + "..."},
        {"a four-byte character one byte short of the cut", std::string(kept - 3, 'a') + fourBytes + "tail",
         std::string(kept - 3, 'a') + "..."},
        {"a four-byte character ending at the cut", std::string(kept - 4, 'a') + fourBytes + "tail",
         std::string(kept - 4, 'a') + fourBytes + "..."},
        {"stray continuation bytes are no character to keep whole", std::string(2000, '\x80'),
         std::string(kept, '\x80') + "..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string cut = CutErrorText(c.text);
        EXPECT_EQ(cut, c.cut);
        EXPECT_LE(cut.size(), ErrorTextLimit);
    }
}

// ---- Reads that succeed ----------------------------------------------------

TEST_F(ConfigTest, AcceptedFileReplacesTheWholeDocument) {
    const struct {
        const char* label;
        std::string text;
        Json document;
    } cases[] = {
        {"new document, nothing of the old one merged", R"({"EnableNests": true})", {{"EnableNests", true}}},
        {"text after the document is not examined",
         "{\"EnableNests\": true} trailing words, { and a comment // x",
         {{"EnableNests", true}}},
        {"a second document after the first is ignored",
         R"({"EnableNests": true}{"EnableNests": false})",
         {{"EnableNests", true}}},
        {"a key given twice keeps the later value",
         R"({"EnableNests": false, "EnableNests": true})",
         {{"EnableNests", true}}},
        {"UTF-8 byte-order mark skipped", "\xEF\xBB\xBF{\"Items\": {}}", {{"Items", Json::object()}}},
        {"UTF-8 text kept as bytes", "{\"Name\": \"Caf\xC3\xA9\"}", {{"Name", "Caf\xC3\xA9"}}},
        {"top level that is not an object", "[1, 2]", Json::array({1, 2})},
        {"exactly the size limit", OfSize(R"({"EnableNests": true})", ConfigFileSizeLimit), {{"EnableNests", true}}},
        {"exactly the depth limit", Nested(ConfigDepthLimit), Json::parse(Nested(ConfigDepthLimit))},
        {"brackets inside a string are text", "[\"" + std::string(2 * ConfigDepthLimit, '[') + "\"]",
         Json::array({std::string(2 * ConfigDepthLimit, '[')})},
        {"a deep text after the document is not read", "{}" + std::string(2 * ConfigDepthLimit, '['), Json::object()},
        {"depth counts open levels, not how many there are in all",
         "[" + Nested(ConfigDepthLimit - 1) + "," + Nested(ConfigDepthLimit - 1) + "]",
         Json::array({Json::parse(Nested(ConfigDepthLimit - 1)), Json::parse(Nested(ConfigDepthLimit - 1))})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        PluginConfig = PreviousDocument;
        server.WriteConfigText(c.text);
        EXPECT_NO_THROW(ReadConfig());
        EXPECT_EQ(PluginConfig, c.document);
    }
}

TEST_F(ConfigTest, ReadFollowsTheServerDirectory) {
    const HeraldTest::ServerDirectory other;
    other.WriteConfig({{"EnableNests", true}});
    ReadConfig();
    EXPECT_EQ(PluginConfig, Json({{"EnableNests", true}}));
}

// ---- Member lookup -----------------------------------------------------------

TEST_F(ConfigTest, MemberGivesNullForAbsentKeysAndInsertsNothing) {
    const Json before = PluginConfig;
    EXPECT_TRUE(Member(PluginConfig, "NoSuchKey").is_null());
    EXPECT_TRUE(Member(Member(PluginConfig, "Items"), "SupplyCrate_Big_C").is_null());
    EXPECT_TRUE(Member(Member(Member(PluginConfig, "Items"), "SupplyCrate_Big_C"), "Notification").is_null())
        << "a null container gives null";
    EXPECT_EQ(PluginConfig, before) << "no null members were added";
    EXPECT_FALSE(PluginConfig.contains("NoSuchKey"));
    EXPECT_EQ(PluginConfig["Items"].size(), 1u);
}

TEST_F(ConfigTest, MemberGivesThePresentMemberItself) {
    const Json& items = Member(PluginConfig, "Items");
    EXPECT_EQ(&items, &PluginConfig["Items"]) << "a reference into the document, not a copy";
    EXPECT_EQ(Member(Member(items, "SupplyCrate_Level03_C"), "Name"), "Crate");
    const Json explicitNull = {{"Items", nullptr}};
    EXPECT_TRUE(Member(explicitNull, "Items").is_null());
}

TEST_F(ConfigTest, MemberOnValueThatIsNeitherObjectNorNullRaisesTheLibraryTypeError) {
    const struct {
        Json container;
        const char* error;
    } cases[] = {
        {Json::array({1}), "[json.exception.type_error.305] cannot use operator[] with a string argument with array"},
        {Json::array(), "[json.exception.type_error.305] cannot use operator[] with a string argument with array"},
        {"Items", "[json.exception.type_error.305] cannot use operator[] with a string argument with string"},
        {3, "[json.exception.type_error.305] cannot use operator[] with a string argument with number"},
        {true, "[json.exception.type_error.305] cannot use operator[] with a string argument with boolean"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.container.dump());
        try {
            (void)Member(c.container, "Items");
            ADD_FAILURE() << "no error raised";
        } catch (const Json::type_error& error) {
            EXPECT_STREQ(error.what(), c.error);
        }
    }
}

// ---- Display time and size, as a notification hands them to the game -------------

TEST_F(ConfigTest, DisplayTimeAndSizeAreReadAsTheGameTakesThem) {
    const struct {
        Json notification;
        std::optional<int32_t> time;  // none: the lookup raises `error`
        std::optional<float> size;
        const char* error;
    } cases[] = {
        {Json::object(), 10, 1.2F, ""},
        {{{"Time", 7.9}, {"Size", 2}}, 7, 2.0F, ""},
        {{{"Time", -7.9}, {"Size", 0.5}}, -7, 0.5F, ""},
        {{{"Time", true}}, 1, 1.2F, ""},
        {{{"Time", 2147483648.0}, {"Size", 1e39}}, INT32_MAX, std::numeric_limits<float>::max(), ""},
        {{{"Time", -2147483649}, {"Size", -1e300}}, INT32_MIN, -std::numeric_limits<float>::max(), ""},
        {{{"Time", 18446744073709551615u}}, INT32_MAX, 1.2F, ""},
        {{{"Time", "10"}}, std::nullopt, 1.2F, "[json.exception.type_error.302] type must be number, but is string"},
        {{{"Time", nullptr}}, std::nullopt, 1.2F, "[json.exception.type_error.302] type must be number, but is null"},
        {{{"Size", true}}, 10, std::nullopt, "[json.exception.type_error.302] type must be number, but is boolean"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notification.dump());
        const auto raises = [&](const auto& read) {
            try {
                (void)read(c.notification);
                ADD_FAILURE() << "no error raised";
            } catch (const Json::type_error& error) {
                EXPECT_STREQ(error.what(), c.error);
            }
        };
        if (c.time) {
            EXPECT_EQ(DisplayTimeOf(c.notification), *c.time);
        } else {
            raises(DisplayTimeOf);
        }
        if (c.size) {
            EXPECT_EQ(DisplaySizeOf(c.notification), *c.size);
        } else {
            raises(DisplaySizeOf);
        }
    }
}

// The nearness herald check and SkyCrateHerald.Test both go by: case ignored,
// a swap of neighbours one edit, and nothing beyond the limit computed.
TEST(NearMisses, EditDistanceUpToTheLimit) {
    struct Case {
        std::string a;
        std::string b;
        std::size_t limit;
        std::size_t distance;
    } cases[] = {
        {"", "", 3, 0},
        {"abc", "ABC", 3, 0},
        {"abc", "", 3, 3},
        {"abcd", "", 3, 4},
        {"SupplyCrate", "SuplyCrate", 3, 1},
        {"SupplyCrate", "SupplyCraet", 3, 1},
        {"SupplyCrate", "SupplyCarte", 3, 1},
        {"ca", "abc", 3, 3},
        {"Notification", "Chat", 3, 4},
        {"Notification", "Notifcation", 1, 1},
        {"kitten", "sitting", 3, 3},
        {"kitten", "sitting", 2, 3},
        {"abcdef", "badcfe", 3, 3},
        {"abcdefgh", "badcfehg", 3, 4},
        {std::string(5000, 'a') + "b", std::string(5000, 'a') + "c", 3, 1},
        {std::string(5000, 'a'), std::string(4996, 'a'), 3, 4},
        {std::string(100000, 'a'), std::string(100000, 'b'), 3, 4},
        // Alike up to their last letter: the band keeps this to the length
        // times the limit, where every cell would be ten billion.
        {std::string(100000, 'k') + "x", std::string(100000, 'k') + "y", 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a.substr(0, 20) + " / " + c.b.substr(0, 20));
        EXPECT_EQ(EditDistance(c.a, c.b, c.limit), c.distance);
        EXPECT_EQ(EditDistance(c.b, c.a, c.limit), c.distance);
    }
}

// The search for the nearest key runs on the game's thread: keys beyond the
// length limit are never compared, and the comparisons stop at the work limit,
// wherever the nearest key stands and however many keys there are.
TEST(NearMisses, TheSearchIsBoundedByLengthAndByWork) {
    const std::string typed = "SupplyCrate_Levl03_C";
    const std::string nearest = "SupplyCrate_Level03_C";
    // Each decoy is as long as the nearest key and nothing like it: compared, never chosen.
    const std::string decoy(nearest.size(), 'z');
    const std::size_t cellsEach = (nearest.size() + 1) * (2 * NearMissLimit(nearest) + 1);
    const std::size_t decoysWithin = NearMissWorkLimit / cellsEach - 1;
    const auto search = [&](std::size_t decoys, const std::string& last) {
        std::vector<std::string_view> known(decoys, decoy);
        known.push_back(last);
        return NearestKnown(typed, known);
    };
    EXPECT_EQ(search(decoysWithin, nearest), nearest) << "the last key the work limit reaches";
    EXPECT_EQ(search(decoysWithin + 1, nearest), std::nullopt) << "one key past the work limit";
    EXPECT_EQ(search(1'000'000, nearest), std::nullopt);

    const std::string longTyped(NearMissLengthLimit, 'k');
    const std::string atLimit = std::string(NearMissLengthLimit - 1, 'k') + "x";
    const std::string pastLimit = atLimit + "k";
    EXPECT_EQ(NearestKnown(longTyped, std::vector<std::string_view>{atLimit}), atLimit);
    EXPECT_EQ(NearestKnown(longTyped + "k", std::vector<std::string_view>{pastLimit}), std::nullopt)
        << "a key longer than the limit is never named";
    // Keys far from typed in length cost nothing, and leave the work for the rest.
    std::vector<std::string_view> mostlyLong(100'000, std::string_view(pastLimit));
    mostlyLong.push_back(nearest);
    EXPECT_EQ(NearestKnown(typed, mostlyLong), nearest);
}

}  // namespace
