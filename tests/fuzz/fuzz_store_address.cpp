// Any text as Players → Store: a MariaDB address is read or refused in time
// and memory that grow with it, a refusal is shown as mariadb://… alone, what
// is shown of an address does not depend on its user or password, and it
// reads back as the same server and database.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "FuzzSupport.h"
#include "config/StoreAddress.h"

using namespace HeraldFuzz;

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
    // What is shown does not depend on the user or the password at all: the
    // same address with others reads the same. (A password may still be found
    // in it by chance, as "433/us" is in mariadb://o:433/users.)
    const auto& address = std::get<MariadbAddress>(parsed);
    const std::string others = "mariadb://someone:else@" + written.substr(written.rfind('@') + 1);
    Require(ShownStore(others) == shown, "the shown store depends on the user or the password");
    const auto again = ParseMariadbAddress("mariadb://someone@" + shown.substr(MariadbScheme.size()));
    const auto* back = std::get_if<MariadbAddress>(&again);
    Require(back != nullptr && back->host == address.host && back->port == address.port &&
                back->database == address.database,
            "the shown store does not read back as the same server and database");
    return 0;
}
