#include "preview/PreviewPage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string_view>

#include "common/Output.h"
#include "config/ConfigKeys.h"
#include "plugin/PluginName.h"
#include "preview/PreviewStyle.h"

namespace Herald {

namespace {

// Text size on the page for the game's size 1.0, and the range drawn: a size
// of 50 would fill the screen, which tells the admin nothing more.
constexpr double PixelsPerSize = 20.0;
constexpr double SmallestSize = 0.3;
constexpr double LargestSize = 3.0;
constexpr int RandomSamples = 5;
// Relative luminance (of the linear channels) below which text needs a light
// plate behind it to be read on the page: 0,64,255 and 139,69,19 are just below it.
constexpr double DarkLuminance = 0.12;

double Opacity(float alpha) { return std::isfinite(alpha) ? std::clamp(static_cast<double>(alpha), 0.0, 1.0) : 1.0; }

std::string Hex(int r, int g, int b) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", r, g, b);
    return text;
}

// Texts from config.json may hold bytes that are not UTF-8; the page shows
// them as the JSON transcript does.
std::string Html(std::string_view text) {
    return Substituted(ValidUtf8(text),
                       {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&#39;"}});
}

// A few colours such as "Random" gives players: three draws a colour, blue
// first, each modulo 256. Seeded alike for every page, so pages compare.
std::vector<std::array<int, 3>> RandomSampleColors() {
    std::minstd_rand draws(13);
    std::vector<std::array<int, 3>> samples;
    for (int i = 0; i < RandomSamples; ++i) {
        const int blue = static_cast<int>(draws() % 256);
        const int green = static_cast<int>(draws() % 256);
        const int red = static_cast<int>(draws() % 256);
        samples.push_back({red, green, blue});
    }
    return samples;
}

std::string CheckSummary(const PreviewReport& report, std::size_t errors, std::size_t warnings) {
    const char* kind = report.checkStatus == 0 ? "clean" : report.checkStatus == 1 ? "warnings" : "errors";
    return "<p class=\"check " + std::string(kind) + "\">herald check: " + FindingsTally(errors, warnings) + "</p>";
}

std::string FindingsList(const std::vector<Finding>& findings, const std::string& relativeTo) {
    if (findings.empty()) {
        return "<p class=\"no-findings\">no findings</p>";
    }
    std::string html = "<ul class=\"findings\">";
    for (const Finding& finding : findings) {
        const bool error = finding.severity == Severity::Error;
        std::string where = finding.path.empty() ? "(file)" : finding.path;
        if (!relativeTo.empty() && finding.path == relativeTo) {
            where = "(entry)";
        } else if (!relativeTo.empty() && finding.path.starts_with(relativeTo + "/")) {
            where = finding.path.substr(relativeTo.size());
        }
        html += std::string("<li class=\"finding ") + (error ? "error" : "warning") + "\"><span class=\"severity\">" +
                (error ? "error" : "warning") + "</span><code title=\"" + Html(finding.path) + "\">" + Html(where) +
                "</code> <span class=\"message\">" + Html(finding.message) + "</span></li>";
    }
    return html + "</ul>";
}

// Findings that no one entry owns, in a row of their own.
std::string SharedFindingsHtml(std::string_view pointer, std::string_view title, std::string_view what,
                               const std::vector<Finding>& findings) {
    return "<div class=\"entry shared\" data-entry=\"" + std::string(pointer) +
           "\"><div class=\"what\"><div class=\"key\">" + std::string(title) + "</div><div class=\"spawn\">" +
           std::string(what) + "</div></div><div class=\"beside\" style=\"grid-column: span 2\">" +
           FindingsList(findings, "") + "</div></div>";
}

std::string NotificationHtml(const Delivery& delivery, bool random) {
    const double size = delivery.size.value_or(1.0F);
    const double drawn = std::isfinite(size) ? std::clamp(size, SmallestSize, LargestSize) : 1.0;
    char pixels[32];
    std::snprintf(pixels, sizeof pixels, "%.1fpx", drawn * PixelsPerSize);
    // Dark text is set on a light plate, so that it reads on the page's dark
    // ground as it would against a bright sky in the game.
    const double luminance = 0.2126 * delivery.color.R + 0.7152 * delivery.color.G + 0.0722 * delivery.color.B;
    const bool dark = !(luminance >= DarkLuminance);
    std::string html = std::string("<div class=\"notification") + (dark ? " dark" : "") +
                       "\" style=\"color:" + ScreenColor(delivery.color) + ";font-size:" + pixels + "\">" +
                       Html(delivery.text) + "</div>";
    html += "<div class=\"meta\"><span>on-screen notification</span><span>colour " + ConfigColor(delivery.color) +
            "</span><span>size " + (delivery.size ? JsonFloat(*delivery.size) : std::string("not a number")) +
            (delivery.size && drawn != size ? " (drawn at " + JsonFloat(static_cast<float>(drawn)) + ")" : "") +
            "</span><span>" + (delivery.time ? "shown " + JsonFloat(*delivery.time) + " s" : "time not a number") +
            "</span></div>";
    if (random) {
        html += "<div class=\"random\"><span>Random: each player gets a colour of their own, such as</span>";
        for (const auto& [red, green, blue] : RandomSampleColors()) {
            html += "<span class=\"sample\" style=\"color:" + Hex(red, green, blue) + "\">&#9632; " +
                    std::to_string(red) + "," + std::to_string(green) + "," + std::to_string(blue) + "</span>";
        }
        html += "</div>";
    }
    return html;
}

std::string DeliveriesHtml(const std::vector<Delivery>& deliveries, bool random) {
    std::string html;
    for (const Delivery& delivery : deliveries) {
        switch (delivery.kind) {
            case Delivery::Kind::Notification:
                html += NotificationHtml(delivery, random);
                break;
            case Delivery::Kind::Chat:
                html += "<div class=\"chat\"><span class=\"sender\">" + Html(delivery.sender) +
                        ":</span> <span class=\"text\">" + Html(delivery.text) +
                        "</span></div><div class=\"meta\"><span>chat line</span></div>";
                break;
            case Delivery::Kind::Log:
                html +=
                    "<div class=\"log\">plugin log, " + Html(delivery.level) + ": " + Html(delivery.text) + "</div>";
                break;
        }
    }
    return html;
}

// The digest that ends the entry's cooldown, drawn as its announcement is;
// the page's style sheet stays as it is for configs without cooldowns.
std::string DigestHtml(const PreviewEntry& entry) {
    const std::string heading = "<div class=\"reason digest\">Its cooldown ends with " +
                                std::to_string(DigestSampleHeld) + " spawns held: ";
    if (entry.digest.empty()) {
        return heading + "no digest is sent</div>";
    }
    return heading + "the digest</div>" + DeliveriesHtml(entry.digest, entry.randomColor);
}

std::string PostsHtml(const std::vector<RelayPost>& posts, std::string_view what) {
    std::string html;
    for (const RelayPost& post : posts) {
        html += "<div class=\"post\"><div class=\"username\">" +
                (post.username.empty() ? std::string("<i>the webhook's own name</i>") : Html(post.username)) +
                "</div><div class=\"content\">" + Html(post.content) + "</div></div><div class=\"meta\"><span>" +
                std::string(what) + "</span></div>";
    }
    return html;
}

// What the webhook receives of the entry, as posted (Markdown's characters
// escaped), below what players see; nothing where the relay posts nothing.
std::string RelayHtml(const PreviewEntry& entry) {
    if (!entry.relayed) {
        return {};
    }
    if (!*entry.relayed) {
        return "<div class=\"reason relay\">Not relayed to " + std::string(Key::Discord) + ": its group <b>" + Html(entry.group) +
               "</b> is not in " + std::string(Key::Discord) + " &rarr; " + std::string(Key::Groups) + "</div>";
    }
    if (entry.posts.empty() && entry.digestPosts.empty()) {
        return "<div class=\"reason relay\">Relayed to " + std::string(Key::Discord) + ", but nothing is posted</div>";
    }
    return "<div class=\"reason relay\">Posted to " + std::string(Key::Discord) + "</div><div class=\"discord\">" +
           PostsHtml(entry.posts, "post, as sent") + PostsHtml(entry.digestPosts, "post of the digest, as sent") +
           "</div>";
}

std::string SeenHtml(const PreviewEntry& entry, const PreviewReport& report) {
    std::string html = DeliveriesHtml(entry.deliveries, entry.randomColor);
    if (entry.Sends()) {
        return html;
    }
    html = "<div class=\"nothing\">Sends nothing</div>" + html;
    std::vector<std::string> reasons;
    if (report.loadError) {
        reasons.push_back("the plugin refused to load: " + *report.loadError);
    }
    reasons.insert(reasons.end(), entry.notes.begin(), entry.notes.end());
    const bool sharedAsteroidFindings = entry.code && !report.asteroidFindings.empty();
    if (!entry.findings.empty() || sharedAsteroidFindings) {
        reasons.push_back(std::string("see the findings ") +
                          (entry.findings.empty() ? "on AsteroidGen2 above" : "beside"));
    } else if (reasons.empty() && !std::any_of(entry.deliveries.begin(), entry.deliveries.end(),
                                               [](const Delivery& d) { return d.kind == Delivery::Kind::Log; })) {
        reasons.push_back("herald check reports nothing about this entry");
    }
    for (const std::string& reason : reasons) {
        html += "<div class=\"reason\">" + Html(reason) + "</div>";
    }
    return html;
}

std::string EntryHtml(const PreviewEntry& entry, const PreviewReport& report) {
    std::string html = "<article class=\"entry " + std::string(entry.Sends() ? "sends" : "silent") +
                       "\" data-entry=\"" + Html(entry.pointer) + "\"" +
                       (entry.code ? " data-code=\"" + Html(*entry.code) + "\"" : "") + ">";
    html += "<div class=\"what\"><div class=\"key\">" + Html(entry.title) + "</div><div class=\"group\">group <b>" +
            Html(entry.group) + "</b></div>" +
            (entry.cooldown > 0 ? "<div class=\"group cooldown\">cooldown <b>" + std::to_string(entry.cooldown) +
                                      " s</b></div>"
                                : std::string()) +
            "<div class=\"spawn\">" +
            (entry.spawn.empty() ? std::string("nothing spawned")
                                 : Html(entry.spawn) + "<br>on " + Html(entry.map) + " at world position (0, 0)") +
            "</div></div>";
    html += "<div class=\"seen\">" + SeenHtml(entry, report) + (entry.cooldown > 0 ? DigestHtml(entry) : "") +
            RelayHtml(entry) + "</div>";
    html += "<div class=\"beside\">" + FindingsList(entry.findings, entry.code ? "" : entry.pointer) + "</div>";
    return html + "</article>";
}

std::string MapHint(const std::string& map, const PreviewReport& report, bool asteroids) {
    if (asteroids) {
        return "asteroid codes of AsteroidGen2";
    }
    return map == report.map ? "structures, crates and nests of Items" : "ocean crates of Items";
}

}  // namespace

std::string ScreenColor(const FColorLinear& color) {
    const std::string rgb = Hex(SrgbByte(color.R), SrgbByte(color.G), SrgbByte(color.B));
    const double opacity = Opacity(color.A);
    if (opacity >= 1.0) {
        return rgb;
    }
    char text[64];
    std::snprintf(text, sizeof text, "rgba(%d,%d,%d,%.3f)", SrgbByte(color.R), SrgbByte(color.G), SrgbByte(color.B),
                  opacity);
    return text;
}

std::string ConfigColor(const FColorLinear& color) {
    std::string text = std::to_string(SrgbByte(color.R)) + "," + std::to_string(SrgbByte(color.G)) + "," +
                       std::to_string(SrgbByte(color.B));
    const long alpha = std::lround(Opacity(color.A) * 255.0);
    return alpha == 255 ? text : text + ", alpha " + std::to_string(alpha);
}

namespace {

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
    std::string html = "<p class=\"players\">Players turn groups of announcements off and on for themselves with the "
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
    std::string html = "<p class=\"discord-relay\">Announcements and digests are posted to " + std::string(Key::Discord) +
                       " through the webhook at <b>" +
                       Html(discord.webhook) + "</b>, ";
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
            Plural(silent, "sends", "send") + " nothing</p>" + PlayersHint(report) + DiscordHint(report) + LiveTestHint() + "</header>\n<main>";
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
