// Linux only: the FTP peer is pyftpdlib, started with posix_spawn; reports parsed by Python.
// The download report as the maker's log host receives it: a real run state
// on a SQLite database, the run's own transfer component, pyftpdlib on
// loopback.
#include <gtest/gtest.h>

#include "FtpTestServer.h"
#include "UpdateRunSupport.h"
#include "download/DownloadReport.h"

namespace tvk::test {
namespace {

constexpr const char* kReportName = "VK200302090503.xml";  // the server clock below

class DownloadReportUpload : public ::testing::Test {
  protected:
    void SetUp() override {
        // The server clock is fixed and differs from the local clock, so the
        // file name shows which clock it was taken from.
        folder.Sql(
            "DROP VIEW SQLServerDate;"
            "CREATE VIEW SQLServerDate AS SELECT '2020-03-02 09:05:03' AS SQLServerDate;"
            "UPDATE Version SET DatabaseVersion = '5.12', SQLServerVersion = '16.0.1000.6';"
            // UTF-8 in the database; Latin-1 letters, markup, an entity and a
            // euro sign that Latin-1 has no place for.
            "UPDATE Innstillinger SET RegFirma = 'Ærlig & Ørn <Drift> \"AS\" &amp; 5€'"
            " || char(13, 10, 1, 65534);");
        folder.WriteInstalledBuild(500);
    }

    // The run state of a run that has just downloaded build 512.
    RunState StateFor(const std::string& logHost, const std::string& logPath) {
        folder.WriteServiceSettings("http://127.0.0.1:1/files", "http://127.0.0.1:1/info", logHost,
                                    logPath);
        RunState state = folder.StartRun(dialogs);
        state.UpdateInfo.Build = 512;
        return state;
    }

    std::filesystem::path LocalReport() const { return folder / kReportName; }

    UpdateRunFolder folder;
    RecordingDialogs dialogs;
};

TEST_F(DownloadReportUpload, TheReportArrivesAsOneLatin1LineAndTheLocalCopyIsGone) {
    FtpTestServer server;
    RunState state = StateFor(server.HostAndPort(), "/velkor/us/log");

    const DateTime before = LocalClock();
    SendDownloadReport(state);
    const DateTime after = LocalClock();

    ASSERT_EQ(server.Files(), std::vector<std::string>{"/velkor/us/log/VK200302090503.xml"});
    EXPECT_FALSE(std::filesystem::exists(LocalReport()));
    const std::filesystem::path received = server.Home() / "velkor/us/log" / kReportName;

    const ParsedReport parsed = ParseReportFile(received);
    EXPECT_EQ(parsed.root, "Download");
    ASSERT_EQ(parsed.children.size(), 6u);
    using Child = std::pair<std::string, std::string>;
    EXPECT_EQ(parsed.children[0], Child("Firma", "Ærlig & Ørn <Drift> \"AS\" &amp; 5€  "));
    EXPECT_EQ(parsed.children[1], Child("BuildPC", "500"));
    EXPECT_EQ(parsed.children[2], Child("BuildHentet", "512"));
    EXPECT_EQ(parsed.children[3], Child("DatabaseVersjon", "5.12"));
    EXPECT_EQ(parsed.children[4], Child("SQLServerVersjon", "16.0.1000.6"));
    EXPECT_EQ(parsed.children[5].first, "Ferdig");
    const std::string finished = parsed.children[5].second;
    EXPECT_TRUE(IsIsoTimeBetween(finished, before, after)) << finished;

    // The bytes themselves: one line, single-byte letters, CR LF at the end.
    EXPECT_EQ(ReadAll(received),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Download>"
              "<Firma>\xC6rlig &amp; \xD8rn &lt;Drift&gt; \"AS\" &amp;amp; 5&#8364;  </Firma>"
              "<BuildPC>500</BuildPC><BuildHentet>512</BuildHentet>"
              "<DatabaseVersjon>5.12</DatabaseVersjon><SQLServerVersjon>16.0.1000.6"
              "</SQLServerVersjon><Ferdig>" +
                  finished + "</Ferdig></Download>\r\n");
}

TEST_F(DownloadReportUpload, RefusedLoginLeavesTheReport) {
    FtpTestServer server({.password = "AnnetPassord"});
    RunState state = StateFor(server.HostAndPort(), "/velkor/us/log");

    EXPECT_NO_THROW(SendDownloadReport(state));

    EXPECT_TRUE(server.WaitForEvent("login ftpuser refused"));
    EXPECT_TRUE(server.Files().empty());
    ASSERT_TRUE(std::filesystem::exists(LocalReport()));
    EXPECT_EQ(std::filesystem::status(LocalReport()).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(ParseReportFile(LocalReport()).children.at(2).second, "512");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(DownloadReportUpload, RefusedUploadLeavesTheReport) {
    FtpTestServer server({.permissions = "elr"});
    // The folder is there, so it is the upload itself that is refused.
    std::filesystem::create_directories(server.Home() / "velkor/us/log");
    RunState state = StateFor(server.HostAndPort(), "/velkor/us/log");

    EXPECT_NO_THROW(SendDownloadReport(state));

    EXPECT_TRUE(server.WaitForEvent("login ftpuser ok"));
    EXPECT_TRUE(server.Files().empty());
    EXPECT_TRUE(std::filesystem::exists(LocalReport()));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(DownloadReportUpload, AReportOfTheSameSecondReplacesOneLeftBehind) {
    WriteAll(LocalReport(), "left by an upload that failed\r\n");
    FtpTestServer server;
    RunState state = StateFor(server.HostAndPort(), "/velkor/us/log");

    SendDownloadReport(state);

    ASSERT_EQ(server.Files(), std::vector<std::string>{"/velkor/us/log/VK200302090503.xml"});
    EXPECT_EQ(ParseReportFile(server.Home() / "velkor/us/log" / kReportName).root, "Download");
    EXPECT_FALSE(std::filesystem::exists(LocalReport()));
}

TEST_F(DownloadReportUpload, ASecondRunInTheSameSecondTakesTheNextFreeName) {
    FtpTestServer server;
    RunState first = StateFor(server.HostAndPort(), "/velkor/us/log");
    SendDownloadReport(first);
    const std::string firstReport = ReadAll(server.Home() / "velkor/us/log" / kReportName);

    const DateTime before = LocalClock();
    RunState second = StateFor(server.HostAndPort(), "/velkor/us/log");
    testing::internal::CaptureStdout();
    SendDownloadReport(second);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // a console shows no FTP answer

    EXPECT_EQ(server.Files(), (std::vector<std::string>{"/velkor/us/log/VK200302090503.xml",
                                                        "/velkor/us/log/VK200302090504.xml"}));
    EXPECT_EQ(ReadAll(server.Home() / "velkor/us/log" / kReportName), firstReport);
    const auto received = ParseReportFile(server.Home() / "velkor/us/log/VK200302090504.xml");
    EXPECT_TRUE(IsIsoTimeBetween(received.children.at(5).second, before, LocalClock()));
    EXPECT_FALSE(std::filesystem::exists(folder / "VK200302090504.xml"));
}

TEST_F(DownloadReportUpload, ACapitalFtpPrefixAndAPortStillNameTheHost) {
    FtpTestServer server;
    // A relative target is taken from the login folder.
    RunState state = StateFor("FTP://" + server.HostAndPort(), "innboks");

    SendDownloadReport(state);

    EXPECT_EQ(server.Files(), std::vector<std::string>{"/innboks/VK200302090503.xml"});
    EXPECT_FALSE(std::filesystem::exists(LocalReport()));
}

TEST_F(DownloadReportUpload, AMissingVersionSourceReachesTheCallerAndNothingIsSent) {
    folder.Sql("DROP TABLE Version;");
    FtpTestServer server;
    RunState state = StateFor(server.HostAndPort(), "/velkor/us/log");

    EXPECT_THROW(SendDownloadReport(state), ServiceError);

    EXPECT_TRUE(server.Files().empty());
    EXPECT_TRUE(server.Events().empty());  // not even a login
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        EXPECT_NE(entry.path().extension(), ".xml") << entry.path();
}

}  // namespace
}  // namespace tvk::test
