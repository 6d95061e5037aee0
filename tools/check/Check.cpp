#include "check/Check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>

#include "check/DocumentScan.h"
#include "check/Walk.h"
#include "check/Wording.h"
#include "common/Output.h"
#include "config/ConfigFile.h"
#include "config/ConfigLimits.h"
#include "config/RelayReaders.h"

namespace Herald {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr std::string_view RefusedWords = "the plugin refuses to load it, and a reload keeps the previous settings";

// The refusal followed by the plugin's own words, as its log line and its
// RCON reply give them.
std::string RefusedSaying(std::string_view pluginWords) {
    return std::string(RefusedWords) + " (\"" + std::string(pluginWords) + "\")";
}

std::string TooLarge() {
    return "the file is larger than " + std::to_string(ConfigFileSizeLimit >> 20) + " MiB (" +
           std::to_string(ConfigFileSizeLimit) +
           " bytes), the most the plugin reads: " + RefusedSaying(ConfigTooLargeMessage);
}

std::vector<Finding> Refusal(const std::string& message) { return {{Severity::Error, "", message}}; }

// The findings of a text within the size limit, from a scan of it.
std::vector<Finding> CheckScanned(std::string_view text, DocumentScan& scan) {
    // Read as the plugin reads it: one value from the start, the rest unexamined.
    Json::sax_parse(text.begin(), text.end(), &scan);
    if (scan.tooDeep) {
        return Refusal("arrays and objects are nested deeper than " + std::to_string(ConfigDepthLimit) +
                       " levels: " + RefusedSaying(ConfigTooDeepMessage));
    }
    if (scan.parseError) {
        // The library's words quote what it read last, which may be a webhook's address.
        return Refusal("can't be parsed: " + ParseErrorShown(*scan.parseError) + ": " + std::string(RefusedWords));
    }
    Report report;
    if (scan.textAfter) {
        report.Warning("", "text after the document's end is ignored");
    }
    for (const std::string& duplicate : scan.duplicates) {
        report.Warning(duplicate, "given twice in one object: the later value is used");
    }
    if (scan.unlistedDuplicates > 0) {
        report.Warning("", std::to_string(scan.unlistedDuplicates) +
                               " more keys are given twice in one object (not listed): the later value is used");
    }
    WalkDocument(scan.document, report);
    return report.Take();
}

// A file's bytes as the plugin reads them, or its refusal of the file.
struct FileRead {
    std::optional<std::string> text;
    std::vector<Finding> refusal;
};

FileRead ReadConfigBytes(const std::string& path) {
    const std::string cantOpen = "can't open " + path + ": the plugin refuses to load (\"" +
                                 std::string(ConfigCantOpenMessage) + "\"), and a reload keeps the previous settings";
    // Looked at before it is opened: a pipe would block the read, a device
    // never end it.
    const ConfigFileFacts facts = ConfigFileFactsOf(path);
    const std::optional<ConfigFileRefusal> refusal = RefusalOf(facts);
    if (refusal == ConfigFileRefusal::CantOpen) {
        return {std::nullopt, Refusal(cantOpen)};
    }
    if (refusal == ConfigFileRefusal::NotRegularFile) {
        const fs::file_type type = facts.type;
        const std::string what = type == fs::file_type::directory ? "a folder"
                                 : type == fs::file_type::fifo    ? "a pipe"
                                 : type == fs::file_type::socket  ? "a socket"
                                 : type == fs::file_type::character || type == fs::file_type::block
                                     ? "a device"
                                     : "something other than a file";
        return {std::nullopt,
                Refusal(path + " is " + what + ", not a regular file: " + RefusedSaying(ConfigNotRegularFileMessage))};
    }
    if (refusal == ConfigFileRefusal::TooLarge) {
        return {std::nullopt, Refusal(TooLarge())};
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {std::nullopt, Refusal(cantOpen)};
    }
    std::optional<std::string> text = ReadAtMostTheLimit(*facts.size, [&file](char* buffer, std::size_t room) {
        file.read(buffer, static_cast<std::streamsize>(room));
        return static_cast<std::size_t>(file.gcount());
    });
    if (!text) {
        return {std::nullopt, Refusal(TooLarge())};
    }
    return {std::move(*text), {}};
}

}  // namespace

std::vector<Finding> CheckConfigText(std::string_view text) {
    if (text.size() > ConfigFileSizeLimit) {
        return Refusal(TooLarge());
    }
    DocumentScan scan(ScanPurpose::Check);
    return CheckScanned(text, scan);
}

std::vector<Finding> CheckConfigFile(const std::string& path) {
    FileRead read = ReadConfigBytes(path);
    return read.text ? CheckConfigText(*read.text) : std::move(read.refusal);
}

CheckedConfig CheckConfigFileOnce(const std::string& path) {
    FileRead read = ReadConfigBytes(path);
    CheckedConfig checked;
    if (!read.text) {
        checked.findings = std::move(read.refusal);
        return checked;
    }
    DocumentScan scan(ScanPurpose::Plan);
    checked.findings = CheckScanned(*read.text, scan);
    checked.text = std::move(read.text);
    // What the library gives for the first value: nothing of a text that
    // breaks off before it is whole.
    if (!scan.parseError) {
        checked.document = std::move(scan.document);
    }
    checked.itemKeys = std::move(scan.itemKeys);
    checked.asteroidCodes = std::move(scan.asteroidCodes);
    return checked;
}

std::string FindingsTally(std::size_t errors, std::size_t warnings) {
    if (errors + warnings == 0) {
        return "nothing to report";
    }
    return Plural(errors, "error", "errors") + ", " + Plural(warnings, "warning", "warnings");
}

int CheckExitStatus(const std::vector<Finding>& findings) {
    int status = 0;
    for (const Finding& finding : findings) {
        status = std::max(status, finding.severity == Severity::Error ? 2 : 1);
    }
    return status;
}

int PrintFindings(const std::string& path, const std::vector<Finding>& findings, bool json, std::ostream& out) {
    std::size_t errors = 0;
    for (const Finding& finding : findings) {
        const bool error = finding.severity == Severity::Error;
        errors += error ? 1 : 0;
        if (json) {
            out << JsonLine()
                       .Text("severity", error ? "error" : "warning")
                       .Text("path", finding.path)
                       .Text("message", finding.message)
                       .Done()
                << "\n";
        } else {
            out << (error ? "error   " : "warning ") << (finding.path.empty() ? "(file)" : finding.path) << ": "
                << finding.message << "\n";
        }
    }
    if (!json) {
        out << path << ": " << FindingsTally(errors, findings.size() - errors) << "\n";
    }
    return CheckExitStatus(findings);
}

int CheckCommand(const std::string& path, bool json, std::ostream& out) {
    return PrintFindings(path, CheckConfigFile(path), json, out);
}

}  // namespace Herald
