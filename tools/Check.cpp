#include "Check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>

#include "Output.h"

namespace Herald {

namespace {

using Json = nlohmann::json;

// ---- Text helpers --------------------------------------------------------------

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view fragment) {
    return Lower(text).find(Lower(fragment)) != std::string::npos;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == Lower(tail);
}

std::string Quote(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A JSON pointer step: "~" and "/" escaped.
std::string Step(std::string_view key) {
    std::string step = "/";
    for (const char c : key) {
        step += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
    }
    return step;
}

// Edits between two keys, ignoring case; a swap of neighbours counts as one,
// so "Tmie" is nearest to "Time".
std::size_t EditDistance(std::string_view a, std::string_view b) {
    const std::string x = Lower(a);
    const std::string y = Lower(b);
    std::vector<std::vector<std::size_t>> d(x.size() + 1, std::vector<std::size_t>(y.size() + 1));
    for (std::size_t i = 0; i <= x.size(); ++i) {
        d[i][0] = i;
    }
    for (std::size_t j = 0; j <= y.size(); ++j) {
        d[0][j] = j;
    }
    for (std::size_t i = 1; i <= x.size(); ++i) {
        for (std::size_t j = 1; j <= y.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[x.size()][y.size()];
}

// ---- What the plugin knows -----------------------------------------------------

// Texts searched in the names of spawned structures (any case).
constexpr std::array<std::string_view, 5> SpawnFragments{"SupplyCrate", "ElementNode", "ArtifactCrate", "Nest_C",
                                                         "BeaverDam"};
constexpr std::string_view OceanCrateFragment = "SupplyCreate_OceanInstant_High_C";

constexpr std::array<std::string_view, 7> Placeholders{
    "{MapName}", "{Name}", "{Lat}", "{Lon}", "{EggLvl}", "{PrimaryResources}", "{SecondaryResources}"};

enum class AnnouncementKind { Structure, Creature, OceanCrate, Asteroid };

std::vector<std::string_view> FilledPlaceholders(AnnouncementKind kind) {
    switch (kind) {
        case AnnouncementKind::Structure:
        case AnnouncementKind::OceanCrate:
            return {"{MapName}", "{Lat}", "{Lon}", "{Name}"};
        case AnnouncementKind::Creature:
            return {"{MapName}", "{Lat}", "{Lon}", "{Name}", "{EggLvl}"};
        case AnnouncementKind::Asteroid:
            return {"{MapName}", "{Name}", "{PrimaryResources}", "{SecondaryResources}"};
    }
    return {};
}

std::string KindWords(AnnouncementKind kind) {
    switch (kind) {
        case AnnouncementKind::Structure:
            return "a structure's announcement";
        case AnnouncementKind::Creature:
            return "a nest's announcement";
        case AnnouncementKind::OceanCrate:
            return "an ocean crate's announcement";
        case AnnouncementKind::Asteroid:
            return "an asteroid announcement";
    }
    return {};
}

// How the plugin reads a colour text: "Random", or three numbers separated by
// commas (empty pieces skipped, leading blanks allowed, reading stops at the
// first non-digit). Anything else shows green.
struct ColorReading {
    bool isColor = false;
    std::vector<long long> numbers;  // the first three, as read
};

ColorReading ReadColor(const std::string& text) {
    ColorReading reading;
    if (text == "Random") {
        reading.isColor = true;
        return reading;
    }
    std::vector<std::string> pieces;
    std::string piece;
    for (const char c : text) {
        if (c == ',') {
            if (!piece.empty()) {
                pieces.push_back(piece);
            }
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty()) {
        pieces.push_back(piece);
    }
    if (pieces.size() < 3) {
        return reading;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string& number = pieces[i];
        std::size_t at = 0;
        while (at < number.size() && std::isspace(static_cast<unsigned char>(number[at]))) {
            ++at;
        }
        bool negative = false;
        if (at < number.size() && (number[at] == '+' || number[at] == '-')) {
            negative = number[at] == '-';
            ++at;
        }
        const std::size_t digits = at;
        long long value = 0;
        for (; at < number.size() && std::isdigit(static_cast<unsigned char>(number[at])); ++at) {
            value = std::min(value * 10 + (number[at] - '0'), 1LL << 40);
        }
        value = negative ? -value : value;
        if (at == digits || value > INT32_MAX || value < INT32_MIN) {
            return reading;
        }
        reading.numbers.push_back(value);
    }
    reading.isColor = true;
    return reading;
}

// ---- Duplicate keys ------------------------------------------------------------

// Walks the text as the library reads it and notes keys given twice in one
// object: the library keeps the later value without a word.
class DuplicateKeys final : public nlohmann::json_sax<Json> {
public:
    std::vector<std::string> duplicates;  // JSON pointers

    bool null() override { return Value(); }
    bool boolean(bool) override { return Value(); }
    bool number_integer(number_integer_t) override { return Value(); }
    bool number_unsigned(number_unsigned_t) override { return Value(); }
    bool number_float(number_float_t, const string_t&) override { return Value(); }
    bool string(string_t&) override { return Value(); }
    bool binary(binary_t&) override { return Value(); }
    bool start_object(std::size_t) override {
        const std::string path = Enter();
        frames_.push_back({true, path, {}, {}, 0});
        return true;
    }
    bool key(string_t& key) override {
        Frame& frame = frames_.back();
        if (!frame.keys.insert(key).second) {
            duplicates.push_back(frame.path + Step(key));
        }
        frame.key = key;
        return true;
    }
    bool end_object() override {
        frames_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override {
        const std::string path = Enter();
        frames_.push_back({false, path, {}, {}, 0});
        return true;
    }
    bool end_array() override {
        frames_.pop_back();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    struct Frame {
        bool object;
        std::string path;
        std::set<std::string> keys;
        std::string key;
        std::size_t index;
    };
    // The path of the value that starts here.
    std::string Enter() {
        if (frames_.empty()) {
            return "";
        }
        Frame& frame = frames_.back();
        return frame.path + (frame.object ? Step(frame.key) : "/" + std::to_string(frame.index++));
    }
    bool Value() {
        Enter();
        return true;
    }
    std::vector<Frame> frames_;
};

// ---- The checks ------------------------------------------------------------------

class ConfigChecker {
public:
    std::vector<Finding> findings;

    void Error(const std::string& path, const std::string& message) {
        findings.push_back({Severity::Error, path, message});
    }
    void Warning(const std::string& path, const std::string& message) {
        findings.push_back({Severity::Warning, path, message});
    }

    void CheckDocument(const Json& document) {
        if (!document.is_object()) {
            Error("", std::string("the document is ") + ArticleType(document) +
                          ", not an object: every lookup fails at spawn time, so nothing is ever announced and "
                          "every hunted object that spawns writes an error line to the log");
            return;
        }
        UnknownKeys("", document, {"EnableNests", "Items", "AsteroidGen2"});
        enableNests_ = false;
        if (const auto nests = document.find("EnableNests"); nests != document.end()) {
            if (!nests->is_boolean()) {
                Error("/EnableNests", TypeFailure("boolean", *nests) +
                                          " at every spawn of a structure that is not an item container: that "
                                          "structure is skipped and an error line is logged");
            } else {
                enableNests_ = nests->get<bool>();
            }
        }
        const bool asteroidsOn = CheckAsteroids(document);
        const auto items = document.find("Items");
        if (items == document.end() || items->is_null()) {
            if (!asteroidsOn) {
                Warning("/Items", "no Items: nothing is ever announced");
            }
        } else if (!items->is_object()) {
            Error("/Items", std::string("must be an object keyed by item key, not ") + ArticleType(*items) +
                                ": the lookup fails (\"cannot use operator[] with a string argument with " +
                                items->type_name() +
                                "\") for every hunted object that spawns; it is not announced and an error "
                                "line is logged");
        } else {
            for (const auto& [key, entry] : items->items()) {
                CheckItem(key, entry);
            }
        }
    }

private:
    static std::string ArticleType(const Json& value) {
        const std::string name = value.type_name();
        return (name == "array" || name == "object" ? "an " : "a ") + name;
    }

    static std::string TypeFailure(const char* expected, const Json& value) {
        return std::string("is ") + ArticleType(value) + ", not a " + expected + ": the lookup fails (\"type must be " +
               expected + ", but is " + value.type_name() + "\")";
    }

    void UnknownKeys(const std::string& path, const Json& object, std::initializer_list<std::string_view> known) {
        for (const auto& [key, value] : object.items()) {
            if (std::find(known.begin(), known.end(), key) != known.end()) {
                continue;
            }
            std::string_view nearest = *known.begin();
            for (const std::string_view candidate : known) {
                if (EditDistance(key, candidate) < EditDistance(key, nearest)) {
                    nearest = candidate;
                }
            }
            Warning(path + Step(key), "unknown key " + Quote(key) +
                                          ", never read by the plugin (nearest known key: " + Quote(nearest) + ")");
        }
    }

    // A key is made from an instance name such as SupplyCrate_Level03_C_5 by
    // cutting after its first "_C_", so it never holds "_C_" itself, and for
    // the game's names (CLASS_C_NUMBER) it ends in "_C".
    void CheckItem(const std::string& key, const Json& entry) {
        const std::string path = "/Items" + Step(key);
        const bool ocean = ContainsIgnoringCase(key, OceanCrateFragment);
        const bool hunted = std::any_of(SpawnFragments.begin(), SpawnFragments.end(),
                                        [&](std::string_view fragment) { return ContainsIgnoringCase(key, fragment); });
        AnnouncementKind kind = ocean ? AnnouncementKind::OceanCrate : AnnouncementKind::Structure;
        const std::size_t cut = Lower(key).find("_c_");
        if (cut != std::string::npos) {
            Warning(path,
                    "no spawned object's name produces this key: a name is cut after its first \"_C_\", "
                    "dropping the instance number, so this entry is never found (did you mean " +
                        Quote(key.substr(0, cut + 2)) + "?)");
        } else if (!EndsWithIgnoringCase(key, "_C")) {
            Warning(path, std::string("no spawned object's name produces this key: names have the form "
                                      "CLASS_C_NUMBER, whose key ends in \"_C\"") +
                              (hunted || ocean ? ""
                                               : ", and it holds none of SupplyCrate, ElementNode, ArtifactCrate, "
                                                 "Nest_C, BeaverDam or SupplyCreate_OceanInstant_High_C"));
        } else if (!hunted && !ocean) {
            // Only a creature's key can be meant: nests are looked up under
            // the creature that laid them.
            kind = AnnouncementKind::Creature;
            if (!enableNests_) {
                Warning(path,
                        "this key can only be a creature's (nests are looked up under the creature that laid "
                        "them), but EnableNests is not true, so nests are never announced");
            }
        }

        if (entry.is_null()) {
            Warning(path, "null: this kind is not announced");
            return;
        }
        if (!entry.is_object()) {
            Error(path, std::string("an entry must be an object, not ") + ArticleType(entry) +
                            ": when it spawns, the lookup of its Name fails (\"cannot use value() with " +
                            entry.type_name() + "\"); that announcement is skipped and an error line is logged");
            return;
        }
        UnknownKeys(path, entry, {"Name", "Notification"});
        if (const auto name = entry.find("Name"); name != entry.end() && !name->is_string()) {
            Error(path + "/Name", TypeFailure("string", *name) +
                                      " when it spawns: that announcement is skipped and an error line is logged");
        }
        const auto notification = entry.find("Notification");
        CheckTemplate(path + "/Notification", notification != entry.end() ? &*notification : nullptr, kind);
    }

    void CheckTemplate(const std::string& path, const Json* notification, AnnouncementKind kind) {
        const std::string failure = kind == AnnouncementKind::Asteroid
                                        ? " at each asteroid announcement: it is skipped and an error line is logged"
                                        : " when it spawns: that announcement is skipped and an error line is logged";
        if (notification == nullptr || notification->is_null()) {
            Warning(path, "no Notification: nothing is sent");
            return;
        }
        if (!notification->is_object()) {
            Warning(path, "is " + ArticleType(*notification) + ", not an object: nothing is sent");
            return;
        }
        const Json& fields = *notification;
        UnknownKeys(path, fields, {"Msg", "Type", "Time", "Size", "Color", "Sender"});

        const auto message = fields.find("Msg");
        if (message != fields.end() && !message->is_string()) {
            Error(path + "/Msg", TypeFailure("string", *message) + failure);
        } else if (message == fields.end() || message->get<std::string>().empty()) {
            Warning(path + "/Msg", message == fields.end() ? "no Msg: nothing is sent" : "empty Msg: nothing is sent");
        } else {
            CheckPlaceholders(path + "/Msg", message->get<std::string>(), kind);
        }

        bool onScreen = true;
        if (const auto type = fields.find("Type"); type != fields.end()) {
            if (!type->is_string()) {
                Error(path + "/Type", TypeFailure("string", *type) + failure);
            } else if (type->get<std::string>() != "Notification") {
                onScreen = false;
                Warning(path + "/Type", "Type " + Quote(type->get<std::string>()) +
                                            " is not exactly \"Notification\": the message is sent as a chat line");
            }
        }

        // Keys the chosen delivery never reads cannot fail; a wrong type there
        // only bites once Type changes.
        const auto unread = [&](const std::string& key, const char* expected) {
            Warning(path + "/" + key, std::string("is not ") + expected + ", but is not read for " +
                                          (onScreen ? "on-screen notifications" : "chat lines") +
                                          "; it would fail if Type changed");
        };
        if (const auto time = fields.find("Time"); time != fields.end()) {
            if (!time->is_number() && !time->is_boolean()) {
                onScreen ? Error(path + "/Time", TypeFailure("number", *time) + failure) : unread("Time", "a number");
            } else if (time->is_number_float() && onScreen) {
                const double value = time->get<double>();
                if (value != static_cast<double>(static_cast<long long>(value))) {
                    Warning(path + "/Time", "the fraction is dropped: " + time->dump() + " is read as " +
                                                std::to_string(static_cast<long long>(value)));
                }
            }
        }
        if (const auto size = fields.find("Size"); size != fields.end() && !size->is_number()) {
            onScreen ? Error(path + "/Size", TypeFailure("number", *size) + failure) : unread("Size", "a number");
        }
        if (const auto sender = fields.find("Sender"); sender != fields.end() && !sender->is_string()) {
            onScreen ? unread("Sender", "a string") : Error(path + "/Sender", TypeFailure("string", *sender) + failure);
        }
        const auto color = fields.find("Color");
        if (kind == AnnouncementKind::Asteroid) {
            if (color != fields.end()) {
                Warning(path + "/Color",
                        "has no effect: each asteroid announcement takes its colour from "
                        "AsteroidGen2/Color for its code");
            }
        } else if (color != fields.end() && !color->is_string()) {
            onScreen ? Error(path + "/Color", TypeFailure("string", *color) + failure) : unread("Color", "a string");
        } else if (onScreen) {
            if (color == fields.end()) {
                Warning(path + "/Color", "no Color: the notification shows green");
            } else {
                CheckColor(path + "/Color", color->get<std::string>());
            }
        }
    }

    void CheckColor(const std::string& path, const std::string& text) {
        const ColorReading reading = ReadColor(text);
        if (!reading.isColor) {
            Warning(path, Quote(text) +
                              " is not a colour (\"Random\" or three numbers 0 to 255, red first, such as "
                              "\"255,128,0\"): it shows green");
            return;
        }
        for (const long long number : reading.numbers) {
            if (number < 0 || number > 255) {
                Warning(path, "in " + Quote(text) + ", " + std::to_string(number) +
                                  " is outside 0 to 255 and shows as " + std::to_string(number & 0xFF));
            }
        }
    }

    void CheckPlaceholders(const std::string& path, const std::string& message, AnnouncementKind kind) {
        const std::vector<std::string_view> filled = FilledPlaceholders(kind);
        std::map<std::string, int> seen;
        for (std::size_t open = message.find('{'); open != std::string::npos; open = message.find('{', open + 1)) {
            const std::size_t close = message.find('}', open);
            if (close == std::string::npos) {
                break;
            }
            const std::string word = message.substr(open + 1, close - open - 1);
            if (word.empty() ||
                !std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isalpha(c); })) {
                continue;
            }
            const std::string token = "{" + word + "}";
            if (++seen[token] == 2 && std::find(filled.begin(), filled.end(), token) != filled.end()) {
                Warning(path, token + " is written twice: only the first is filled, the second stays as written");
            }
            if (seen[token] != 1) {
                continue;
            }
            const auto known = std::find(Placeholders.begin(), Placeholders.end(), token);
            if (known != Placeholders.end()) {
                if (std::find(filled.begin(), filled.end(), token) == filled.end()) {
                    Warning(
                        path,
                        token + " is not filled in " + KindWords(kind) + ": it stays as written" +
                            (token == "{EggLvl}" ? " (only a nest looked up under its creature's key fills it)" : ""));
                }
                continue;
            }
            const auto otherCase =
                std::find_if(Placeholders.begin(), Placeholders.end(),
                             [&](std::string_view placeholder) { return Lower(placeholder) == Lower(token); });
            if (otherCase != Placeholders.end()) {
                Warning(path, token +
                                  " is written in other case: placeholders are matched exactly, so it stays as "
                                  "written (write " +
                                  std::string(*otherCase) + ")");
            } else {
                Warning(path, token + " is not a placeholder: it stays as written");
            }
        }
    }

    // Gives whether asteroid announcements are on.
    bool CheckAsteroids(const Json& document) {
        const auto asteroids = document.find("AsteroidGen2");
        if (asteroids == document.end() || asteroids->is_null()) {
            Warning("/AsteroidGen2",
                    "no AsteroidGen2: on the map Gen2 every asteroid crate (a name with SupplyCrate_Space_) that "
                    "spawns writes an error line (\"cannot use value() with null\"); add \"AsteroidGen2\": "
                    "{\"Enable\": false} to switch asteroid announcements off quietly");
            return false;
        }
        if (!asteroids->is_object()) {
            Error("/AsteroidGen2", std::string("must be an object, not ") + ArticleType(*asteroids) +
                                       ": on the map Gen2 every asteroid crate that spawns gets no asteroid "
                                       "announcement and writes an error line (\"cannot use value() with " +
                                       asteroids->type_name() + "\")");
            return false;
        }
        UnknownKeys("/AsteroidGen2", *asteroids,
                    {"Enable", "Color", "Name", "PrimaryResources", "SecondaryResources", "Notification"});
        const auto enable = asteroids->find("Enable");
        if (enable == asteroids->end()) {
            return false;
        }
        if (!enable->is_boolean()) {
            Error("/AsteroidGen2/Enable", TypeFailure("boolean", *enable) +
                                              " at every asteroid crate that spawns on Gen2: it gets no asteroid "
                                              "announcement and an error line is logged");
            return false;
        }
        if (!enable->get<bool>()) {
            return false;
        }
        for (const char* map : {"Color", "Name", "PrimaryResources", "SecondaryResources"}) {
            const std::string path = std::string("/AsteroidGen2/") + map;
            const auto codes = asteroids->find(map);
            if (codes == asteroids->end() || !codes->is_object()) {
                Error(path, std::string(codes == asteroids->end() ? "missing"
                                                                  : "is " + ArticleType(*codes) + ", not an object") +
                                " while asteroid announcements are on: every asteroid announcement fails (\"cannot use "
                                "value() with " +
                                (codes == asteroids->end() ? std::string("null") : std::string(codes->type_name())) +
                                "\"); it is skipped and an error line is logged. Write {} for no entries");
                continue;
            }
            for (const auto& [code, value] : codes->items()) {
                if (!value.is_string()) {
                    Error(path + Step(code),
                          TypeFailure("string", value) +
                              " when an asteroid with this code spawns: its asteroid announcement is "
                              "skipped and an error line is logged");
                } else if (std::string_view(map) == "Color") {
                    CheckColor(path + Step(code), value.get<std::string>());
                }
            }
        }
        const auto notification = asteroids->find("Notification");
        CheckTemplate("/AsteroidGen2/Notification", notification != asteroids->end() ? &*notification : nullptr,
                      AnnouncementKind::Asteroid);
        return true;
    }

    bool enableNests_ = false;
};

}  // namespace

std::vector<Finding> CheckConfigFile(const std::string& path) {
    ConfigChecker checker;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        checker.Error("", "can't open " + path +
                              ": the plugin refuses to load (\"Can't open config.json\"), and a "
                              "reload keeps the previous settings");
        return checker.findings;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const std::string text = bytes.str();

    // Read as the plugin reads it: one value from the start, the rest unexamined.
    std::istringstream stream(text);
    Json document;
    try {
        stream >> document;
    } catch (const Json::exception& error) {
        checker.Error("", std::string("can't be parsed: ") + error.what() +
                              ". The plugin refuses to load, and a reload keeps the previous settings");
        return checker.findings;
    }
    std::string rest;
    for (char c; stream.get(c);) {
        rest += c;
    }
    if (rest.find_first_not_of(" \t\r\n") != std::string::npos) {
        checker.Warning("", "text after the document's end is ignored");
    }
    DuplicateKeys duplicates;
    Json::sax_parse(text, &duplicates, nlohmann::json::input_format_t::json, false);
    for (const std::string& duplicate : duplicates.duplicates) {
        checker.Warning(duplicate, "given twice in one object: the later value is used");
    }
    checker.CheckDocument(document);
    return checker.findings;
}

int CheckExitStatus(const std::vector<Finding>& findings) {
    int status = 0;
    for (const Finding& finding : findings) {
        status = std::max(status, finding.severity == Severity::Error ? 2 : 1);
    }
    return status;
}

int CheckCommand(const std::string& path, bool json, std::ostream& out) {
    const std::vector<Finding> findings = CheckConfigFile(path);
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
        const std::size_t warnings = findings.size() - errors;
        out << path << ": "
            << (findings.empty() ? std::string("nothing to report")
                                 : std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
                                       std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings"))
            << "\n";
    }
    return CheckExitStatus(findings);
}

}  // namespace Herald
