// herald check on any bytes as config.json. It must never crash or trip a
// sanitizer, and what it says must be well-formed: UTF-8 text; every path a
// JSON pointer into the document the plugin reads from the same bytes (or to
// a missing member of an object there, or into a value given twice); a
// refusal exactly where the plugin refuses the file; the same findings from
// the file as from its text, printed as JSON lines that read back as they
// were; an exit status that follows their severities.
//
// Its cost must grow linearly with the input, which libFuzzer's own limits
// can't see at the sizes a fuzzer makes: a pass whose cost grows with the
// square of a 16 KiB input takes milliseconds and well under libFuzzer's
// memory limit (figures in docs/reliability.md). So the heap is counted
// around the check and held to budgets that grow linearly: what check holds
// beyond its findings, what the findings hold, and every byte it asks for,
// which grows with the copying it does.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "check/Check.h"
#include "config/Config.h"

using namespace HeraldFuzz;
using Herald::Finding;
using Herald::Severity;
using Json = nlohmann::json;

namespace {

// The budgets, in bytes: a fixed part, a part per byte of input, and a part
// per byte of the findings returned. A document builds a value of 16 bytes or
// more for every one to three bytes of text, with room to grow; a finding's
// path repeats the keys above it, and its message may quote a key or a text;
// the paths of keys given twice share a budget of 1 MiB (DocumentScan). The
// findings are built in place and returned as a copy, so while checking they
// are held twice over, and the paths of keys given twice a third time; every
// byte of them is built from a few pieces.
constexpr HeapBudgets CheckBudgets{
    .working = {64 * 1024, 64, 2},
    .kept = {2 * 1024 * 1024, 256, 0},
    .requested = {256 * 1024, 128, 8},
};

// The plugin's own reading of the bytes, as config.json: the document, or
// nothing where it refuses the file.
bool PluginTakes(std::string_view text) {
    WriteConfigText(text);
    try {
        ReadConfig();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A JSON pointer to a value of the document, or to a member an object of it
// lacks (a finding about a missing key points where the key would go).
// Walked here step by step: the library's pointer type unescapes a step in
// time that grows with the square of its escapes.
bool PointsIntoDocument(const Json& document, std::string_view pointer) {
    const Json* at = &document;
    bool missing = false;
    while (!pointer.empty()) {
        if (pointer.front() != '/' || missing) {
            return false;
        }
        const std::size_t end = std::min(pointer.find('/', 1), pointer.size());
        std::string step;
        for (std::size_t i = 1; i < end; ++i) {
            if (pointer[i] != '~') {
                step += pointer[i];
            } else if (i + 1 < end && (pointer[i + 1] == '0' || pointer[i + 1] == '1')) {
                step += pointer[++i] == '0' ? '~' : '/';
            } else {
                return false;
            }
        }
        pointer.remove_prefix(end);
        if (at->is_object()) {
            const auto member = at->find(step);
            missing = member == at->end();
            at = missing ? at : &*member;
        } else if (at->is_array() && !step.empty() && step.size() < 10 &&
                   step.find_first_not_of("0123456789") == std::string::npos && (step == "0" || step[0] != '0') &&
                   std::stoul(step) < at->size()) {
            at = &(*at)[std::stoul(step)];
        } else {
            return false;
        }
    }
    return true;
}

// A member given twice in one object is replaced whole by the later value,
// and check still reports what was given twice inside the earlier one: that
// path is a place in the text, under a member check reports as given twice
// (or under the file, when it lists no more of them).
bool UnderRepeatedMember(const std::vector<Finding>& findings, const std::string& path) {
    return std::any_of(findings.begin(), findings.end(), [&](const Finding& repeated) {
        return repeated.message.find("given twice in one object") != std::string::npos &&
               path.size() > repeated.path.size() && path.starts_with(repeated.path) &&
               path[repeated.path.size()] == '/';
    });
}

std::string Describe(const Finding& finding) {
    return std::string(finding.severity == Severity::Error ? "error" : "warning") + " at \"" + finding.path +
           "\": " + finding.message;
}

// `herald check --json` on the file: one line per finding, as found from the text.
void RequirePrintedAsFound(const std::vector<Finding>& findings, int status) {
    std::ostringstream out;
    const int printedStatus = Herald::CheckCommand(ConfigFilePath(), true, out);
    Require(printedStatus == status, "herald check's exit status differs from the findings' severities");
    std::istringstream lines(out.str());
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        const Json printed = Json::parse(line, nullptr, false);
        if (!printed.is_object() || printed.size() != 3) {
            Fail("herald check printed a line that is no finding: " + line);
        }
        Require(count < findings.size(), "herald check printed more findings from the file than from its text");
        const Finding& found = findings[count];
        const Json expected = {{"severity", found.severity == Severity::Error ? "error" : "warning"},
                               {"path", found.path},
                               {"message", found.message}};
        if (printed != expected) {
            Fail("herald check printed " + line + " for " + Describe(found));
        }
    }
    Require(count == findings.size(), "herald check printed fewer findings from the file than from its text");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    StartServer({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<Finding> findings;
    const HeapUse heap = MeasureHeap([&] { findings = Herald::CheckConfigText(text); });
    RequireHeapWithin(heap, size, CheckBudgets, "herald check");

    const bool taken = PluginTakes(text);
    int worst = 0;
    for (const Finding& finding : findings) {
        if (finding.message.empty() || !IsWellFormedUtf8(finding.message) || !IsWellFormedUtf8(finding.path)) {
            Fail("a finding that is empty or not UTF-8: " + Describe(finding));
        }
        const bool error = finding.severity == Severity::Error;
        worst = std::max(worst, error ? 2 : 1);
        if (taken && !PointsIntoDocument(PluginConfig, finding.path) && !UnderRepeatedMember(findings, finding.path)) {
            Fail("a finding whose path is no place in the document: " + Describe(finding));
        }
        // The whole file is in error only where the plugin refuses it or
        // where it is no object.
        if (taken && error && finding.path.empty() && PluginConfig.is_object()) {
            Fail("an error about the whole of a file the plugin takes: " + Describe(finding));
        }
    }
    const int status = Herald::CheckExitStatus(findings);
    Require(status == worst, "the exit status does not follow the findings' severities");
    if (!taken &&
        !(findings.size() == 1 && findings.front().severity == Severity::Error && findings.front().path.empty())) {
        Fail("the plugin refuses the file, but check does not say only that: " +
             (findings.empty() ? std::string("no finding") : Describe(findings.front())));
    }
    RequirePrintedAsFound(findings, status);
    return 0;
}
