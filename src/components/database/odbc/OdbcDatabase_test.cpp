#include "components/database/odbc/OdbcDatabase.h"

#include <gtest/gtest.h>

#include "DatabaseFixtures.h"
#include "TestSupport.h"
#include "common/ServiceError.h"

namespace tvk {
namespace {

using test::ErrorOf;
using test::MakeDatabase;
using test::SqliteOdbcDriverMissing;

// Its high surrogate ends the first part that the text is read in.
const std::string kLongText = std::string(2046, 'x') + "😀 æøå" + std::string(10000, 'x') + "y";

class OdbcDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto why = SqliteOdbcDriverMissing(); !why.empty()) GTEST_SKIP() << why;
        MakeDatabase(file,
                     "CREATE TABLE t (k INTEGER, r DOUBLE, s VARCHAR(20), n INTEGER, "
                     "m VARCHAR(20), long TEXT);"
                     "INSERT INTO t VALUES (7, 1.25, '0150', NULL, NULL, '" +
                         kLongText +
                         "');"
                         "INSERT INTO t VALUES (8, 0, 'second', 1, 'b', '');");
        database.SetConnectionString("Driver=SQLite3;Database=" + file.string());
        database.Connect();
    }

    test::TempFolder folder;
    std::filesystem::path file = folder / "odbc.db";
    OdbcDatabase database;
};

TEST_F(OdbcDatabaseTest, ReadsTypedValuesOfTheFirstRow) {
    auto rs = database.Recordset("SELECT k, r, s AS så, n, m, long FROM t ORDER BY k");
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->Fields("K").AsInteger(), 7);
    EXPECT_DOUBLE_EQ(rs->Fields("r").AsReal(), 1.25);
    EXPECT_EQ(rs->Fields("så").AsText(), "0150");
    EXPECT_TRUE(rs->Fields("n").IsNull());
    EXPECT_TRUE(rs->Fields("m").IsNull());
    // Longer than one read buffer: arrives whole.
    EXPECT_EQ(rs->Fields("long").AsText(), kLongText);
    EXPECT_EQ(rs->Fields(0).AsInteger(), 7);
    EXPECT_EQ(ErrorOf([&] { rs->Fields(6); }).Number(), ErrorNumber::ItemNotFound);

    auto empty = database.Recordset("SELECT k FROM t WHERE k > 100");
    EXPECT_TRUE(empty->IsEOF());
    EXPECT_EQ(ErrorOf([&] { empty->Fields("k"); }).Number(), ErrorNumber::NoCurrentRecord);
}

TEST_F(OdbcDatabaseTest, UpdateWithoutRowsIsWritten) {
    EXPECT_TRUE(database.Recordset("UPDATE t SET n=5 WHERE k=7", true)->IsEOF());
    EXPECT_TRUE(database.Recordset("UPDATE t SET n=5 WHERE k=999", true)->IsEOF());
    EXPECT_EQ(database.Recordset("SELECT n FROM t WHERE k=7")->Fields("n").AsInteger(), 5);
    EXPECT_EQ(database.Execute("UPDATE t SET n=6 WHERE n=5 OR n IS NULL"), 1);
    EXPECT_EQ(database.Execute("UPDATE t SET n=6 WHERE n=5 OR n IS NULL"), 0);
}

TEST_F(OdbcDatabaseTest, FailingStatementsCarryNumberAndMessage) {
    ServiceError e = ErrorOf([&] { database.Recordset("SELECT Blåbær FROM t"); });
    EXPECT_NE(e.Number(), 0);
    EXPECT_NE(e.Description().find("no such column: Blåbær"), std::string::npos) << e.Description();

    // SQL Server's own procedure does not exist here: a clean failure.
    e = ErrorOf([&] { database.Recordset("EXECUTE master..xp_msver 'ProductVersion'"); });
    EXPECT_NE(e.Number(), 0);
    EXPECT_FALSE(e.Description().empty());

    // The connection is still usable afterwards.
    EXPECT_EQ(database.Recordset("SELECT k FROM t ORDER BY k")->Fields(0).AsInteger(), 7);
}

TEST_F(OdbcDatabaseTest, ClosedConnectionRefusesWork) {
    database.Disconnect();
    database.Disconnect();
    EXPECT_EQ(ErrorOf([&] { database.Recordset("SELECT 1"); }).Number(), ErrorNumber::ObjectClosed);
    database.Connect();
    EXPECT_FALSE(database.Recordset("SELECT k FROM t")->IsEOF());
}

TEST(OdbcDatabase, UnknownDriverOrSourceFailsWithGenericNumberAndMessage) {
    OdbcDatabase database;
    database.SetConnectionString("Driver=No Such Driver 9;Server=127.0.0.1");
    ServiceError e = ErrorOf([&] { database.Connect(); });
    EXPECT_EQ(e.Number(), OdbcDatabase::kProviderFailure);
    EXPECT_NE(e.Description().find("No Such Driver 9"), std::string::npos) << e.Description();
    EXPECT_EQ(ErrorOf([&] { database.Recordset("SELECT 1"); }).Number(), ErrorNumber::ObjectClosed);

    database.SetConnectionString("DSN=tvkNoSuchSource");
    e = ErrorOf([&] { database.Connect(); });
    EXPECT_EQ(e.Number(), OdbcDatabase::kProviderFailure);
    EXPECT_EQ(e.Description().rfind("[IM002] ", 0), 0u) << e.Description();
}

}  // namespace
}  // namespace tvk
