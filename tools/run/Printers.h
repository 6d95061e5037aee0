#pragma once
// The two transcripts of a run: for people, aligned columns under each
// event; for programs, one JSON object a line.

#include <ostream>

#include "run/Records.h"

namespace Herald {

enum class TranscriptFormat { Human, Json };

// Writes a step's records in `format`, then makes sure the output still takes
// them: raises OutputClosed (Play.h) when its reader went away. Host records
// are flushed at once, so a reader sees each event's deliveries as they come.
void PrintStep(const PlayedStep& step, TranscriptFormat format, std::ostream& out);

// A whole run kept in memory, printed as it would have been while playing.
void PrintPlayed(const PlayedScenario& played, TranscriptFormat format, std::ostream& out);

}  // namespace Herald
