#pragma once
// The Discord settings: where the relay posts and what, and how a webhook's
// secret address is shown.

#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A webhook's address as the relay takes it: https://, or http:// to a
// loopback host (localhost, 127.x.x.x, [::1]), with a host, and no space,
// control character or more than WebhookLimit bytes. None when usable, or why not.
inline constexpr std::size_t WebhookLimit = 2048;
std::optional<std::string> WebhookRefusal(std::string_view address);
// The thread a webhook's address names (?thread_id=), if any.
std::optional<std::string_view> WebhookThread(std::string_view address);
// A thread's (or a role's) id as Discord writes it: so many digits.
inline constexpr std::pair<std::size_t, std::size_t> DiscordIdDigits{17, 20};
bool IsDiscordId(std::string_view text);
// How many roles a post may name.
inline constexpr std::size_t MentionLimit = 5;
// Why Thread can't be taken beside this webhook, if it can't: not an id, or
// the address names its thread already.
std::optional<std::string> ThreadRefusal(const nlohmann::json& thread, std::string_view webhook);
// How a webhook is shown wherever people read it, since its address is a
// secret: its host (and port) followed by "…". Without a host: "…" alone.
std::string WebhookShown(std::string_view address);
// Whether a text starts as a web address does (http:// or https://, in any case).
bool IsWebAddress(std::string_view text);
// The text with every web address in it shown as WebhookShown shows it: a
// library's parse error quotes what it last read, which can be the webhook.
std::string WithoutAddresses(std::string_view text);
// A parse error of the file as people read it: WithoutAddresses, and without
// the string the library quotes as what it read last, which may be a webhook's
// address in any escaping; the message's line and column say where instead.
std::string ParseErrorShown(std::string_view what);

// Discord: whether announcements are relayed, where to, which groups (folded,
// GroupFold; none: every group) and the Username template. A Discord that is
// not an object, or a webhook or a Thread that is refused, relays nothing; a Groups or
// Username not of its key's form is replaced by the default. problems names
// each, as the log words it, never with the whole address. Never raises.
struct DiscordSettings {
    bool present = false;  // Discord is in the document, whatever it holds
    bool relays = false;
    std::string webhook;
    std::string postAddress;  // the webhook's, with Thread's thread_id when given
    std::optional<std::vector<std::string>> groups;
    std::string username;
    std::vector<std::string> mentions;  // role ids
    std::vector<std::string> problems;
};
DiscordSettings DiscordSettingsOf(const nlohmann::json& document);
// Whether the settings relay the group (folded).
bool RelaysGroup(const DiscordSettings& discord, std::string_view foldedGroup);
