#include "config/RelayReaders.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/PlayersReaders.h"
#include "config/StoreAddress.h"

// The readers of Discord, in a file of their own, as PlayersReaders.cpp is.

using Json = nlohmann::json;

namespace {

constexpr std::string_view SecureScheme = "https://";
constexpr std::string_view PlainScheme = "http://";
constexpr std::string_view Ellipsis = "…";

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char lowerPrefix, char textChar) { return LowerAscii(textChar) == lowerPrefix; });
}

std::size_t SchemeLength(std::string_view address) {
    if (StartsWithIgnoringCase(address, SecureScheme)) {
        return SecureScheme.size();
    }
    return StartsWithIgnoringCase(address, PlainScheme) ? PlainScheme.size() : 0;
}

// What stands between the scheme and the path: the host and its port, after
// any user's name and password, which are as secret as the rest.
std::string_view Authority(std::string_view address) {
    const std::size_t scheme = SchemeLength(address);
    if (scheme == 0) {
        return {};
    }
    std::string_view rest = address.substr(scheme);
    rest = rest.substr(0, rest.find_first_of("/?#\\"));
    if (const std::size_t user = rest.rfind('@'); user != std::string_view::npos) {
        rest.remove_prefix(user + 1);
    }
    return rest;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f'); }

// What a host name is written in: letters, digits, '-' and '.' ('_' too, which
// some names hold).
bool IsHostCharacter(char c) {
    const char lower = LowerAscii(c);
    return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// What may follow a host in an address: ':' and a port of digits.
bool IsPort(std::string_view text) { return text.size() <= 6 && text.starts_with(':') && AllDigits(text.substr(1)); }

// What follows the host of a webhook's address as Discord gives it:
// /api/webhooks/ID/TOKEN, and at most ?thread_id=ID.
bool DiscordsForm(std::string_view path) {
    constexpr std::string_view Prefix = "/api/webhooks/";
    if (!path.starts_with(Prefix)) {
        return false;
    }
    path.remove_prefix(Prefix.size());
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos || !AllDigits(path.substr(0, slash))) {
        return false;
    }
    path.remove_prefix(slash + 1);
    const std::size_t query = path.find('?');
    const std::string_view token = path.substr(0, query);
    if (token.empty() ||
        !std::all_of(token.begin(), token.end(), [](char c) { return IsHostCharacter(c) && c != '.'; })) {
        return false;
    }
    if (query == std::string_view::npos) {
        return true;
    }
    constexpr std::string_view Thread = "?thread_id=";
    const std::string_view rest = path.substr(query);
    return rest.starts_with(Thread) && AllDigits(rest.substr(Thread.size()));
}

std::string_view HostOf(std::string_view authority) {
    if (authority.starts_with('[')) {
        return authority.substr(0, authority.find(']') + 1);
    }
    return authority.substr(0, authority.find(':'));
}

bool IsLoopbackHost(std::string_view host) {
    std::string folded(host);
    std::transform(folded.begin(), folded.end(), folded.begin(), LowerAscii);
    if (folded == "localhost" || folded == "[::1]") {
        return true;
    }
    if (!folded.starts_with("127.")) {
        return false;
    }
    // Four numbers of 0 to 255.
    int parts = 0;
    int digits = 0;
    int value = 0;
    for (const char c : folded) {
        if (c == '.') {
            if (digits == 0) {
                return false;
            }
            ++parts;
            digits = 0;
            value = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            value = value * 10 + (c - '0');
            ++digits;
            if (value > 255) {
                return false;
            }
        } else {
            return false;
        }
    }
    return parts == 3 && digits > 0;
}

// Where an address quoted in a text ends.
bool EndsAnAddress(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F || c == '"' || c == '\'';
}

}  // namespace

bool IsWebAddress(std::string_view text) { return SchemeLength(text) != 0; }

namespace {

bool HoldsWebAddress(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (IsWebAddress(text.substr(at))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string WithoutAddresses(std::string_view text) {
    std::string shown;
    std::size_t at = 0;
    while (at < text.size()) {
        if (!IsWebAddress(text.substr(at))) {
            shown += text[at++];
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && !EndsAnAddress(text[end])) {
            ++end;
        }
        shown += WebhookShown(text.substr(at, end - at));
        at = end;
    }
    return shown;
}

std::string ParseErrorShown(std::string_view what) {
    constexpr std::string_view LastRead = "; last read: '";
    const std::size_t at = what.find(LastRead);
    if (at == std::string_view::npos) {
        return WithoutAddresses(what);
    }
    // A string that holds an escape may spell an address in it; one that
    // holds an address is shown as WithoutAddresses shows it elsewhere, but
    // nothing of it is needed to find the fault.
    const std::string_view quoted = what.substr(at + LastRead.size());
    const bool mayHoldAddress = quoted.starts_with('"') && (quoted.find('\\') != std::string_view::npos ||
                                                            HoldsWebAddress(quoted) || HoldsMariadbAddress(quoted));
    return WithoutAddresses(mayHoldAddress ? what.substr(0, at) : what);
}

std::optional<std::string> WebhookRefusal(std::string_view address) {
    if (address.size() > WebhookLimit) {
        return "is longer than " + std::to_string(WebhookLimit) + " bytes";
    }
    if (std::any_of(address.begin(), address.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte <= ' ' || byte == 0x7F;
        })) {
        return std::string("holds a space or a control character");
    }
    if (address.find('\\') != std::string_view::npos) {
        return std::string("holds a backslash");
    }
    const std::size_t scheme = SchemeLength(address);
    if (scheme == 0) {
        return std::string("is not an https:// address");
    }
    const std::string_view rest = address.substr(scheme);
    const std::string_view written = rest.substr(0, rest.find_first_of("/?#"));
    if (written.find('@') != std::string_view::npos) {
        return std::string("names a user: a webhook's address names none");
    }
    const std::string_view host = HostOf(written);
    if (host.empty()) {
        return std::string("names no host");
    }
    if (const std::string_view port = written.substr(host.size()); !port.empty() && !IsPort(port)) {
        return std::string("has a port that is not a number");
    }
    if (scheme == PlainScheme.size()) {
        if (!IsLoopbackHost(host)) {
            return std::string("is http:// to a host that is not loopback: only https:// leaves this machine");
        }
        return std::nullopt;  // a relay of one's own, on this machine
    }
    if (!DiscordsForm(rest.substr(written.size()))) {
        return std::string("is not in a Discord webhook's form, https://HOST/api/webhooks/ID/TOKEN");
    }
    return std::nullopt;
}

std::optional<std::string_view> WebhookThread(std::string_view address) {
    constexpr std::string_view Thread = "?thread_id=";
    const std::size_t at = address.find(Thread);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return address.substr(at + Thread.size());
}

bool IsDiscordId(std::string_view text) {
    return text.size() >= DiscordIdDigits.first && text.size() <= DiscordIdDigits.second && AllDigits(text);
}

std::optional<std::string> ThreadRefusal(const Json& thread, std::string_view webhook) {
    if (!thread.is_string() || !IsDiscordId(thread.get_ref<const std::string&>())) {
        return "is not a thread's id (a text of " + std::to_string(DiscordIdDigits.first) + " to " +
               std::to_string(DiscordIdDigits.second) + " digits)";
    }
    if (WebhookThread(webhook)) {
        return std::string("is given beside a webhook address that names its thread (?thread_id=)");
    }
    return std::nullopt;
}

std::string WebhookShown(std::string_view address) {
    const std::string_view authority = Authority(address.substr(0, WebhookLimit));
    // The host as far as it is written as a host, and a port of digits that
    // ends the authority: anything else there (a backslash, ';', a tab, a
    // port of letters) may be the token.
    std::size_t host = 0;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        const bool literal = close != std::string_view::npos &&
                             std::all_of(authority.begin() + 1, authority.begin() + static_cast<std::ptrdiff_t>(close),
                                         [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; });
        host = literal ? close + 1 : 0;
    } else {
        while (host < authority.size() && IsHostCharacter(authority[host])) {
            ++host;
        }
    }
    std::string_view shown = authority.substr(0, host);
    if (host > 0 && IsPort(authority.substr(host))) {
        shown = authority;
    }
    return std::string(shown) + std::string(Ellipsis);
}

DiscordSettings DiscordSettingsOf(const Json& document) {
    DiscordSettings settings;
    settings.username = std::string(DefaultUsername);
    static const Json none;
    const Json& discord = document.is_object() ? Member(document, Key::Discord) : none;
    const std::string name(Key::Discord);
    settings.present = !discord.is_null();
    if (!discord.is_object()) {
        if (!discord.is_null()) {
            settings.problems.push_back(name + " is not an object: nothing is relayed");
        }
        return settings;
    }
    const Json& webhook = Member(discord, Key::Webhook);
    if (!webhook.is_string()) {
        settings.problems.push_back(name + " → " + std::string(Key::Webhook) + " is not a text: nothing is relayed");
    } else if (const std::optional<std::string> refusal = WebhookRefusal(webhook.get_ref<const std::string&>())) {
        settings.problems.push_back(name + " → " + std::string(Key::Webhook) + " " +
                                    WebhookShown(webhook.get_ref<const std::string&>()) + " " + *refusal +
                                    ": nothing is relayed");
    } else {
        settings.relays = true;
        settings.webhook = webhook.get<std::string>();
        settings.postAddress = settings.webhook;
    }
    // Posted to the channel instead, the lines would land where no one
    // asked for them.
    if (const auto thread = discord.find(Key::Thread); thread != discord.end()) {
        if (const std::optional<std::string> refusal = ThreadRefusal(*thread, settings.webhook)) {
            settings.problems.push_back(name + " → " + std::string(Key::Thread) + " " + *refusal +
                                        ": nothing is relayed");
            settings.relays = false;
        } else {
            settings.postAddress += "?thread_id=" + thread->get<std::string>();
        }
    }
    if (const auto groups = discord.find(Key::Groups); groups != discord.end()) {
        const std::string at = name + " → " + std::string(Key::Groups);
        if (!groups->is_array()) {
            settings.problems.push_back(at + " is not a list of groups: every group is relayed");
        } else {
            settings.groups.emplace();
            for (const Json& group : *groups) {
                if (group.is_string() && IsGroupName(group.get_ref<const std::string&>())) {
                    settings.groups->push_back(GroupFold(group.get_ref<const std::string&>()));
                } else {
                    settings.problems.push_back(at + " holds " + (group.is_string() ? "a text" : "a value") +
                                                " that is no group's name: it is left out");
                }
            }
        }
    }
    // A role that can't be named is left out: the posts still go, unpinged.
    if (const auto mention = discord.find(Key::Mention); mention != discord.end()) {
        const std::string at = name + " → " + std::string(Key::Mention);
        if (!mention->is_array()) {
            settings.problems.push_back(at + " is not a list of role ids: no one is mentioned");
        } else {
            for (const Json& role : *mention) {
                if (!role.is_string() || !IsDiscordId(role.get_ref<const std::string&>())) {
                    settings.problems.push_back(at + " holds a value that is no role's id: it is left out");
                } else if (settings.mentions.size() == MentionLimit) {
                    settings.problems.push_back(at + " names more than " + std::to_string(MentionLimit) +
                                                " roles: only the first " + std::to_string(MentionLimit) +
                                                " are mentioned");
                    break;
                } else {
                    settings.mentions.push_back(role.get<std::string>());
                }
            }
        }
    }
    if (const auto username = discord.find(Key::Username); username != discord.end()) {
        if (username->is_string()) {
            settings.username = username->get<std::string>();
        } else {
            settings.problems.push_back(name + " → " + std::string(Key::Username) +
                                        " is not a text: the map's name is used");
        }
    }
    return settings;
}

bool RelaysGroup(const DiscordSettings& discord, std::string_view foldedGroup) {
    return !discord.groups ||
           std::find(discord.groups->begin(), discord.groups->end(), foldedGroup) != discord.groups->end();
}
