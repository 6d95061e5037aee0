// The preview page's card for each entry: each announcement drawn as the
// player sees it, the digest that ends its cooldown and what the relay posts,
// and why an entry sends nothing, beside its findings.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <string_view>

#include "common/Output.h"
#include "config/ConfigKeys.h"
#include "preview/PageMarkup.h"

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
    const std::string heading =
        "<div class=\"reason digest\">Its cooldown ends with " + std::to_string(DigestSampleHeld) + " spawns held: ";
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
        return "<div class=\"reason relay\">Not relayed to " + std::string(Key::Discord) + ": its group <b>" +
               Html(entry.group) + "</b> is not in " + std::string(Key::Discord) + " &rarr; " +
               std::string(Key::Groups) + "</div>";
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

}  // namespace

std::string EntryHtml(const PreviewEntry& entry, const PreviewReport& report) {
    std::string html = "<article class=\"entry " + std::string(entry.Sends() ? "sends" : "silent") +
                       "\" data-entry=\"" + Html(entry.pointer) + "\"" +
                       (entry.code ? " data-code=\"" + Html(*entry.code) + "\"" : "") + ">";
    html += "<div class=\"what\"><div class=\"key\">" + Html(entry.title) + "</div><div class=\"group\">group <b>" +
            Html(entry.group) + "</b></div>" +
            (entry.cooldown > 0
                 ? "<div class=\"group cooldown\">cooldown <b>" + std::to_string(entry.cooldown) + " s</b></div>"
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

}  // namespace Herald
