#pragma once
// The pieces of the preview page's markup that its parts share.

#include <string>
#include <string_view>
#include <vector>

#include "check/Check.h"
#include "preview/PreviewPage.h"

namespace Herald {

// Texts from config.json may hold bytes that are not UTF-8; the page shows
// them as the JSON transcript does.
std::string Html(std::string_view text);

// "#rrggbb" of 8-bit channels.
std::string Hex(int r, int g, int b);

// Check's findings as a list, each path shown from relativeTo ("" for whole paths).
std::string FindingsList(const std::vector<Finding>& findings, const std::string& relativeTo);

// Findings that no one entry owns, in a row of their own.
std::string SharedFindingsHtml(std::string_view pointer, std::string_view title, std::string_view what,
                               const std::vector<Finding>& findings);

// One entry's card: what was spawned, what players see and what is posted,
// beside its findings.
std::string EntryHtml(const PreviewEntry& entry, const PreviewReport& report);

}  // namespace Herald
