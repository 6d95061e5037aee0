// herald store copy, as an admin moving a cluster runs it: an SQLite file to
// a MariaDB database and back, again without changing anything, and never
// into a store that is not ours.

#include <sqlite3.h>

#include "MariadbSupport.h"
#include "PreviewSupport.h"
#include "RowChanges.h"
#include "Support.h"
#include "players/ChoiceStore.h"

namespace {

using RowChanges::AllOff;
using RowChanges::Describe;
using RowChanges::Heard;
using RowChanges::Off;

TEST(MariadbStoreCopyTest, CopiesEveryPlayersChoicesBothWaysAndAgainWithoutChange) {
    HeraldTest::ScratchFolder folder;
    const std::string file = (folder.root / "players.sqlite").string();
    const std::string database = HeraldTest::FreshMariadbDatabase("copy");
    const std::string shownDatabase =
        database.substr(0, database.find("//") + 2) + database.substr(database.find('@') + 1);
    ASSERT_EQ(MakeChoiceStore(file)->Save(std::vector{Off("a", "crates"), AllOff("b"), Heard("b", "nodes")}),
              std::nullopt);
    // A player only in the target keeps their choices; one in both gets the source's.
    ASSERT_EQ(MakeChoiceStore(database)->Save(std::vector{Off("c", "dams"), Off("a", "nodes")}), std::nullopt);

    const std::string copied = "Copied 3 choices of 2 players from " + file + " to " + shownDatabase + ".\n";
    for (int time = 1; time <= 2; ++time) {
        const HeraldTest::Outcome outcome = RunHerald({"store", "copy", file, database});
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, copied) << "copy " << time;
        EXPECT_EQ(Describe(MakeChoiceStore(database)->ReadAll()), "whole | a:crates- b:*- b:nodes+ c:dams-")
            << "copy " << time;
    }
    const std::string back = (folder.root / "back.sqlite").string();
    const HeraldTest::Outcome outcome = RunHerald({"store", "copy", database, back});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "Copied 4 choices of 3 players from " + shownDatabase + " to " + back + ".\n");
    EXPECT_EQ(Describe(MakeChoiceStore(back)->ReadAll()), "whole | a:crates- b:*- b:nodes+ c:dams-");
    EXPECT_EQ(outcome.out.find("not-a-secret"), std::string::npos);
}

TEST(MariadbStoreCopyTest, RefusesWhatIsNotAStoreOfOursAndWritesNothing) {
    HeraldTest::ScratchFolder folder;
    const std::string file = (folder.root / "players.sqlite").string();
    ASSERT_EQ(MakeChoiceStore(file)->Save(Off("a", "crates")), std::nullopt);
    const std::string foreign = (folder.root / "other.sqlite").string();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE accounts(id INTEGER PRIMARY KEY); INSERT INTO accounts VALUES (1)", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    const std::string foreignBytes = HeraldTest::ReadFile(foreign);
    const std::string foreignDatabase = HeraldTest::FreshMariadbDatabase("copy_foreign");
    HeraldTest::RunMariadb(foreignDatabase, "CREATE TABLE accounts (id INT PRIMARY KEY)");

    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* says;
    } refusals[] = {
        {{"store", "copy", file, foreign}, 1, "not a store of players' choices (another program's database)"},
        {{"store", "copy", foreign, file}, 1, "not a store of players' choices (another program's database)"},
        {{"store", "copy", file, foreignDatabase}, 1, "(the database holds another program's tables)"},
        {{"store", "copy", (folder.root / "missing.sqlite").string(), file}, 1, "is no file"},
        {{"store", "copy", file, "mariadb://user:pw@host/"}, 2, "mariadb://… has no database"},
        {{"store", "copy", file}, 2, "TO is required"},
    };
    for (const auto& refusal : refusals) {
        const HeraldTest::Outcome outcome = RunHerald(refusal.arguments);
        EXPECT_EQ(outcome.status, refusal.status) << refusal.says;
        EXPECT_THAT(outcome.err, ::testing::HasSubstr(refusal.says));
        EXPECT_EQ(outcome.out, "") << refusal.says;
    }
    EXPECT_EQ(HeraldTest::ReadFile(foreign), foreignBytes);
    EXPECT_EQ(Describe(MakeChoiceStore(file)->ReadAll()), "whole | a:crates-");
    EXPECT_THAT(HeraldTest::RunMariadb(foreignDatabase, "SHOW TABLES"), ::testing::ElementsAre("accounts"));
}

}  // namespace
