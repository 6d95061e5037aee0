#pragma once
// herald preview: what players would see from a config.json, with no scenario
// to write. Every entry is spawned once on its map through the real plugin
// library, one player receives everything, and check's findings explain what
// stays silent.

#include <optional>
#include <ostream>
#include <string>

#include "scenario/Scenario.h"

namespace Herald {

struct PreviewOptions {
    std::string configPath;
    std::string map = DefaultMap;  // where Items' structures, crates and nests spawn
    bool json = false;
    std::optional<std::string> htmlPath;  // a self-contained page written there
    std::string pluginPath;
};

// `herald preview`: check's findings, then the entries that send nothing and
// why, then the run's transcript (human, or one JSON object a line). Returns
// check's exit status (0 clean, 1 warnings, 2 errors); 2 as well when the file
// is missing or the preview itself can't be made (said on err, one line).
int PreviewCommand(const PreviewOptions& options, std::ostream& out, std::ostream& err);

// One preview for `herald preview --serve`: the text printed on out (never
// JSON; options.json and options.htmlPath are not read) and the page in
// memory. A file that is missing, unreadable or can't be previewed still
// makes a page, of check's findings and why; nothing is said on err. Raises
// OutputClosed when out's reader went away.
struct PagePreview {
    int status = 2;  // check's exit status, as PreviewCommand's
    std::string html;
};
PagePreview PreviewToPage(const PreviewOptions& options, std::ostream& out);

}  // namespace Herald
