// The preview page's shared pieces: text made safe for the page, colours for
// the screen and as the admin writes them, and lists of findings.

#include "preview/PageMarkup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/Output.h"

namespace Herald {

namespace {

double Opacity(float alpha) { return std::isfinite(alpha) ? std::clamp(static_cast<double>(alpha), 0.0, 1.0) : 1.0; }

}  // namespace

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

}  // namespace Herald
