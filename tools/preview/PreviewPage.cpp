// The preview as one self-contained page: its head and header (what was
// previewed, check's verdict, how players choose, where the relay posts), then
// the entries under a heading for each map.

#include "preview/PreviewPage.h"

#include <string_view>

#include "common/Output.h"
#include "config/ConfigKeys.h"
#include "plugin/PluginName.h"
#include "preview/PageMarkup.h"
#include "preview/PreviewStyle.h"

namespace Herald {

namespace {

std::string CheckSummary(const PreviewReport& report, std::size_t errors, std::size_t warnings) {
    const char* kind = report.checkStatus == 0 ? "clean" : report.checkStatus == 1 ? "warnings" : "errors";
    return "<p class=\"check " + std::string(kind) + "\">herald check: " + FindingsTally(errors, warnings) + "</p>";
}

std::string MapHint(const std::string& map, const PreviewReport& report, bool asteroids) {
    if (asteroids) {
        return "asteroid codes of AsteroidGen2";
    }
    return map == report.map ? "structures, crates and nests of Items" : "ocean crates of Items";
}

// The page shows the offline result; the live server's own world settings
// and map can only be seen there.
std::string LiveTestHint() {
    return "<p class=\"live-test\">On the live server, after <code>" + std::string(ReloadCommandName) +
           "</code>, <code>" + Html(TestCommandForm) +
           "</code> on the console sends you alone a test announcement of an entry (<code>" +
           Html(TestAsteroidCommandForm) +
           "</code> for an asteroid code), its coordinates from world position X Y; over RCON it answers with what "
           "players would receive.</p>";
}

// What players choose with the chat command, and the groups it offers on the
// structures' map.
std::string PlayersHint(const PreviewReport& report) {
    if (report.notPreviewed) {
        return {};
    }
    if (!report.chatCommand) {
        return "<p class=\"players\">Players can't choose what they hear: " + std::string(Key::Players) + "/" +
               std::string(Key::Enable) + " is false, so every player receives every announcement.</p>";
    }
    const std::string command = Html(*report.chatCommand);
    std::string html =
        "<p class=\"players\">Players turn groups of announcements off and on for themselves with the "
        "chat command <code>" +
        command + "</code>: <code>" + command + " off GROUP</code>, <code>" + command +
        " on GROUP</code>, <code>all</code> for every group. On <b>" + Html(report.map) + "</b> ";
    if (report.announcedGroups.empty()) {
        return html + "no group is announced.</p>";
    }
    html += "a player can turn off:";
    for (const std::string& group : report.announcedGroups) {
        html += std::string(group == report.announcedGroups.front() ? " " : ", ") + "<b class=\"offered\">" +
                Html(group) + "</b>";
    }
    return html + ".</p>";
}

// Where the relay posts (by host alone) and which groups, or why it posts nothing.
std::string DiscordHint(const PreviewReport& report) {
    if (report.notPreviewed || !report.discord) {
        return {};
    }
    const PreviewReport::Relay& discord = *report.discord;
    if (!discord.relays) {
        std::string html = "<p class=\"discord-relay\">" + std::string(Key::Discord) + " relays nothing:";
        for (const std::string& problem : discord.problems) {
            html += " " + Html(problem) + ".";
        }
        return html + "</p>";
    }
    std::string html = "<p class=\"discord-relay\">Announcements and digests are posted to " +
                       std::string(Key::Discord) + " through the webhook at <b>" + Html(discord.webhook) + "</b>, ";
    if (!discord.groups) {
        html += "of every group";
    } else if (discord.groups->empty()) {
        html += "of no group";
    } else {
        html += "of the groups";
        for (const std::string& group : *discord.groups) {
            html += std::string(&group == &discord.groups->front() ? " " : ", ") + "<b>" + Html(group) + "</b>";
        }
    }
    return html + ", as each shows below.</p>";
}

// The page's head and its header: what was previewed, check's verdict, and
// how many entries send something.
std::string PageTop(const PreviewReport& report) {
    std::size_t errors = 0;
    std::size_t warnings = 0;
    const auto count = [&](const std::vector<Finding>& findings) {
        for (const Finding& finding : findings) {
            (finding.severity == Severity::Error ? errors : warnings) += 1;
        }
    };
    count(report.fileFindings);
    count(report.asteroidFindings);
    std::size_t sent = 0;
    std::size_t silent = 0;
    for (const PreviewEntry& entry : report.entries) {
        count(entry.findings);
        (entry.Sends() ? sent : silent) += 1;
    }
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>SkyCrateHerald preview: " +
        Html(report.configPath) + "</title><style>" + std::string(PreviewPageStyle) + "</style></head><body>\n";
    html += "<header><div class=\"brand\">SkyCrateHerald &middot; preview</div><h1>" + Html(report.configPath) +
            "</h1><p class=\"summary\">Structures, crates and nests of <b>Items</b> spawned on <b>" + Html(report.map) +
            "</b>, ocean crates on <b>Ragnarok</b>, asteroid codes on <b>Gen2</b>: each once, at world position "
            "(0, 0), for one player.</p>" +
            CheckSummary(report, errors, warnings) + "<p class=\"counts\">" +
            Plural(sent, "entry sends", "entries send") + " an announcement &middot; " +
            Plural(silent, "sends", "send") + " nothing</p>" + PlayersHint(report) + DiscordHint(report) +
            LiveTestHint() + "</header>\n<main>";
    return html;
}

// The entries under a heading for each map, the asteroid codes under one of
// their own with the findings they share.
std::string EntriesHtml(const PreviewReport& report) {
    std::string html;
    std::string section;
    for (const PreviewEntry& entry : report.entries) {
        const bool asteroid = entry.code.has_value();
        const std::string heading = entry.map + (asteroid ? "/asteroids" : "");
        if (heading != section) {
            section = heading;
            html += "\n<h2>" + Html(entry.map) + "<span class=\"hint\">" + MapHint(entry.map, report, asteroid) +
                    "</span></h2>";
            if (asteroid && !report.asteroidFindings.empty()) {
                html += SharedFindingsHtml(AsteroidsPointer.View(), Key::AsteroidGen2, "findings shared by every code",
                                           report.asteroidFindings);
            }
        }
        html += "\n" + EntryHtml(entry, report);
    }
    return html;
}

}  // namespace

std::string PreviewPageHtml(const PreviewReport& report) {
    std::string html = PageTop(report);
    if (report.notPreviewed) {
        html += "<div class=\"banner\">Nothing to preview: " + Html(*report.notPreviewed) + "</div>";
    }
    if (report.loadError) {
        html += "<div class=\"banner\">The plugin refused to load: " + Html(*report.loadError) + "</div>";
    }
    if (!report.fileFindings.empty()) {
        html += "<h2>The whole file</h2>" +
                SharedFindingsHtml("", "config.json", "findings about no single entry", report.fileFindings);
    }
    html += EntriesHtml(report);
    if (report.entries.empty() && !report.notPreviewed) {
        html +=
            "<h2>Nothing announced</h2><p class=\"reason\">The file has no entry under Items and no asteroid "
            "code under AsteroidGen2.</p>";
    }
    html += "\n</main><footer>Made by herald " HERALD_VERSION
            " preview through the SkyCrateHerald plugin library on the stand-in server. Colours are the ones the game "
            "received, converted back to sRGB (dark ones on a light plate, "
            "so that they can be read here); sizes are relative, size 1 drawn at 20 px.</footer>\n</body></html>\n";
    return html;
}

}  // namespace Herald
