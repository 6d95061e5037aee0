#include "schema/Schema.h"

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>

#include "common/Output.h"
#include "config/ConfigKeys.h"
#include "config/DeliveryValues.h"
#include "config/PlayersReaders.h"
#include "config/RelayReaders.h"

namespace Herald {

namespace {

// Keys keep the order they are added in: the schema reads as the table does.
using OrderedJson = nlohmann::ordered_json;

constexpr std::string_view SchemaDescription =
    "What SkyCrateHerald announces to players, and how. Read when the plugin loads and at every "
    "SkyCrateHerald.Reload; keys are case-sensitive. `herald check` says what the plugin would do with every value.";

// The forms an editor can hold a value to. A colour is held to the form check
// passes quietly: three plain numbers 0 to 255, or "Random". An item key is
// what the cut after the first "_C_" can give for the game's CLASS_C_NUMBER
// names: a key ending in "_C" with no "_C_" in it.
constexpr std::string_view ColorByte = " *0*(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9]) *";
constexpr std::string_view NoZeroCharacter = "^[^\\u0000]*$";
constexpr std::string_view ItemKeyEnding = "_[Cc]$";
constexpr std::string_view ItemKeyCut = "_[Cc]_";
// A webhook as the relay takes it: Discord's own form over https://, any
// path over http:// to a loopback host, the scheme in any case, a port of
// digits, and no user, backslash, space or control character.
constexpr std::string_view WebhookPattern =
    "^([Hh][Tt][Tt][Pp][Ss]://(\\[[^\\]\\\\/?#@\\s\\u0000-\\u001f\\u007f]*\\]|[^/"
    "?#@:\\[\\]\\\\\\s\\u0000-\\u001f\\u007f]+)"
    "(:[0-9]{1,5})?/api/webhooks/[0-9]+/[A-Za-z0-9_-]+(\\?thread_id=[0-9]+)?"
    "|[Hh][Tt][Tt][Pp]://([Ll][Oo][Cc][Aa][Ll][Hh][Oo][Ss][Tt]|127(\\.[0-9]{1,3}){3}|\\[::1\\])(:[0-9]{1,5})?"
    "([/?#][^\\\\\\s\\u0000-\\u001f\\u007f]*)?)$";

std::string ColorPattern() {
    const std::string byte(ColorByte);
    return "^(" + std::string(RandomColorText) + "|" + byte + "," + byte + "," + byte + ")$";
}

OrderedJson DefaultValue(const ConfigKey& key) {
    const std::string text = key.defaultValue.Text();
    return key.type == KeyType::String ? OrderedJson(text) : OrderedJson::parse(text);
}

// The meaning, and when the key must be there.
std::string Meaning(const ConfigKey& key) {
    std::string text(key.meaning);
    if (!key.requiredWhen.empty()) {
        text += " Required while " + std::string(key.requiredWhen) + " is true ({} for none).";
    }
    return text;
}

std::string Description(const ConfigKey& key) {
    std::string text = Meaning(key);
    if (!key.defaultWords.empty()) {
        text += " Default: " + std::string(key.defaultWords) + ".";
    }
    return text;
}

// What a text of the form must be, added to its schema.
void AddForm(KeyForm form, OrderedJson& schema) {
    switch (form) {
        case KeyForm::PlayerText:
            schema["pattern"] = NoZeroCharacter;
            break;
        case KeyForm::Color:
            schema["pattern"] = ColorPattern();
            schema["examples"] = {"0,255,0", "255,128,0", std::string(RandomColorText)};
            break;
        case KeyForm::DeliveryType:
            schema["enum"] = {std::string(NotificationType), std::string(ChatType)};
            break;
        case KeyForm::ItemKeys:
            schema["propertyNames"] = {{"pattern", ItemKeyEnding}, {"not", {{"pattern", ItemKeyCut}}}};
            break;
        case KeyForm::GroupName:
            schema["pattern"] = "^[A-Za-z0-9_-]{1," + std::to_string(GroupNameLimit) + "}$";
            break;
        case KeyForm::ChatCommand:
            schema["pattern"] = "^/[A-Za-z0-9]{1," + std::to_string(ChatCommandNameLimit) + "}$";
            break;
        case KeyForm::FilePath:
            schema["minLength"] = 1;
            schema["pattern"] = NoZeroCharacter;
            break;
        case KeyForm::WebhookUrl:
            schema["maxLength"] = WebhookLimit;
            schema["pattern"] = WebhookPattern;
            break;
        case KeyForm::DiscordId:
            schema["pattern"] =
                "^[0-9]{" + std::to_string(DiscordIdDigits.first) + "," + std::to_string(DiscordIdDigits.second) + "}$";
            break;
        case KeyForm::Any:
            break;
    }
}

// The schema of one key's own value, without its members.
OrderedJson ValueSchema(const ConfigKey& key) {
    OrderedJson schema;
    if (key.type == KeyType::NoEffect) {
        schema["not"] = OrderedJson::object();
        schema["description"] = Description(key);
        return schema;
    }
    schema["type"] = std::string(TypeName(key.type));
    if (key.type == KeyType::TextList) {
        // Each text has the key's form; a list of none would choose nothing.
        OrderedJson item{{"type", "string"}};
        AddForm(key.form, item);
        schema["items"] = std::move(item);
        schema["minItems"] = 1;
        if (key.form == KeyForm::DiscordId) {
            schema["maxItems"] = MentionLimit;
        }
    } else {
        AddForm(key.form, schema);
    }
    if (key.type == KeyType::Integer) {
        schema["minimum"] = std::numeric_limits<std::int32_t>::min();
        schema["maximum"] = std::numeric_limits<std::int32_t>::max();
        // The game takes it as a float, which holds every whole number up to
        // 2^24, and past 2^(24+k) only the multiples of 2^(k+1).
        OrderedJson exact = OrderedJson::array();
        for (int k = 0; k <= 7; ++k) {
            const std::int64_t bound = std::int64_t{1} << (24 + k);
            OrderedJson range = {{"minimum", -bound}, {"maximum", bound}};
            if (k > 0) {
                range["multipleOf"] = std::int64_t{1} << k;
            }
            exact.push_back(std::move(range));
        }
        schema["anyOf"] = std::move(exact);
    }
    if (key.type == KeyType::Count) {
        schema["minimum"] = 0;
        schema["maximum"] = std::numeric_limits<std::int32_t>::max();
    }
    if (key.defaultValue.Given()) {
        schema["default"] = DefaultValue(key);
    }
    schema["description"] = Description(key);
    return schema;
}

// The members the table knows under an object key: named ones as properties,
// "*" as every other member; an object without "*" takes no other member.
void AddMembers(std::string_view pointer, OrderedJson& schema) {
    // The schema of the key at `member`, with its own members.
    const auto memberSchema = [](const std::string& member, const ConfigKey& key) {
        OrderedJson value = ValueSchema(key);
        if (key.type == KeyType::Object) {
            AddMembers(member, value);
        }
        return value;
    };
    std::vector<std::string> required;
    std::vector<std::string> always;
    std::string_view condition;
    for (const std::string_view name : KeyNamesUnder(pointer)) {
        const std::string member = std::string(pointer) + "/" + std::string(name);
        const ConfigKey& key = *FindConfigKey(member);
        schema["properties"][std::string(name)] = memberSchema(member, key);
        if (!key.requiredWhen.empty()) {
            required.emplace_back(name);
            condition = key.requiredWhen;
        }
        // Without its address the relay has nowhere to post, whatever else is set.
        if (key.form == KeyForm::WebhookUrl) {
            always.emplace_back(name);
        }
    }
    const std::string any = std::string(pointer) + "/*";
    const ConfigKey* anyKey = FindConfigKey(any);
    schema["additionalProperties"] = anyKey != nullptr ? memberSchema(any, *anyKey) : OrderedJson(false);
    if (!always.empty()) {
        schema["required"] = always;
    }
    if (!required.empty()) {
        // Only a boolean that is there and true asks for the others.
        const std::string flag(condition);
        schema["if"] = {{"properties", {{flag, {{"const", true}}}}}, {"required", {flag}}};
        schema["then"] = {{"required", required}};
    }
}

// A table cell: no line break, and a "|" that does not end the cell.
std::string Cell(std::string_view text) { return Substituted(text, {{'|', "\\|"}}); }

std::string DefaultCell(const ConfigKey& key) {
    if (!key.defaultWords.empty()) {
        return Cell(key.defaultWords);
    }
    if (!key.defaultValue.Given()) {
        return "none";
    }
    return "`" + DefaultValue(key).dump() + "`";
}

// A list says what it holds.
std::string TypeCell(const ConfigKey& key) {
    return key.type == KeyType::TextList ? "array of strings" : std::string(TypeName(key.type));
}

}  // namespace

std::string ConfigSchemaText() {
    OrderedJson schema;
    schema["$schema"] = "https://json-schema.org/draft/2020-12/schema";
    schema["title"] = "SkyCrateHerald config.json";
    schema["description"] = SchemaDescription;
    schema["type"] = "object";
    AddMembers("", schema);
    return schema.dump(2) + "\n";
}

std::string KeyReferenceMarkdown() {
    std::string table = "| Key | Type | Default | Read for | Meaning |\n|---|---|---|---|---|\n";
    for (const ConfigKey& key : ConfigKeys()) {
        const std::string path = Substituted(key.Pointer().substr(1), {{'/', " → "}});
        table += "| `" + path + "` | " + TypeCell(key) + " | " + DefaultCell(key) + " | " + Cell(key.readFor) + " | " +
                 Cell(Meaning(key)) + " |\n";
    }
    return table;
}

}  // namespace Herald
