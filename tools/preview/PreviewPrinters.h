#pragma once
// What preview prints of its own between check's findings and the transcript.

#include <ostream>

#include "preview/PreviewPage.h"

namespace Herald {

// The entries that send nothing and why, each entry's group, the cooldowns
// and their digests, and what the relay posts: in words, or one JSON object a
// line.
void PrintSilent(const PreviewReport& report, bool json, std::ostream& out);

}  // namespace Herald
