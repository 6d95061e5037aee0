#include "scenario/Scenario.h"

#include <filesystem>
#include <new>
#include <nlohmann/json.hpp>
#include <set>

#include "common/Output.h"
#include "scenario/ScenarioValues.h"

namespace Herald {

namespace {

using namespace ScenarioFormat;

// ---- Reading as the parser goes ------------------------------------------------
//
// The parser reports values as it meets them. Only one item is built as a
// document at a time: a value of the scenario's own keys ("config", "map", ...),
// one player, or one event; each event is checked (first pass) or played
// (second pass) as soon as it ends and then dropped.

enum class Pass { Check, Play };

// What an open array or object is, and so what becomes of its values.
enum class Role {
    Scenario,  // the scenario object itself
    Players,   // "players": each element read as it ends
    Events,    // "events": each element checked or played as it ends
    Build,     // inside an item that is being built
    Skip,      // read only to find its end
};

struct Frame {
    Role role;
    bool object;
    std::size_t elements = 0;  // arrays: elements begun so far
    std::string key;           // objects: the key whose value comes next
    Json* node = nullptr;      // Build: the array or object being filled
};

class ScenarioReader final : public nlohmann::json_sax<Json> {
public:
    ScenarioReader(Pass pass, std::string file, const EventPlayer* play)
        : pass_(pass), file_(std::move(file)), reader_(file_, ""), play_(play) {}

    bool null() override { return Scalar(nullptr); }
    bool boolean(bool value) override { return Scalar(value); }
    bool number_integer(number_integer_t value) override { return Scalar(value); }
    bool number_unsigned(number_unsigned_t value) override { return Scalar(value); }
    bool number_float(number_float_t value, const string_t&) override { return Scalar(value); }
    bool string(string_t& value) override { return Scalar(std::move(value)); }
    bool binary(binary_t& value) override { return Scalar(Json::binary(std::move(value))); }
    bool start_object(std::size_t) override { return Start(true); }
    bool start_array(std::size_t) override { return Start(false); }
    bool end_object() override { return End(); }
    bool end_array() override { return End(); }

    bool key(string_t& key) override {
        Frame& frame = frames_.back();
        const bool repeated = frame.role == Role::Scenario ? !scenarioKeys_.insert(key).second
                              : frame.role == Role::Build  ? frame.node->contains(key)
                                                           : false;
        if (repeated) {
            // Last-wins would let a second "events" silently replace the first.
            return Fail(Where("the key \"" + key + "\" is given twice"));
        }
        frame.key = std::move(key);
        return true;
    }

    bool parse_error(std::size_t position, const std::string& token,
                     const nlohmann::detail::exception& error) override {
        if (error.id == 406) {
            // The token can be a whole file of digits: quote its start only.
            const std::string number = token.size() > 40 ? token.substr(0, 40) + "..." : token;
            return Fail("the number " + number + " (at byte " + std::to_string(position) +
                        ") is beyond the range of a double");
        }
        return Fail(std::string("not valid JSON: ") + error.what());
    }

    // After the parser ran over the whole file: the checks in the order of
    // the keys' meaning, whatever their order in the file.
    ScenarioSetup Finish(bool parsed) {
        if (!parsed) {
            throw ScenarioError(file_ + ": " + failure_);
        }
        if (pass_ == Pass::Play) {
            return {};
        }
        if (!rootType_.empty()) {
            reader_.Fail("a scenario is one JSON object, not " + rootType_);
        }
        reader_.OnlyKeys(header_, ScenarioKeys);
        setup_.configText = ReadConfigSource(reader_, header_, "config", "config_text", false);
        setup_.serverReady = reader_.Boolean(header_, "server_ready", true);
        setup_.map = reader_.Text(header_, "map", DefaultMap);
        if (header_.contains("world_settings")) {
            const Json& settings = reader_.Object(header_, "world_settings");
            const Reader inside = reader_.Inside("\"world_settings\"");
            inside.OnlyKeys(settings, WorldSettingKeys);
            setup_.worldSettings = ReadWorldSettings(inside, settings);
        }
        for (const char* list : {"players", "events"}) {
            const auto found = header_.find(list);
            if (found != header_.end() && !found->is_array()) {
                reader_.Fail(std::string("\"") + list + "\" must be an array, not " + found->type_name());
            }
            const std::optional<ScenarioError>& error =
                std::string_view(list) == "players" ? playerError_ : eventError_;
            if (error) {
                throw *error;
            }
        }
        return std::move(setup_);
    }

private:
    bool Fail(std::string what) {
        failure_ = std::move(what);
        return false;
    }

    // Where the parser is, for messages: the item ("event 3", "\"players\"[1]",
    // "\"config\"") and the JSON pointer inside it.
    std::string Where(const std::string& what, bool withPointer = true) const {
        std::string item;
        std::string pointer;  // escaped here: the JSON library's text takes time in the square of a key's "/"s
        for (std::size_t i = 0; i + 1 < frames_.size(); ++i) {
            const Frame& frame = frames_[i];
            const std::string step = frame.object ? frame.key : std::to_string(frame.elements - 1);
            if (frame.role == Role::Events) {
                item = "event " + step;
            } else if (frame.role == Role::Players) {
                item = "\"players\"[" + step + "]";
            } else if (frame.role == Role::Scenario) {
                item = "\"" + step + "\"";
            } else {
                pointer += frame.object ? PointerStep(step) : "/" + step;
            }
        }
        const bool at = withPointer && !pointer.empty();
        return (item.empty() ? "" : item + ": ") + what + (at ? " at " + pointer : "");
    }

    // What an array or object opened inside `parent` is.
    Role ChildRole(const Frame& parent, bool array) const {
        switch (parent.role) {
            case Role::Scenario:
                if (array && parent.key == "players") {
                    return pass_ == Pass::Check ? Role::Players : Role::Skip;
                }
                if (array && parent.key == "events") {
                    return Role::Events;
                }
                return pass_ == Pass::Check && IsScenarioKey(parent.key) ? Role::Build : Role::Skip;
            case Role::Players:
            case Role::Events:
            case Role::Build:
                return Role::Build;
            case Role::Skip:
                break;
        }
        return Role::Skip;
    }

    // Places a value in the array or object being built; gives where it is.
    static Json* Insert(Frame& parent, Json&& value) {
        if (parent.object) {
            Json& slot = (*parent.node)[parent.key];
            slot = std::move(value);
            return &slot;
        }
        parent.node->push_back(std::move(value));
        return &parent.node->back();
    }

    bool Scalar(Json&& value) {
        if (frames_.empty()) {
            rootType_ = value.type_name();
            return true;
        }
        Frame& parent = frames_.back();
        if (!parent.object) {
            ++parent.elements;
        }
        if (parent.role == Role::Build) {
            Insert(parent, std::move(value));
            return true;
        }
        if (parent.role == Role::Skip) {
            return true;
        }
        if (parent.role == Role::Scenario && (pass_ == Pass::Play || !IsScenarioKey(parent.key))) {
            if (pass_ == Pass::Check) {
                header_[parent.key] = nullptr;
            }
            return true;
        }
        return Complete(parent, std::move(value));
    }

    bool Start(bool object) {
        if (static_cast<int>(frames_.size()) >= ScenarioDepthLimit) {
            return Fail(Where(
                "nested more than " + std::to_string(ScenarioDepthLimit) + " levels deep (arrays and objects)", false));
        }
        if (frames_.empty()) {
            if (!object) {
                rootType_ = "array";
            }
            frames_.push_back({object ? Role::Scenario : Role::Skip, object});
            return true;
        }
        Frame& parent = frames_.back();
        if (!parent.object) {
            ++parent.elements;
        }
        const Role role = ChildRole(parent, !object);
        Json* node = nullptr;
        if (role == Role::Build) {
            Json container = object ? Json::object() : Json::array();
            if (parent.role == Role::Build) {
                node = Insert(parent, std::move(container));
            } else {
                item_ = std::move(container);
                node = &item_;
            }
        } else if (parent.role == Role::Scenario && pass_ == Pass::Check) {
            // The scenario's lists are read element by element; what stands
            // in the header only says they were given.
            header_[parent.key] = role == Role::Skip ? Json(nullptr) : Json::array();
        }
        frames_.push_back({role, object, 0, {}, node});
        return true;
    }

    bool End() {
        const Role role = frames_.back().role;
        frames_.pop_back();
        if (role != Role::Build || frames_.empty() || frames_.back().role == Role::Build) {
            return true;
        }
        return Complete(frames_.back(), std::move(item_));
    }

    // An item has been read whole.
    bool Complete(Frame& parent, Json&& item) {
        const std::size_t index = parent.elements - 1;
        switch (parent.role) {
            case Role::Scenario:
                header_[parent.key] = std::move(item);
                break;
            case Role::Players:
                if (!playerError_) {
                    try {
                        setup_.players.push_back(ReadListedPlayer(reader_, item, index));
                    } catch (const ScenarioError& error) {
                        playerError_ = error;
                    }
                }
                break;
            case Role::Events:
                if (pass_ == Pass::Play) {
                    (*play_)(index, ReadEvent(reader_, item, index));
                } else if (!eventError_) {
                    try {
                        ReadEvent(reader_, item, index);
                    } catch (const ScenarioError& error) {
                        eventError_ = error;
                    }
                }
                break;
            case Role::Build:
            case Role::Skip:
                break;
        }
        item_ = nullptr;
        return true;
    }

    Pass pass_;
    std::string file_;
    Reader reader_;
    const EventPlayer* play_;
    std::vector<Frame> frames_;
    std::set<std::string> scenarioKeys_;
    Json header_ = Json::object();  // the scenario's own keys, lists only marked
    Json item_;
    std::string rootType_;  // set when the file holds something other than an object
    std::string failure_;
    // Kept until the end: a syntax error later in the file, or a wrong value
    // of an earlier key, is what an admin must hear first.
    std::optional<ScenarioError> playerError_;
    std::optional<ScenarioError> eventError_;
    ScenarioSetup setup_;
};

// Library errors become the scenario's: whatever goes wrong reading it is
// said with the file's name, never an abort.
// What the events' player raises passes through unchanged.
template <typename Parse>
ScenarioSetup Read(const std::string& file, Pass pass, const EventPlayer* play, Parse parse) {
    try {
        ScenarioReader reader(pass, file, play);
        const bool parsed = parse(reader);
        return reader.Finish(parsed);
    } catch (const ScenarioError&) {
        throw;
    } catch (const Json::exception& error) {
        throw ScenarioError(file + ": " + error.what());
    } catch (const std::bad_alloc& error) {
        throw ScenarioError(file + ": too large to read (" + error.what() + ")");
    }
}

}  // namespace

std::ifstream OpenScenario(const std::string& path) {
    namespace fs = std::filesystem;
    const Reader file(path, "");
    // Looked at before opening: opening a pipe already blocks.
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        file.Fail("can't open the file: " + error.message());
    }
    if (fs::is_directory(status)) {
        file.Fail("is a folder, not a scenario file");
    }
    if (!fs::is_regular_file(status)) {
        file.Fail("is not a regular file (a pipe, a device or a socket); a scenario is read from a file");
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        file.Fail("can't open the file");
    }
    return stream;
}

ScenarioSetup CheckScenario(std::istream& bytes, const std::string& file) {
    return Read(file, Pass::Check, nullptr, [&](ScenarioReader& reader) { return Json::sax_parse(bytes, &reader); });
}

ScenarioSetup CheckScenarioText(std::string_view text, const std::string& file) {
    return Read(file, Pass::Check, nullptr,
                [&](ScenarioReader& reader) { return Json::sax_parse(text.begin(), text.end(), &reader); });
}

void PlayEvents(std::istream& bytes, const std::string& file, const EventPlayer& play) {
    Read(file, Pass::Play, &play, [&](ScenarioReader& reader) { return Json::sax_parse(bytes, &reader); });
}

}  // namespace Herald
