#pragma once
// herald preview --serve: the preview page on http://127.0.0.1:PORT/, made
// again on every save of the config and followed by every open page.

#include <ostream>

#include "preview/Preview.h"

namespace Herald {

inline constexpr int DefaultServePort = 8731;

struct ServeOptions {
    PreviewOptions preview;
    int port = DefaultServePort;  // 0: a free one, printed
};

// Prints where the page is, then each preview's text under a rule, until
// SIGINT or SIGTERM; herald then ends by that signal, its server stopped and
// its temporary folders gone. Returns 2 (said on err, one line) for a file
// that does not exist, a port that can't be had, or an output that was closed.
int ServeCommand(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace Herald
