// Linux only: the POSIX file mode (0600) of the new database; localtime_r.
#include "DatabaseComponent_test.h"

namespace tvk {
namespace {

TEST_F(DatabaseComponentTest, DefaultDatabaseIsCreatedAndAnswersTheServiceStatements) {
    database.SetConnectionString("none");
    database.Connect();
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"Velkor.db"});
    // It will hold the mail password.
    EXPECT_EQ(std::filesystem::status(folder / "Velkor.db").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    auto settings = database.Recordset(kSettingsQuery);
    ASSERT_FALSE(settings->IsEOF());
    EXPECT_EQ(settings->Fields("Postnummer").AsText(), "0150");
    EXPECT_FALSE(settings->Fields("RegFirma").AsText().empty());
    EXPECT_EQ(settings->Fields("UpdateServiceSendMail").AsInteger(), 0);
    EXPECT_EQ(settings->Fields("UpdateServiceMailSent").AsInteger(), 0);
    EXPECT_EQ(settings->Fields("MailServer").AsText(), "");
    settings->Close();

    auto version = database.Recordset("EXECUTE master..xp_msver 'ProductVersion'");
    ASSERT_FALSE(version->IsEOF());
    EXPECT_GE(std::stoi(version->Fields(3).AsText()), 16);

    std::string now = database.Recordset("SQLServerDate")->Fields("SQLServerDate").AsText();
    ASSERT_TRUE(std::regex_match(now, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << now;
    std::tm local{};
    std::time_t t = std::time(nullptr);
    localtime_r(&t, &local);
    char today[11];
    std::strftime(today, sizeof today, "%Y-%m-%d", &local);
    EXPECT_EQ(now.substr(0, 10), today);  // local time, not UTC (may flake exactly at midnight)

    auto versions = database.Recordset("Version");
    EXPECT_FALSE(versions->Fields("DatabaseVersion").IsNull());
    EXPECT_FALSE(versions->Fields("SQLServerVersion").IsNull());

    EXPECT_TRUE(
        database.Recordset("UPDATE Innstillinger SET UpdateServiceMailSent=1", true)->IsEOF());
    database.Disconnect();

    // The change is in the file, and a second connect does not rebuild it.
    database.SetConnectionString("  NONE ");
    database.Connect();
    EXPECT_EQ(database.Recordset(kSettingsQuery)->Fields("UpdateServiceMailSent").AsInteger(), 1);
}

}  // namespace
}  // namespace tvk
