#include "players/ChoiceStore.h"

#include <variant>

#include "config/StoreAddress.h"
#include "players/SqliteStore.h"

#if defined(HERALD_MARIADB)
#include "players/MariadbStore.h"
#endif

bool RefusedForGood(std::string_view reason) {
    return reason == ForeignDatabase || reason == UnusableTable || reason == NotADatabase || reason == NewerStore ||
           reason == NoMariadbClient || reason == ForeignSchema;
}

std::optional<std::string> MariadbClientMissing() {
#if defined(HERALD_MARIADB)
    const MariadbClientOrWhy& client = TheMariadbClient();
    return client.client != nullptr ? std::nullopt : std::optional<std::string>(client.why);
#else
    return std::string(NoMariadbClient);
#endif
}

namespace {

// A store that can never be: every read and save fails with the reason.
class RefusedStore final : public ChoiceStore {
public:
    explicit RefusedStore(std::string reason) : reason_(std::move(reason)) {}
    Rows ReadAll() override { return {.error = reason_}; }
    Rows ReadChanges() override { return ReadAll(); }
    using ChoiceStore::Save;
    std::optional<std::string> Save(std::span<const RowChange>) override { return reason_; }
    bool ChangedElsewhere() override { return false; }

private:
    std::string reason_;
};

}  // namespace

std::unique_ptr<ChoiceStore> MakeChoiceStore(const std::string& address) {
    if (!NamesMariadb(address)) {
        return std::make_unique<SqliteStore>(address);
    }
    auto parsed = ParseMariadbAddress(address);
    if (auto* refusal = std::get_if<std::string>(&parsed)) {
        return std::make_unique<RefusedStore>("the address " + *refusal);
    }
#if defined(HERALD_MARIADB)
    const MariadbClientOrWhy& client = TheMariadbClient();
    if (client.client != nullptr) {
        return std::make_unique<MariadbStore>(std::get<MariadbAddress>(std::move(parsed)), *client.client);
    }
#endif
    return std::make_unique<RefusedStore>(*MariadbClientMissing());
}
