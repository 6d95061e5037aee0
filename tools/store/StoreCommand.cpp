#include "store/StoreCommand.h"

#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "config/StoreAddress.h"
#include "players/ChoiceStore.h"

namespace Herald {

namespace {

// Changes saved in one transaction: a million players are copied in a
// hundred, each small enough for a server's limits.
constexpr std::size_t ChangesPerSave = 10'000;

std::optional<std::string> AddressRefusal(const std::string& store) {
    if (store.empty()) {
        return std::string("is empty");
    }
    if (store.find('\0') != std::string::npos) {
        return std::string("holds a zero character");
    }
    return MariadbRefusal(store);
}

}  // namespace

int StoreCopyCommand(const std::string& from, const std::string& to, std::ostream& out, std::ostream& err) {
    for (const std::string* store : {&from, &to}) {
        if (const std::optional<std::string> refusal = AddressRefusal(*store)) {
            err << "herald: " << ShownStore(*store) << " " << *refusal << "\n";
            return 2;
        }
    }
    const std::string shownFrom = ShownStore(from);
    const std::string shownTo = ShownStore(to);
    std::error_code error;
    if (!NamesMariadb(from) && !std::filesystem::is_regular_file(std::filesystem::u8path(from), error)) {
        err << "herald: " << shownFrom << " is no file\n";
        return 1;
    }
    const ChoiceStore::Rows read = MakeChoiceStore(from)->ReadAll();
    if (read.error) {
        err << "herald: " << shownFrom << ": " << *read.error << "\n";
        return 1;
    }
    // Asked before anything is written: another program's file or database
    // is refused whole.
    const std::unique_ptr<ChoiceStore> target = MakeChoiceStore(to);
    if (const std::optional<std::string> refusal = target->ReadAll().error) {
        err << "herald: " << shownTo << ": " << *refusal << "\n";
        return 1;
    }
    std::map<std::string, std::vector<ChoiceRow>> players;
    for (const ChoiceRow& row : read.rows) {
        players[row.player].push_back(row);
    }
    std::vector<RowChange> changes;
    const auto save = [&]() -> bool {
        if (const std::optional<std::string> failure = target->Save(changes)) {
            err << "herald: " << shownTo << ": " << *failure << "\n";
            return false;
        }
        changes.clear();
        return true;
    };
    for (auto& [player, rows] : players) {
        changes.push_back({player, true, {}, std::move(rows)});
        if (changes.size() == ChangesPerSave && !save()) {
            return 1;
        }
    }
    if (!changes.empty() && !save()) {
        return 1;
    }
    out << "Copied " << read.rows.size() << " choices of " << players.size() << " players from " << shownFrom << " to "
        << shownTo << ".\n";
    return 0;
}

}  // namespace Herald
