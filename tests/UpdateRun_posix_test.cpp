// Linux only: the setup is a shell script; FTP and SMTP peers are Python servers; env -u.
// One update run from the descriptor to the started setup, with real peers
// on loopback: the update host (HTTP), the log host (FTP), the customer's
// mail server (SMTP), the application database (SQLite) and the program
// folder. Only the windows are stand-ins; the download window still fetches
// the setup for real.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <thread>

#include "FtpTestServer.h"
#include "LoopbackHttpServer.h"
#include "SmtpParsedMail.h"
#include "SmtpTestServer.h"
#include "UpdateRunSupport.h"
#include "UpdateRun_test.h"
#include "components/transfer/CurlTransfer.h"
#include "components/transfer/KernelNetUtils.h"
#include "platform/ReplacementFile.h"
#include "run/UpdateRun.h"
#include "state/RunEnded.h"

namespace tvk::test {
namespace {

namespace fs = std::filesystem;

TEST_F(UpdateRun, TheNoticeIsMailedOnceAndRecordedInTheDatabase) {
    SmtpTestServer smtp({"anna", "hemmelig"});
    WantMail(smtp.HostAndPort());

    EXPECT_EQ(Run(1), 0);
    EXPECT_TRUE(dialogs.messageWindows.empty());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(MailSent(), "1");
    const std::vector<ReceivedMail> mails = smtp.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].login, "anna");
    EXPECT_EQ(mails[0].mailFrom, "service@velkor.no");
    EXPECT_EQ(mails[0].recipients, std::vector<std::string>{"kunde@firma.no"});
    EXPECT_NE(mails[0].raw.find("\r\nFrom: \"Velkor Service\" <service@velkor.no>\r\n"), -1);
    const ParsedMail mail = ParseMail(mails[0].raw);
    EXPECT_EQ(mail.subject, kNorwegianHeading);
    EXPECT_NE(mail.Part("text/html").content.find("Med vennlig hilsen"), std::string::npos);

    // Every later run, the interactive one too, leaves the customer in peace.
    for (int16_t mode : {1, 8}) {
        EXPECT_EQ(Run(mode), 0);
        EXPECT_TRUE(dialogs.messageWindows.empty());
        EXPECT_TRUE(dialogs.shown.empty());
    }
    EXPECT_EQ(smtp.Messages().size(), 1u);
}

TEST_F(UpdateRun, AMailThatFailsIsNotCountedAndTheWindowTellsInstead) {
    SmtpTestServer smtp({"anna", "hemmelig"});
    const std::string nobody = "127.0.0.1:" + std::to_string(UnusedLoopbackPort());
    for (const auto& [server, password] : {std::pair{smtp.HostAndPort(), std::string("feil")},
                                           std::pair{nobody, std::string("hemmelig")}}) {
        SCOPED_TRACE(server);
        WantMail(server, password);
        dialogs = {};
        EXPECT_EQ(Run(1), 0);
        EXPECT_EQ(MailSent(), "0");
        ASSERT_EQ(dialogs.messageWindows.size(), 1u);
        EXPECT_EQ(dialogs.messageWindows[0].Melding, kNorwegianHeading);
        EXPECT_TRUE(dialogs.shown.empty());
    }
    WantMail(smtp.HostAndPort());
    folder.Sql("UPDATE Innstillinger SET UpdateServiceSendTo='a@b.no', MailAvsender='Velkor';");
    EXPECT_EQ(Run(1), 0);
    EXPECT_EQ(MailSent(), "0");
    EXPECT_TRUE(smtp.Messages().empty());
}

TEST_F(UpdateRun, InstallClearsTheFolderDownloadsReportsAndStartsTheSetup) {
    FtpTestServer ftp;
    UseLogHost(ftp.HostAndPort());
    FillUpdateFolder(UpdateFolder());
    dialogs.install = true;
    dialogs.download = {.OK = true, .Installer = true};

    EXPECT_EQ(Run(1), 0);

    ASSERT_EQ(dialogs.downloadWindows.size(), 1u);
    const DownloadWindowRequest& request = dialogs.downloadWindows[0];
    EXPECT_EQ(request.URLHost, http.Url("/files"));
    EXPECT_EQ(request.HostExe, "VelkorSetup.exe");
    EXPECT_EQ(request.LocalExe, "VelkorSetup_512.exe");
    EXPECT_EQ(fs::path(request.LocalPath), UpdateFolder() / "");
    // Every program was gone before the download began; other files stay.
    EXPECT_EQ(dialogs.folderWhenDownloadStarted, std::vector<std::string>{"readme.txt"});

    EXPECT_EQ(ReadAll(Setup()), kSetup);
    EXPECT_EQ(http.Requests("/files/VelkorSetup.exe"), 1);

    const std::vector<std::string> reports = ftp.Files();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("/velkor/us/log/VK", 0), 0u) << reports[0];
    const ParsedReport report = ParseReportFile(ftp.Home() / reports[0].substr(1));
    EXPECT_EQ(report.children.at(1), std::make_pair(std::string("BuildPC"), std::string("500")));
    EXPECT_EQ(report.children.at(2),
              std::make_pair(std::string("BuildHentet"), std::string("512")));
    EXPECT_FALSE(fs::exists(folder / fs::path(reports[0]).filename()));

    // The setup came over HTTP, which carries no execute permission; it has
    // to run all the same.
    EXPECT_TRUE(SetupStarted()) << "the downloaded setup was not started";
}

TEST_F(UpdateRun, ADownloadThatDidNotCompleteIsNotReportedOrStarted) {
    FtpTestServer ftp;
    UseLogHost(ftp.HostAndPort());
    dialogs.install = true;
    dialogs.download = {.OK = false, .Installer = true};

    EXPECT_EQ(Run(1), 0);

    EXPECT_EQ(dialogs.downloadWindows.size(), 1u);
    EXPECT_TRUE(ftp.Files().empty());
    EXPECT_TRUE(ftp.Events().empty());
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        EXPECT_NE(entry.path().extension(), ".xml") << entry.path();
    EXPECT_FALSE(fs::exists(Marker()));
}

TEST_F(UpdateRun, WithoutInstallAfterDownloadTheSetupIsReportedAndKept) {
    FtpTestServer ftp;
    UseLogHost(ftp.HostAndPort());
    dialogs.install = true;
    dialogs.download = {.OK = true, .Installer = false};

    EXPECT_EQ(Run(1), 0);

    EXPECT_EQ(ftp.Files().size(), 1u);
    EXPECT_EQ(ReadAll(Setup()), kSetup);
    // The mark would show within moments if the setup had been started.
    EXPECT_FALSE(SetupStarted(std::chrono::milliseconds(500)));
}

// Nothing is reported or started that the maker did not sign: a setup
// without a signature is not even fetched; one replaced after its download
// is deleted. Nor is one begun while another user's download holds the folder.
TEST_F(UpdateRun, OnlyASetupTheMakerSignedIsReportedAndStarted) {
    FtpTestServer ftp;
    std::optional<platform::ReplacementFile> held;
    struct Case {
        const char* name;
        std::function<void()> arrange;
        int exit;
        const char* told;  // the refusal box
        int fetches;
    } cases[] = {
        {"no signature on the host",
         [&] { http.ServeStatus("/files/VelkorSetup.exe.minisig", 404, "Not Found"); }, 6,
         "Oppdateringen kunne ikke installeres: VelkorSetup.exe finnes ikke på "
         "oppdateringsserveren (404 - The signature VelkorSetup.exe.minisig could not be fetched: "
         "Not Found)",
         0},
        {"replaced after its download",
         [&] {
             dialogs.afterDownload = [](const fs::path& setup) { WriteAll(setup, kSetup + "#"); };
         },
         6,
         "Oppdateringen kunne ikke installeres: VelkorSetup.exe is refused: its signature does "
         "not match its content",
         1},
        {"another run downloading",
         [&] {
             fs::create_directories(UpdateFolder());
             held.emplace(UpdateFolder() / "VelkorSetup_511.exe", ".part",
                          platform::ReplacementFile::Leftover::Kept);
         },
         0,
         "Oppdateringen kunne ikke installeres: VelkorSetup_511.exe lastes allerede ned på denne "
         "datamaskinen, kanskje av en annen bruker; prøv igjen når den nedlastingen er ferdig",
         0},
    };
    for (const Case& c : cases) {
        SetUp();
        UseLogHost(ftp.HostAndPort());
        dialogs = {};
        dialogs.install = true;
        dialogs.download = {.OK = true, .Installer = true};
        c.arrange();
        const int fetchesBefore = http.Requests("/files/VelkorSetup.exe");
        EXPECT_EQ(Run(1), c.exit) << c.name;
        EXPECT_EQ(http.Requests("/files/VelkorSetup.exe") - fetchesBefore, c.fetches) << c.name;
        ASSERT_EQ(dialogs.shown.size(), 1u) << c.name;
        EXPECT_EQ(dialogs.shown[0].text, c.told) << c.name;
        EXPECT_EQ(dialogs.shown[0].title, "Velkor UpdateService") << c.name;
        EXPECT_FALSE(fs::exists(Setup())) << c.name;
        EXPECT_TRUE(ftp.Files().empty()) << c.name;
        EXPECT_FALSE(fs::exists(Marker())) << c.name;
        EXPECT_TRUE(!held || fs::exists(held->Path())) << c.name;
    }
}

// The built program, no display: the console stands in for the message
// window, which counts as closed without installing.
TEST(UpdateRunProgram, AReleaseForTheCustomerIsToldOnTheConsoleAndNothingIsFetched) {
    // The loopback server lives in this process's network namespace, so the
    // program runs there too; it must count as online.
    if (!KernelNetUtils().Connected())
        GTEST_SKIP() << "this machine has no network interface besides loopback";
    LoopbackHttpServer http;
    http.ServeSigned("/files/update.ini", Descriptor());
    http.ServeSigned("/files/VelkorSetup.exe", kSetup, 512);
    ProgramFolder folder;
    WriteAll(folder / "Velkor5.ini", "[UpdateService]\r\nHost=" + http.Url("/files") + "\r\nInfo=" +
                                         http.Url("/info") + "\r\nLogHost=127.0.0.1:1\r\n");
    WriteAll(folder / "version.ini", "[Version]\r\nMajor=7\r\nMinor=9\r\nBuild=500\r\n");

    ProcessResult run = RunProcess(
        test::WithoutDisplay({}, {folder.Executable().string(), "1", "x", "1044", "true"}));

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, std::string("[Velkor UpdateService] ") + kNorwegianHeading + "\n");
    EXPECT_EQ(http.Requests("/files/update.ini"), 1);
    EXPECT_EQ(http.Requests("/files/VelkorSetup.exe"), 0);
    EXPECT_FALSE(fs::exists(folder / "Setup" / "Update" / "VelkorSetup_512.exe"));
}

}  // namespace
}  // namespace tvk::test
