#include "components/database/SqliteDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

#include "DatabaseFixtures.h"
#include "TestSupport.h"
#include "common/ServiceError.h"

namespace tvk {
namespace {

using test::ErrorOf;
using test::MakeDatabase;

class SqliteDatabaseTest : public ::testing::Test {
  protected:
    void Open(const char* sql) {
        MakeDatabase(file, sql);
        database.SetConnectionString(file.string());
        database.Connect();
    }

    test::TempFolder folder;
    std::filesystem::path file = folder / "x.db";
    SqliteDatabase database;
};

TEST_F(SqliteDatabaseTest, ValuesKeepTheirStorageTypeAndNamesIgnoreCase) {
    Open(
        "CREATE TABLE t (i INTEGER, r REAL, s TEXT, n TEXT, b BLOB, d);"
        "INSERT INTO t VALUES (42, 2.5, '0150', NULL, x'610062', '17');");
    auto rs = database.Recordset("SELECT * FROM t");
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->Fields("I").AsInteger(), 42);
    EXPECT_DOUBLE_EQ(rs->Fields("r").AsReal(), 2.5);
    EXPECT_EQ(rs->Fields("s").AsText(), "0150");
    EXPECT_TRUE(rs->Fields("N").IsNull());
    EXPECT_EQ(rs->Fields("b").AsText(), std::string("a\0b", 3));
    // Typed per value, not per declared column.
    EXPECT_TRUE(rs->Fields("d").IsText());
    EXPECT_EQ(rs->Fields(0).AsInteger(), 42);
    EXPECT_EQ(rs->Fields(5).AsText(), "17");
}

TEST_F(SqliteDatabaseTest, FirstRowIsCurrentAndEmptyResultIsAtEnd) {
    Open(
        "CREATE TABLE t (k INTEGER, v TEXT); INSERT INTO t VALUES (1, 'first'), (2, 'second');"
        "CREATE TABLE e (k INTEGER);");
    EXPECT_EQ(database.Recordset("SELECT v FROM t ORDER BY k")->Fields("v").AsText(), "first");

    auto empty = database.Recordset("SELECT k FROM e");
    EXPECT_TRUE(empty->IsEOF());
    EXPECT_EQ(ErrorOf([&] { empty->Fields("k"); }).Number(), ErrorNumber::NoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { empty->Fields("zz"); }).Number(), ErrorNumber::ItemNotFound);
}

TEST_F(SqliteDatabaseTest, UnknownFieldsAndClosedRecordsets) {
    Open("CREATE TABLE t (a, b); INSERT INTO t VALUES (1, 2);");
    auto rs = database.Recordset("SELECT a, b FROM t");
    for (auto call : {std::function<void()>([&] { rs->Fields("c"); }),
                      std::function<void()>([&] { rs->Fields(2); }),
                      std::function<void()>([&] { rs->Fields(-1); })}) {
        ServiceError e = ErrorOf(call);
        EXPECT_EQ(e.Number(), ErrorNumber::ItemNotFound);
        EXPECT_EQ(e.Description(),
                  "Item cannot be found in the collection corresponding to the requested name "
                  "or ordinal.");
    }
    // The row was read when opened: the recordset outlives the connection.
    database.Disconnect();
    EXPECT_EQ(rs->Fields(1).AsInteger(), 2);
    rs->Close();
    EXPECT_EQ(ErrorOf([&] { rs->IsEOF(); }).Number(), ErrorNumber::ObjectClosed);
    EXPECT_EQ(ErrorOf([&] { rs->Fields("a"); }).Number(), ErrorNumber::ObjectClosed);
    EXPECT_EQ(ErrorOf([&] { database.Recordset("SELECT 1"); }).Number(), ErrorNumber::ObjectClosed);
}

TEST_F(SqliteDatabaseTest, FailuresCarrySqliteCodeAndMessage) {
    Open("CREATE TABLE Innstillinger (RegFirma TEXT);");
    ServiceError e = ErrorOf([&] { database.Recordset("SELECT Serienummer FROM Innstillinger"); });
    EXPECT_EQ(e.Number(), SQLITE_ERROR);
    EXPECT_EQ(e.Description(), "no such column: Serienummer");

    e = ErrorOf([&] { database.Recordset("   -- only a comment"); });
    EXPECT_EQ(e.Number(), SQLITE_ERROR);
}

TEST_F(SqliteDatabaseTest, MissingFileIsNotCreated) {
    for (std::string path :
         {(folder / "typo.db").string(), std::string(), std::string(":memory:")}) {
        SqliteDatabase db;
        db.SetConnectionString(path);
        ServiceError e = ErrorOf([&] { db.Connect(); });
        EXPECT_EQ(e.Number(), SQLITE_CANTOPEN) << path;
        EXPECT_EQ(e.Description(), "unable to open database file") << path;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "typo.db"));

    SqliteDatabase creating(SqliteDatabase::OpenMode::CreateIfMissing);
    creating.SetConnectionString((folder / "new.db").string());
    creating.Connect();
    EXPECT_TRUE(std::filesystem::exists(folder / "new.db"));
}

TEST_F(SqliteDatabaseTest, UpdatesAndBatchesRunEveryStatement) {
    Open("CREATE TABLE s (sent INTEGER, n INTEGER); INSERT INTO s VALUES (0, 0);");
    auto none = database.Recordset("UPDATE s SET sent=1", true);
    EXPECT_TRUE(none->IsEOF());
    // With noRows, a select still runs but its rows are not offered.
    EXPECT_TRUE(database.Recordset("SELECT sent FROM s", true)->IsEOF());

    auto rs = database.Recordset("UPDATE s SET n=n+1; SELECT sent, n FROM s; UPDATE s SET n=n+10");
    EXPECT_EQ(rs->Fields("sent").AsInteger(), 1);
    EXPECT_EQ(rs->Fields("n").AsInteger(), 1);
    EXPECT_EQ(database.Recordset("SELECT n FROM s")->Fields(0).AsInteger(), 11);

    EXPECT_EQ(ErrorOf([&] { database.Recordset("UPDATE s SET n=0; SELEKT 1", true); }).Number(),
              SQLITE_ERROR);
}

TEST_F(SqliteDatabaseTest, VersionProcedureReadsTableWithBoundName) {
    Open(R"(CREATE TABLE xp_msver ("Index" INTEGER, Name TEXT, Internal_Value INTEGER,
                                   Character_Value TEXT);
            INSERT INTO xp_msver VALUES (1, 'ProductName', NULL, 'Server'),
                                        (2, 'ProductVersion', 1048576, '16.0.1000.6');)");
    for (const char* statement :
         {"EXECUTE master..xp_msver 'ProductVersion'", "exec   MASTER..XP_MSVER\t'productversion'",
          "  Execute master.dbo.xp_msver N'ProductVersion' ; "}) {
        auto rs = database.Recordset(statement);
        ASSERT_FALSE(rs->IsEOF()) << statement;
        EXPECT_EQ(rs->Fields(0).AsInteger(), 2);
        EXPECT_EQ(rs->Fields(1).AsText(), "ProductVersion");
        EXPECT_EQ(rs->Fields(2).AsInteger(), 1048576);
        EXPECT_EQ(rs->Fields(3).AsText(), "16.0.1000.6");
        EXPECT_EQ(rs->Fields("character_value").AsText(), "16.0.1000.6");
    }
    EXPECT_TRUE(database.Recordset("EXEC master..xp_msver 'Nothing'")->IsEOF());
    EXPECT_EQ(database.Recordset("EXEC master..xp_msver")->Fields("Name").AsText(), "ProductName");
    // The argument is a value, never SQL.
    EXPECT_TRUE(database.Recordset("EXEC master..xp_msver 'x'' OR ''1''=''1'")->IsEOF());
    EXPECT_TRUE(
        database.Recordset("EXEC master..xp_msver 'x''; DROP TABLE xp_msver; --'")->IsEOF());
    EXPECT_FALSE(database.Recordset("SELECT * FROM xp_msver")->IsEOF());
    // Anything else is plain SQL, which SQLite refuses.
    for (const char* other :
         {"EXEC master..xp_msver 'open", "EXECmaster..xp_msver", "EXEC master..xp_msverX",
          "EXEC master.xp_msver", "EXEC master..xp_msver N"})
        EXPECT_EQ(ErrorOf([&] { database.Recordset(other); }).Number(), SQLITE_ERROR) << other;
}

}  // namespace
}  // namespace tvk
