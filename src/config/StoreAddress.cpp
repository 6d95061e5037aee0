#include "config/StoreAddress.h"

#include <algorithm>

#include "config/ConfigReaders.h"

namespace {

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, char t) { return LowerAscii(t) == p; });
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
    const char lower = LowerAscii(c);
    if (IsDecimalDigit(c)) {
        return c - '0';
    }
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// %XX escapes decoded; none when one is cut short or not hexadecimal, or a
// zero byte results, which the client's C strings would end at.
std::optional<std::string> PercentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            decoded += text[at];
            continue;
        }
        if (at + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = HexDigitValue(text[at + 1]);
        const int low = HexDigitValue(text[at + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
            return std::nullopt;
        }
        decoded += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return decoded;
}

bool IsHostNameCharacter(char c) {
    const char lower = LowerAscii(c);
    return (lower >= 'a' && lower <= 'z') || IsDecimalDigit(c) || c == '-' || c == '.' || c == '_';
}

bool IsIpv6Character(char c) { return HexDigitValue(c) >= 0 || c == ':' || c == '.'; }

bool IsDatabaseCharacter(char c) {
    const char lower = LowerAscii(c);
    return (lower >= 'a' && lower <= 'z') || IsDecimalDigit(c) || c == '_' || c == '$';
}

bool AnyControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < ' ' || byte == 0x7F;
    });
}

constexpr std::size_t MariadbHostLimit = 253;

}  // namespace

bool NamesMariadb(std::string_view store) { return StartsWithFolded(store, MariadbScheme); }

std::variant<MariadbAddress, std::string> ParseMariadbAddress(std::string_view store) {
    if (!NamesMariadb(store)) {
        return std::string("does not start with mariadb://");
    }
    std::string_view rest = store.substr(MariadbScheme.size());
    // The database and the query hold no '@', so the last one ends the user's
    // part even where a password holds an '@' or a '/' left unescaped.
    const std::size_t at = rest.rfind('@');
    if (at == std::string_view::npos) {
        return std::string("has no USER:PASSWORD@ before the host");
    }
    const std::string_view userInfo = rest.substr(0, at);
    rest.remove_prefix(at + 1);
    MariadbAddress address;
    const std::size_t colon = userInfo.find(':');
    const std::optional<std::string> user = PercentDecoded(userInfo.substr(0, colon));
    const std::optional<std::string> password =
        colon == std::string_view::npos ? std::optional<std::string>("") : PercentDecoded(userInfo.substr(colon + 1));
    if (!user || !password) {
        return std::string("has a % in its user or password that is not % and two hexadecimal digits, or is %00");
    }
    if (user->empty() || user->size() > MariadbUserLimit || AnyControl(*user)) {
        return "has no user, or one longer than " + std::to_string(MariadbUserLimit) +
               " bytes or holding a control character";
    }
    if (password->size() > MariadbPasswordLimit) {
        return "has a password longer than " + std::to_string(MariadbPasswordLimit) + " bytes";
    }
    address.user = *user;
    address.password = *password;

    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return std::string("has no /DATABASE after the host");
    }
    std::string_view hostAndPort = rest.substr(0, slash);
    rest.remove_prefix(slash + 1);
    std::string_view port;
    if (hostAndPort.starts_with('[')) {
        const std::size_t close = hostAndPort.find(']');
        const std::string_view inside = hostAndPort.substr(1, close == std::string_view::npos ? 0 : close - 1);
        if (close == std::string_view::npos || inside.empty() ||
            !std::all_of(inside.begin(), inside.end(), IsIpv6Character)) {
            return std::string("has a host in [ ] that is not an IPv6 address");
        }
        address.host = inside;
        port = hostAndPort.substr(close + 1);
    } else {
        const std::size_t portAt = hostAndPort.find(':');
        const std::string_view host = hostAndPort.substr(0, portAt);
        if (host.empty() || host.size() > MariadbHostLimit ||
            !std::all_of(host.begin(), host.end(), IsHostNameCharacter)) {
            return std::string("has no host, or one not written in letters, digits, '-', '_' and '.'");
        }
        address.host = host;
        port = portAt == std::string_view::npos ? std::string_view() : hostAndPort.substr(portAt);
    }
    if (!port.empty()) {
        const std::string_view digits = port.substr(1);
        unsigned value = 0;
        const bool number = port[0] == ':' && !digits.empty() && digits.size() <= 5 &&
                            std::all_of(digits.begin(), digits.end(), IsDecimalDigit);
        for (const char c : number ? digits : std::string_view()) {
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (!number || value == 0 || value > 65535) {
            return std::string("has a port that is not a number from 1 to 65535");
        }
        address.port = static_cast<std::uint16_t>(value);
    }

    const std::size_t query = rest.find('?');
    const std::string_view database = rest.substr(0, query);
    if (database.empty() || database.size() > MariadbDatabaseLimit ||
        !std::all_of(database.begin(), database.end(), IsDatabaseCharacter)) {
        return "has no database, or one not of 1 to " + std::to_string(MariadbDatabaseLimit) +
               " letters, digits, '_' and '$'";
    }
    address.database = database;
    if (query != std::string_view::npos) {
        if (rest.substr(query) != "?tls=required") {
            return std::string("has a query other than ?tls=required");
        }
        address.tlsRequired = true;
    }
    return address;
}

std::optional<std::string> MariadbRefusal(std::string_view store) {
    if (!NamesMariadb(store)) {
        return std::nullopt;
    }
    auto parsed = ParseMariadbAddress(store);
    auto* refusal = std::get_if<std::string>(&parsed);
    return refusal ? std::optional<std::string>(std::move(*refusal)) : std::nullopt;
}

std::string ShownMariadbAddress(const MariadbAddress& address) {
    const bool ipv6 = address.host.find(':') != std::string::npos;
    return std::string(MariadbScheme) + (ipv6 ? "[" + address.host + "]" : address.host) + ":" +
           std::to_string(address.port) + "/" + address.database;
}

std::string ShownStore(std::string_view store) {
    if (!NamesMariadb(store)) {
        return std::string(store);
    }
    const auto parsed = ParseMariadbAddress(store);
    const auto* address = std::get_if<MariadbAddress>(&parsed);
    return address ? ShownMariadbAddress(*address) : std::string(MariadbScheme) + "…";
}

bool HoldsMariadbAddress(std::string_view text) {
    for (std::size_t at = 0; at + MariadbScheme.size() <= text.size(); ++at) {
        if (StartsWithFolded(text.substr(at), MariadbScheme)) {
            return true;
        }
    }
    return false;
}
