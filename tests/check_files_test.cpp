// herald check on the file itself: read once for preview, files that are no
// files, and hostile texts that must cost linear time and memory.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>

#include "CheckSupport.h"
#include "Processes.h"
#include "Support.h"
#include "check/Check.h"
#include "config/ConfigLimits.h"

namespace {

namespace fs = std::filesystem;
using namespace CheckTest;
using Json = nlohmann::json;
using HeraldTest::AddressSanitizer;
using HeraldTest::Nested;
using HeraldTest::ReadAll;
using HeraldTest::Repeat;
using HeraldTest::ScratchFolder;
using ::testing::HasSubstr;

// ---- One reading for preview ------------------------------------------------------------

// The document preview plans with is the first value as the library parses
// it, with no depth limit; the key order is the text's, repeats and keys of an
// earlier duplicate "Items" included; the findings are check's own.
TEST(HeraldCheck, FileReadOnceGivesTheDocumentAndTheKeyOrderOfTheText) {
    const std::string deep = R"({"Notes": )" + Nested(150) + R"(, "Items": {"b_C": 1}})";
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> itemKeys;
        std::vector<std::string> asteroidCodes;
    } files[] = {
        {"keys in text order",
         R"({"Items": {"z_C": {"Items": {"x": 1}}, "a_C": 1, "z_C": 2}, "List": [{"Items": {"q": 1}}],
             "AsteroidGen2": {"Name": {"Metal": "m", "Ice": "i"}, "Color": {"Ice": "1,2,3"}, "Notification": {"Msg": "x"},
                              "Other": {"NotACode": 1}}, "Items": {"later_C": 3}})",
         {"z_C", "a_C", "z_C", "later_C"},
         {"Metal", "Ice", "Ice"}},
        {"nested beyond the limit", deep, {"b_C"}, {}},
        {"text after the document", R"({"Items": {"a_C": 1}} {"Items": {"b_C": 1}})", {"a_C"}, {}},
        {"broken off", R"({"Items": {"a_C": 1)", {"a_C"}, {}},
        {"not an object", "[1, 2]", {}, {}},
    };
    const ScratchFolder scratch;
    for (const auto& file : files) {
        const fs::path path = scratch.Write("once.json", file.text);
        const Herald::CheckedConfig checked = Herald::CheckConfigFileOnce(path.string());
        Json library;
        std::istringstream stream(file.text);
        try {
            stream >> library;
        } catch (const Json::exception&) {
            library = Json();
        }
        EXPECT_EQ(checked.document, library) << file.what;
        EXPECT_EQ(checked.text, std::optional(file.text)) << file.what;
        EXPECT_EQ(checked.itemKeys, file.itemKeys) << file.what;
        EXPECT_EQ(checked.asteroidCodes, file.asteroidCodes) << file.what;
        EXPECT_EQ(Describe(checked.findings), Describe(Herald::CheckConfigFile(path.string()))) << file.what;
    }
    const fs::path folder = scratch.root / "once-folder";
    fs::create_directory(folder);
    const Herald::CheckedConfig refused = Herald::CheckConfigFileOnce(folder.string());
    EXPECT_FALSE(refused.text);
    EXPECT_TRUE(refused.document.is_null());
    EXPECT_EQ(Describe(refused.findings), Describe(Herald::CheckConfigFile(folder.string())));
}

// ---- Files that are no files ----------------------------------------------------------

TEST(HeraldCheck, OnlyARegularFileWithinTheSizeLimitIsRead) {
    const ScratchFolder scratch;
    const fs::path folder = scratch.root / "folder";
    fs::create_directory(folder);
    const fs::path pipe = scratch.root / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const fs::path large = scratch.Write("large.json", "{}");
    fs::resize_file(large, ConfigFileSizeLimit + 1);
    const std::string document = R"({"AsteroidGen2": {"Enable": false}})";
    const fs::path atLimit =
        scratch.Write("at-limit.json", document + std::string(ConfigFileSizeLimit - document.size(), ' '));
    ASSERT_EQ(fs::file_size(atLimit), ConfigFileSizeLimit);

    const struct {
        fs::path path;
        const char* says;
    } files[] = {
        {folder, "is a folder, not a regular file: the plugin refuses to load it"},
        {pipe, "is a pipe, not a regular file"},
        {"/dev/zero", "is a device, not a regular file"},
        {large, "larger than 16 MiB"},
        {"/nonexistent/config.json", "Can't open config.json"},
        {atLimit, "no Items: nothing is ever announced"},
    };
    for (const auto& file : files) {
        const std::vector<Finding> findings = Herald::CheckConfigFile(file.path.string());
        ASSERT_EQ(findings.size(), 1u) << file.path << "\n" << Describe(findings);
        EXPECT_THAT(findings[0].message, HasSubstr(file.says)) << file.path;
    }
    for (const fs::path& refused : {folder, pipe, large}) {
        EXPECT_THAT(Herald::CheckConfigFile(refused.string())[0].message,
                    HasSubstr(refused == large ? "(\"config.json is larger than 16 MiB\")"
                                               : "(\"config.json is not a regular file\")"));
    }
}

// ---- Hostile sizes -------------------------------------------------------------------

// Checks the text in a child process whose data may not grow past 1 GiB
// (unless AddressSanitizer, whose shadow memory counts as data, is in), and
// gives the findings, or none when the child did not end normally.
std::optional<std::vector<Finding>> CheckInBoundedChild(const std::string& text) {
    int pipe[2];
    if (::pipe(pipe) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        if (!AddressSanitizer) {
            const rlimit data{1L << 30, 1L << 30};
            ::setrlimit(RLIMIT_DATA, &data);
        }
        Json findings = Json::array();
        for (const Finding& finding : Herald::CheckConfigText(text)) {
            findings.push_back({finding.severity == Severity::Error, finding.path, finding.message});
        }
        const std::string bytes = findings.dump();
        for (std::size_t written = 0; written < bytes.size();) {
            const ssize_t wrote = ::write(pipe[1], bytes.data() + written, bytes.size() - written);
            if (wrote <= 0) {
                ::_exit(3);
            }
            written += static_cast<std::size_t>(wrote);
        }
        ::_exit(0);
    }
    ::close(pipe[1]);
    const std::string bytes = ReadAll(pipe[0]);
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    std::vector<Finding> findings;
    for (const Json& finding : Json::parse(bytes)) {
        findings.push_back({finding[0].get<bool>() ? Severity::Error : Severity::Warning, finding[1], finding[2]});
    }
    return findings;
}

// Short distinct words: a, b, ..., z, ba, bb, ...
std::string Word(std::size_t number) {
    std::string word;
    do {
        word.insert(word.begin(), static_cast<char>('a' + number % 26));
        number /= 26;
    } while (number > 0);
    return word;
}

struct HostileText {
    const char* what;
    std::function<std::string()> text;
    std::string path;
    const char* says;
};

// Each of these once took minutes or gigabytes (nesting kept a path per open
// level, the nearest-key search a table of key by key, the placeholder scan
// copied the rest of Msg at every "{", and every finding under a long key
// repeated it); each must now end normally within the child's bounds.
TEST(HeraldCheck, HostileTextsCostLinearTimeAndMemory) {
    const std::size_t limit = ConfigFileSizeLimit;
    const std::string longKey(1u << 20, 'k');
    const std::string longItemKey = longKey + "_C";
    const HostileText texts[] = {
        {"arrays 512 Ki deep", [] { return std::string(1u << 19, '[') + std::string(1u << 19, ']'); }, "",
         "nested deeper than 100 levels"},
        {"objects 128 Ki deep", [] { return Repeat(R"({"a":)", 1u << 17) + "1" + std::string(1u << 17, '}'); }, "",
         "nested deeper than 100 levels"},
        {"an unknown key of 10 MiB",
         [] { return R"({"AsteroidGen2": {"Enable": false}, ")" + std::string(10u << 20, 'x') + R"(": 1})"; },
         "/" + std::string(10u << 20, 'x'), "the keys read here"},
        {"a Type of 10 MiB",
         [] {
             return CrateConfig(R"({"Msg": "x", "Color": "0,255,0", "Type": ")" + std::string(10u << 20, 'x') +
                                R"("})");
         },
         CrateNotification + "/Type", "sent as a chat line"},
        {"a Msg of 15 MiB of {",
         [] { return CrateConfig(R"({"Color": "0,255,0", "Msg": ")" + std::string(15u << 20, '{') + R"({Foo}"})"); },
         CrateNotification + "/Msg", "{Foo} is not a placeholder"},
        {"a Msg of {a{a{a...}",
         [] { return CrateConfig(R"({"Color": "0,255,0", "Msg": ")" + Repeat("{a", 7u << 20) + R"(}"})"); },
         CrateNotification + "/Msg", "{a} is not a placeholder"},
        {"keys given twice under a long key",
         [&] { return R"({")" + longKey + R"(": [)" + Repeat(R"({"a":0,"a":0},)", 500000) + "{}]}"; }, "",
         "more keys are given twice in one object (not listed)"},
        {"unknown keys under a long item key",
         [&] {
             std::string keys;
             for (std::size_t i = 0; i < 200000; ++i) {
                 keys += "\"" + Word(i) + "\":0,";
             }
             return R"({"AsteroidGen2": {"Enable": false}, "Items": {")" + longItemKey + R"(": {"Notification": {)" +
                    keys + R"("Msg": "x", "Color": "0,255,0"}}}})";
         },
         "/Items/" + longItemKey + "/Notification", "more unknown keys here"},
        {"words in braces under a long item key",
         [&] {
             std::string words;
             for (std::size_t i = 0; i < 200000; ++i) {
                 words += "{" + Word(i) + "}";
             }
             return R"({"AsteroidGen2": {"Enable": false}, "Items": {")" + longItemKey +
                    R"(": {"Notification": {"Color": "0,255,0", "Msg": ")" + words + R"("}}}})";
         },
         "/Items/" + longItemKey + "/Notification/Msg", "more words in braces"},
    };
    for (const HostileText& hostile : texts) {
        const std::string text = hostile.text();
        ASSERT_LE(text.size(), limit) << hostile.what;
        const std::optional<std::vector<Finding>> findings = CheckInBoundedChild(text);
        EXPECT_TRUE(findings) << hostile.what << ": check did not end normally";
        if (!findings) {
            continue;
        }
        EXPECT_TRUE(Says(*findings, hostile.path, hostile.says)) << hostile.what << "\n" << Describe(*findings);
    }
}

}  // namespace
