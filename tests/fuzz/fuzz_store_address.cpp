// Any text as Players → Store: a MariaDB address is read or refused in time
// and memory that grow with it, the refusal and the way it is shown never
// hold its user or password, and what is shown reads back as the same server
// and database.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "FuzzSupport.h"
#include "config/StoreAddress.h"

using namespace HeraldFuzz;

namespace {

// A secret long enough not to turn up in a host or a database by chance, and
// not made of what the shown form always holds.
bool Telling(std::string_view secret, const MariadbAddress& address) {
    return secret.size() >= 4 && address.host.find(secret) == std::string::npos &&
           address.database.find(secret) == std::string::npos &&
           std::string_view(MariadbScheme).find(secret) == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string store(reinterpret_cast<const char*>(data), size);
    const std::string written = NamesMariadb(store) ? store : std::string(MariadbScheme) + store;
    const auto parsed = ParseMariadbAddress(written);
    const std::string shown = ShownStore(written);
    Require(shown.size() <= written.size() + 16, "the shown store is longer than the address");
    if (const auto* refusal = std::get_if<std::string>(&parsed)) {
        Require(refusal->size() < 160, "a refusal's words grow with the address");
        Require(shown == std::string(MariadbScheme) + "…", "a refused address is shown as more than mariadb://…");
        return 0;
    }
    const auto& address = std::get<MariadbAddress>(parsed);
    if (Telling(address.user, address)) {
        Require(shown.find(address.user) == std::string::npos, "the shown store holds the user");
    }
    if (Telling(address.password, address)) {
        Require(shown.find(address.password) == std::string::npos, "the shown store holds the password");
    }
    const auto again = ParseMariadbAddress("mariadb://someone@" + shown.substr(MariadbScheme.size()));
    const auto* back = std::get_if<MariadbAddress>(&again);
    Require(back != nullptr && back->host == address.host && back->port == address.port &&
                back->database == address.database,
            "the shown store does not read back as the same server and database");
    return 0;
}
