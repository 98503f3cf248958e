#include "DatabaseComponent_test.h"

namespace tvk {
namespace {

TEST_F(DatabaseComponentTest, ExistingDefaultFileIsLeftAsItIs) {
    MakeDatabase(folder / "Velkor.db",
                 "CREATE TABLE Innstillinger (RegFirma TEXT);"
                 "INSERT INTO Innstillinger VALUES ('Eget AS');");
    std::string before = test::ReadAll(folder / "Velkor.db");
    database.SetConnectionString("none");
    database.Connect();
    ServiceError e = ErrorOf([&] { database.Recordset(kSettingsQuery); });
    EXPECT_EQ(e.Number(), SQLITE_ERROR);
    EXPECT_EQ(e.Description(), "no such column: Serienummer");
    EXPECT_EQ(database.Recordset("Innstillinger")->Fields("regfirma").AsText(), "Eget AS");
    database.Disconnect();
    EXPECT_EQ(test::ReadAll(folder / "Velkor.db"), before);
}

TEST_F(DatabaseComponentTest, SqliteFilesOpenByPathButAreNeverCreated) {
    std::filesystem::create_directory(folder / "Data");
    MakeDatabase(folder / "Data" / "Kunde.db",
                 "CREATE TABLE Version (DatabaseVersion TEXT);"
                 "INSERT INTO Version VALUES ('4.2');");
    // Relative to the program folder, the path's letter case kept.
    database.SetConnectionString("SQLite:Data/Kunde.db");
    database.Connect();
    EXPECT_EQ(database.Recordset("Version")->Fields(0).AsText(), "4.2");

    database.SetConnectionString("sqlite:" + (folder / "Data" / "Kunde.db").string());
    database.Connect();
    EXPECT_EQ(database.Recordset("Version")->Fields(0).AsText(), "4.2");

    // Windows ignores the letter case of file names; elsewhere kunde.db is another file.
    const bool caseBlind = std::filesystem::exists(folder / "Data" / "kunde.db");
    for (const char* text :
         {"sqlite:Data/kunde.db", "sqlite:Data/Typo.db", "sqlite:", "sqlite:Data"}) {
        if (caseBlind && text == std::string_view("sqlite:Data/kunde.db")) continue;
        database.SetConnectionString(text);
        ServiceError e = ErrorOf([&] { database.Connect(); });
        EXPECT_EQ(e.Number(), SQLITE_CANTOPEN) << text;
        EXPECT_EQ(e.Description(), "unable to open database file") << text;
    }
    EXPECT_EQ(FolderEntries(folder / "Data"), std::vector<std::string>{"Kunde.db"});
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"Data"});
}

TEST_F(DatabaseComponentTest, OtherTextIsAnOdbcConnectionStringKeptAsItStands) {
    if (auto why = SqliteOdbcDriverMissing(); !why.empty()) GTEST_SKIP() << why;
    // The SQLite driver checks no password, but the file it opens shows what
    // reached it: the capital letters and æøå, lower-cased or in another code
    // page, would name another file.
    const auto file = folder.Path() / platform::TextPath("Blåbær.DB");
    MakeDatabase(file,
                 "CREATE TABLE Innstillinger (Serienummer INTEGER, RegFirma VARCHAR(50), "
                 "Postnummer VARCHAR(10), UpdateServiceMailSent INTEGER);"
                 "INSERT INTO Innstillinger VALUES (1, 'Ærlig Ørn Åsen AS', 'Ø-0150', NULL);"
                 "CREATE VIEW SQLServerDate AS SELECT '2024-05-06 07:08:09' AS SQLServerDate;");
    database.SetConnectionString("Driver=SQLite3;Database=" + platform::PathText(file) +
                                 ";PWD=blåbær");
    database.Connect();

    EXPECT_EQ(database.Recordset("SQLServerDate")->Fields("sqlserverdate").AsText(),
              "2024-05-06 07:08:09");
    auto settings =
        database.Recordset("SELECT RegFirma, Postnummer, UpdateServiceMailSent FROM Innstillinger");
    EXPECT_EQ(settings->Fields("RegFirma").AsText(), "Ærlig Ørn Åsen AS");
    EXPECT_EQ(settings->Fields("Postnummer").AsText(), "Ø-0150");
    EXPECT_TRUE(settings->Fields("UpdateServiceMailSent").IsNull());

    // The statement's letters meet those the database holds.
    EXPECT_EQ(database.Execute("UPDATE Innstillinger SET UpdateServiceMailSent=1 "
                               "WHERE RegFirma = 'Ærlig Ørn Åsen AS'"),
              1);
    EXPECT_EQ(database.Recordset("Innstillinger")->Fields("UpdateServiceMailSent").AsInteger(), 1);

    // SQL Server's own procedure is not emulated over ODBC: a clean failure.
    ServiceError e =
        ErrorOf([&] { database.Recordset("EXECUTE master..xp_msver 'ProductVersion'"); });
    EXPECT_FALSE(e.Description().empty());
    database.Disconnect();
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"Blåbær.DB"});
}

TEST_F(DatabaseComponentTest, ClosedComponentRefusesRecordsets) {
    EXPECT_EQ(ErrorOf([&] { database.Recordset("Version"); }).Number(), ErrorNumber::ObjectClosed);
    database.Disconnect();  // harmless when closed
    database.SetConnectionString("none");
    database.Connect();
    database.Disconnect();
    database.Disconnect();
    EXPECT_EQ(ErrorOf([&] { database.Recordset("Version"); }).Number(), ErrorNumber::ObjectClosed);
}

TEST(DatabaseComponent, BareNamesBecomeSelectsOtherSourcesStayStatements) {
    EXPECT_EQ(DatabaseComponent::CommandText("SQLServerDate"), "SELECT * FROM SQLServerDate");
    EXPECT_EQ(DatabaseComponent::CommandText("dbo.Version_2"), "SELECT * FROM dbo.Version_2");
    EXPECT_EQ(DatabaseComponent::CommandText("SELECT 1"), "SELECT 1");
    EXPECT_EQ(DatabaseComponent::CommandText("Version;DROP TABLE x"), "Version;DROP TABLE x");
    EXPECT_EQ(DatabaseComponent::CommandText("[Version]"), "[Version]");
    EXPECT_EQ(DatabaseComponent::CommandText(""), "");
}

TEST(DatabaseComponent, ConcurrentCreationsGiveOneCompleteFile) {
    test::TempFolder folder;
    const auto path = folder / "Velkor.db";
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            try {
                DatabaseComponent::CreateDefaultDatabase(path);
            } catch (...) {
                ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"Velkor.db"});
    DatabaseComponent database(folder.Path());
    database.SetConnectionString("none");
    database.Connect();
    EXPECT_FALSE(database.Recordset(kSettingsQuery)->IsEOF());
}

TEST(DatabaseComponent, FailedCreationLeavesNothingBehind) {
    test::TempFolder folder;
    DatabaseComponent database(folder / "missing");
    database.SetConnectionString("none");
    ServiceError e = ErrorOf([&] { database.Connect(); });
    EXPECT_EQ(e.Number(), test::kNoSuchFolder);
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

}  // namespace
}  // namespace tvk
