// herald preview --html: the page shows each announcement as seen beside its
// findings, each cooldown's digest and each post below it, with the config's
// text never turned into markup.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "PreviewSupport.h"
#include "Support.h"
#include "game/GameTypes.h"
#include "preview/PreviewPage.h"

namespace {

using HeraldTest::Lines;
using HeraldTest::Outcome;
using HeraldTest::ReadFile;
using HeraldTest::ScratchFolder;
using namespace PreviewTest;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(HeraldPreviewPage, ScreenColoursAreTheBytesTheAdminWrote) {
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<uint8_t>(value);
        const FColorBytes written{static_cast<uint8_t>(byte / 2), static_cast<uint8_t>(255 - byte), byte, 255};
        char expected[8];
        std::snprintf(expected, sizeof expected, "#%02x%02x%02x", value, 255 - value, value / 2);
        EXPECT_EQ(Herald::ScreenColor(LinearColor(written)), expected) << value;
        EXPECT_EQ(Herald::ConfigColor(LinearColor(written)),
                  std::to_string(value) + "," + std::to_string(255 - value) + "," + std::to_string(value / 2));
    }
    EXPECT_EQ(Herald::ScreenColor({1, 0, 0, 0.5F}), "rgba(255,0,0,0.500)");
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The text of one entry's <article> on the page.
std::string Article(const std::string& page, const std::string& pointer) {
    const std::size_t start = page.find("<article class=\"entry");
    for (std::size_t at = start; at != std::string::npos; at = page.find("<article class=\"entry", at + 1)) {
        const std::size_t end = page.find("</article>", at);
        const std::string article = page.substr(at, end - at);
        if (article.find("data-entry=\"" + pointer + "\"") != std::string::npos) {
            return article;
        }
    }
    return {};
}

TEST(HeraldPreviewPage, ShowsEachAnnouncementAsSeenBesideItsFindings) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", R"({"EnableNests": true, "Items": {
        "SupplyCrate_Level15_C": {"Name": "<script>alert(1)</script> & \"crate\"", "Notification": {"Msg": "{Name}", "Color": "0,128,255", "Size": 1.5, "Time": 7}},
        "ElementNode_C": {"Notification": {"Type": "Chat", "Msg": "node </style>", "Sender": "Herald"}},
        "BeaverDam_C": {"Notification": {"Msg": "dam", "Color": "Random", "Size": 40}},
        "ArtifactCrate_Hunter_C": {"Notification": {"Msg": ""}}}, "AsteroidGen2": {"Enable": false}})");
    const std::string pagePath = (scratch.root / "page.html").string();
    const Outcome outcome = Preview(config, {"--html", pagePath});
    ASSERT_EQ(outcome.status, 1) << outcome.err;
    const std::string page = ReadFile(pagePath);

    // Self-contained, and the config's text never becomes markup.
    for (const char* outside : {"http:", "https:", "src=", "<link", "@import", "url(", "<script"}) {
        EXPECT_THAT(page, Not(HasSubstr(outside)));
    }
    EXPECT_EQ(page.find("</style>"), page.rfind("</style>"));

    const std::string crate = Article(page, "/Items/SupplyCrate_Level15_C");
    EXPECT_THAT(crate, HasSubstr("color:#0080ff;font-size:30.0px\">&lt;script&gt;alert(1)&lt;/script&gt; &amp; "
                                 "&quot;crate&quot;</div>"));
    EXPECT_THAT(crate, HasSubstr("shown 7 s"));
    EXPECT_THAT(crate, HasSubstr("no findings"));

    const std::string node = Article(page, "/Items/ElementNode_C");
    EXPECT_THAT(node,
                HasSubstr("<span class=\"sender\">Herald:</span> <span class=\"text\">node &lt;/style&gt;</span>"));

    const std::string dam = Article(page, "/Items/BeaverDam_C");
    EXPECT_THAT(dam, HasSubstr("font-size:60.0px"));  // size 40 drawn at the largest size
    EXPECT_THAT(dam, HasSubstr("size 40 (drawn at 3)"));
    EXPECT_THAT(dam, HasSubstr("Random: each player gets a colour of their own"));
    EXPECT_EQ(Occurrences(dam, "class=\"sample\""), 5u) << dam;

    const std::string artifact = Article(page, "/Items/ArtifactCrate_Hunter_C");
    EXPECT_THAT(artifact, HasSubstr("class=\"entry silent\""));
    EXPECT_THAT(artifact, HasSubstr("Sends nothing"));
    EXPECT_THAT(artifact, HasSubstr("/Notification/Msg</code> <span class=\"message\">empty Msg: nothing is sent"));
}

// A cooling entry's card shows its cooldown and, below its announcement, its
// digest drawn the same way; an entry without a cooldown shows neither.
TEST(HeraldPreviewPage, ShowsEachCooldownAndItsDigestBelowTheAnnouncement) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", R"({"AsteroidGen2": {"Enable": false},
        "Calm": {"Cooldown": 60, "Digest": "{Count} <b>more</b> {Name}"}, "Items": {
        "SupplyCrate_Level15_C": {"Name": "Crate", "Notification": {"Msg": "crate", "Color": "Random"}},
        "ElementNode_C": {"Cooldown": 30, "Notification": {"Type": "Chat", "Msg": "node", "Sender": "Herald"}},
        "BeaverDam_C": {"Cooldown": 45, "Notification": {"Msg": ""}},
        "ArtifactCrate_Hunter_C": {"Cooldown": 0, "Notification": {"Msg": "artifact", "Color": "0,255,0"}}}})");
    const std::string pagePath = (scratch.root / "page.html").string();
    ASSERT_EQ(Preview(config, {"--html", pagePath}).status, 1);
    const std::string page = ReadFile(pagePath);
    const struct {
        const char* pointer;
        std::vector<std::string> shows;
        std::vector<std::string> never;
    } cards[] = {
        {"/Items/SupplyCrate_Level15_C",
         {"<div class=\"group cooldown\">cooldown <b>60 s</b></div>",
          // A Random colour's draw differs between C runtimes, and a dark one
          // gets a class of its own: the class is checked up to there.
          "Its cooldown ends with 3 spawns held: the digest</div><div class=\"notification",
          "3 &lt;b&gt;more&lt;/b&gt; Crate</div>"},
         {"<b>more</b>"}},
        {"/Items/ElementNode_C",
         {"cooldown <b>30 s</b>",
          "<span class=\"sender\">Herald:</span> <span class=\"text\">3 &lt;b&gt;more&lt;/b&gt; ElementNode_C</span>"},
         {}},
        {"/Items/BeaverDam_C", {"cooldown <b>45 s</b>", "Its cooldown ends with 3 spawns held: no digest is sent"}, {}},
        {"/Items/ArtifactCrate_Hunter_C", {"artifact"}, {"cooldown", "digest"}},
    };
    for (const auto& card : cards) {
        const std::string article = Article(page, card.pointer);
        for (const std::string& shown : card.shows) {
            EXPECT_THAT(article, HasSubstr(shown)) << card.pointer;
        }
        for (const std::string& absent : card.never) {
            EXPECT_THAT(article, Not(HasSubstr(absent))) << card.pointer;
        }
    }
    // A Random colour is drawn for the digest as for the announcement.
    EXPECT_EQ(Occurrences(Article(page, "/Items/SupplyCrate_Level15_C"), "class=\"sample\""), 10u);
}

// Each relayed entry's card shows its post below its announcement, under the
// name it goes by, as posted; an entry of a group not relayed says so; the
// header says where posts go, by the webhook's host alone.
TEST(HeraldPreviewPage, ShowsEachPostToDiscordBelowTheAnnouncement) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", R"({"AsteroidGen2": {"Enable": false},
        "Calm": {"Digest": "{Count} <i>more</i>"},
        "Discord": {"Webhook": "https://discord.example/api/webhooks/1/key", "Groups": ["crates"], "Username": "<b>{MapName}</b>"},
        "Items": {
        "SupplyCrate_Level15_C": {"Cooldown": 60, "Notification": {"Msg": "crate *15* <script>", "Color": "0,255,0"}},
        "ElementNode_C": {"Notification": {"Type": "Chat", "Msg": "node", "Sender": "Herald"}}}})");
    const std::string pagePath = (scratch.root / "page.html").string();
    ASSERT_EQ(Preview(config, {"--html", pagePath}).status, 0);
    const std::string page = ReadFile(pagePath);
    EXPECT_THAT(page, HasSubstr("Announcements and digests are posted to Discord through the webhook at "
                                "<b>discord.example…</b>, of the groups <b>crates</b>"));
    EXPECT_THAT(page, Not(HasSubstr("api/webhooks")));
    const std::string crate = Article(page, "/Items/SupplyCrate_Level15_C");
    EXPECT_THAT(crate, HasSubstr("<div class=\"post\"><div class=\"username\">&lt;b&gt;TheIsland&lt;/b&gt;</div>"
                                 "<div class=\"content\">crate \\*15\\* \\&lt;script\\&gt;</div></div>"));
    EXPECT_THAT(crate, HasSubstr("<div class=\"content\">3 \\&lt;i\\&gt;more\\&lt;/i\\&gt;</div></div><div "
                                 "class=\"meta\"><span>post of the digest, as sent"));
    EXPECT_LT(crate.find("class=\"notification"), crate.find("class=\"post\"")) << "below what players see";
    const std::string node = Article(page, "/Items/ElementNode_C");
    EXPECT_THAT(node, HasSubstr("Not relayed to Discord: its group <b>nodes</b> is not in Discord &rarr; Groups"));
    EXPECT_THAT(node, Not(HasSubstr("class=\"post\"")));
}

// Bytes that are not UTF-8 read the same on the page as in the transcript,
// and as the game decodes them: E2 82 41 is two U+FFFD and an "A" in both,
// one for each byte that is not part of a character.
TEST(HeraldPreviewPage, TextThatIsNotUtf8ReadsAsTheTranscriptReadsIt) {
    const ScratchFolder scratch;
    const std::string map =
        "Th\xE2\x82"
        "A\xFF";
    const std::string pagePath = (scratch.root / "page.html").string();
    const Outcome outcome = Preview(ExampleConfig, {"--map", map, "--html", pagePath});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const std::string read = "Th\uFFFD\uFFFDA\uFFFD";
    EXPECT_THAT(outcome.out, HasSubstr("Server on " + read + ", 1 player"));
    EXPECT_THAT(ReadFile(pagePath), HasSubstr("<h2>" + read + "<span"));
}

TEST(HeraldPreviewPage, APageThatCannotBeWrittenStopsBeforeAnythingIsPrinted) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", ReadFile(ExampleConfig));
    for (const std::string& page : {(scratch.root / "missing" / "page.html").string(), config}) {
        const Outcome outcome = Preview(config, {"--html", page});
        EXPECT_EQ(outcome.status, 2) << page;
        EXPECT_EQ(outcome.out, "") << page;
        EXPECT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
    }
    EXPECT_EQ(ReadFile(config), ReadFile(ExampleConfig)) << "the config is never overwritten";
}

}  // namespace
