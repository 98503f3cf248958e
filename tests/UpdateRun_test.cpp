// One update run from the descriptor to the started setup, with real peers
// on loopback: the update host (HTTP), the log host (FTP), the customer's
// mail server (SMTP), the application database (SQLite) and the program
// folder. Only the windows are stand-ins; the download window still fetches
// the setup for real.
#include "run/UpdateRun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "FtpTestServer.h"
#include "LoopbackHttpServer.h"
#include "SmtpParsedMail.h"
#include "SmtpTestServer.h"
#include "UpdateRunSupport.h"
#include "components/transfer/CurlTransfer.h"
#include "components/transfer/KernelNetUtils.h"
#include "run/RunEnded.h"

namespace tvk::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNorwegianHeading = "Ny versjon av Velkor er nå tilgjengelig (7.9.512)";

// The sample setup: it leaves a mark beside itself when it runs.
const std::string kSetup = "#!/bin/sh\necho started > \"$0.started\"\n";
constexpr const char* kSetupSha256 =
    "74a8c5709a01133472407c7e2e88102b57b1b5ab1b126a9f4c28b33579dbb879";

// As the release tool writes it: the setup pinned by its size and digest.
std::string Descriptor(const std::string& product = "7.9", const std::string& language = "All") {
    return "[Update]\r\nBuild=512\r\nMinimumBuild=400\r\nSetup=VelkorSetup\r\nProduct=" + product +
           "\r\nSize=" + std::to_string(kSetup.size()) + "\r\nSha256=" + kSetupSha256 +
           "\r\n[Filter]\r\nTest=0\r\nLanguage=" + language + "\r\nName=All\r\nPostalCode=All\r\n";
}

// The message window answers as told; the download window fetches the setup
// for real, as the real window does, and then tells what it was told to.
class UpdateRunDialogs : public RecordingDialogs {
  public:
    DownloadWindowResult ShowDownloadWindow(const Texts& texts,
                                            const DownloadWindowRequest& request) override {
        for (const auto& entry : fs::directory_iterator(request.LocalPath))
            folderWhenDownloadStarted.push_back(entry.path().filename().string());
        std::sort(folderWhenDownloadStarted.begin(), folderWhenDownloadStarted.end());
        if (download.OK) {
            CurlTransfer transfer;
            transfer.Asynchronous(false);
            transfer.SetDownloadCheck(request.check);
            transfer.GetFileHTTP(request.URLHost + "/" + request.HostExe, request.LocalPath,
                                 request.LocalExe);
            if (afterDownload) afterDownload(fs::path(request.LocalPath) / request.LocalExe);
        }
        return RecordingDialogs::ShowDownloadWindow(texts, request);
    }

    std::vector<std::string> folderWhenDownloadStarted;
    std::function<void(const fs::path&)> afterDownload;  // what else befalls the file
};

class UpdateRun : public ::testing::Test {
  protected:
    void SetUp() override {
        http.ServeSigned("/files/update.ini", Descriptor());
        http.ServeSigned("/files/VelkorSetup.exe", kSetup);
        folder.WriteInstalledBuild(500);
        UseLogHost("127.0.0.1:1");
    }

    void UseLogHost(const std::string& logHost) {
        folder.WriteServiceSettings(http.Url("/files"), http.Url("/info"), logHost,
                                    "/velkor/us/log");
    }

    // One run as start-up makes it; the exit status when the run ended the
    // process itself, else 0. The previous run's copy of the descriptor is
    // removed first, so that each run has something new to tell.
    int Run(int16_t runMode = 1, int32_t languageId = 1044, bool mainInstallation = true) {
        fs::remove(folder / "update.ini");
        RunState state = folder.StartRun(dialogs, runMode, languageId, mainInstallation);
        try {
            RunUpdate(state);
        } catch (const RunEnded& ended) {
            return static_cast<int>(ended.code);
        }
        return 0;
    }

    void WantMail(const std::string& server, const std::string& password = "hemmelig") {
        folder.Sql(
            "UPDATE Innstillinger SET UpdateServiceSendMail = 1, UpdateServiceMailSent = 0,"
            " UpdateServiceSendTo = 'Ola Nordmann <kunde@firma.no>', MailServer = '" +
            server + "', MailBrukerid = 'anna', MailPassord = '" + password +
            "', MailAvsender = 'Velkor Service <service@velkor.no>';");
    }
    std::string MailSent() const {
        return folder.DatabaseValue("SELECT UpdateServiceMailSent FROM Innstillinger");
    }

    fs::path UpdateFolder() const { return folder / "Setup" / "Update"; }
    fs::path Setup() const { return UpdateFolder() / "VelkorSetup_512.exe"; }
    fs::path Marker() const { return UpdateFolder() / "VelkorSetup_512.exe.started"; }

    // The setup runs on its own; give it time to leave its mark.
    bool SetupStarted(std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!fs::exists(Marker())) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    LoopbackHttpServer http;
    UpdateRunFolder folder;
    UpdateRunDialogs dialogs;
};

TEST_F(UpdateRun, NoReleaseForThisInstallationIsToldOnlyToTheInteractiveCheck) {
    http.ServeSigned("/files/update.ini", Descriptor("7.9", "1030,2057"));
    // Neither the server check nor the mail belongs to a run without a release.
    folder.Sql("UPDATE xp_msver SET Character_Value = '9.00.5000';");
    WantMail("127.0.0.1:1");

    EXPECT_EQ(Run(1), 0);
    EXPECT_TRUE(dialogs.messageWindows.empty());
    EXPECT_TRUE(dialogs.shown.empty());

    EXPECT_EQ(Run(8), 0);
    ASSERT_EQ(dialogs.messageWindows.size(), 1u);
    const MessageWindowRequest& window = dialogs.messageWindows[0];
    EXPECT_FALSE(window.SoftwareUpdate);
    EXPECT_EQ(window.URL, http.Url("/info"));
    EXPECT_EQ(window.Melding, "");
    EXPECT_EQ(window.UpdateBuild, 0);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.downloadWindows.empty());
    EXPECT_EQ(MailSent(), "0");
}

TEST_F(UpdateRun, ADatabaseServerOlderThanVersion10RefusesTheRelease) {
    for (const std::string version : {"9.00.5000", "8.0", "7"}) {
        SCOPED_TRACE(version);
        folder.Sql("UPDATE xp_msver SET Character_Value = '" + version + "';");
        dialogs = {};
        EXPECT_EQ(Run(8), static_cast<int>(ExitCode::DatabaseTooOld));
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].title, "Velkor UpdateService");
        EXPECT_EQ(dialogs.shown[0].text.rfind("Den nye versjonen av Velkor, 7.9.0 og nyere støtter "
                                              "ikke databaseversjonen dere har per i dag.",
                                              0),
                  0u)
            << dialogs.shown[0].text;
        EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::Critical);
        EXPECT_TRUE(dialogs.shown[0].systemModal);
        EXPECT_TRUE(dialogs.messageWindows.empty());
    }
    for (const std::string version : {"10.50.1600.1", ""}) {
        SCOPED_TRACE(version);
        if (version.empty())
            folder.Sql("DELETE FROM xp_msver;");  // the server tells no version
        else
            folder.Sql("UPDATE xp_msver SET Character_Value = '" + version + "';");
        dialogs = {};
        EXPECT_EQ(Run(8), 0);
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(dialogs.messageWindows.size(), 1u);
    }
}

TEST_F(UpdateRun, TheMessageWindowCarriesTheReleaseInTheRunsLanguage) {
    http.ServeSigned("/files/update.ini", Descriptor(""));
    const DateTime before = LocalClock();
    EXPECT_EQ(Run(1, 2057, false), 0);
    const DateTime after = LocalClock();
    ASSERT_EQ(dialogs.messageWindows.size(), 1u);
    const MessageWindowRequest& window = dialogs.messageWindows[0];
    EXPECT_TRUE(window.SoftwareUpdate);
    EXPECT_FALSE(window.Hovedinstallasjon);
    EXPECT_EQ(window.Melding, "New version of Velkor is released (512)");
    EXPECT_EQ(window.Detaljer, "");
    EXPECT_EQ(window.URL, http.Url("/info"));
    EXPECT_EQ(window.UpdateBuild, 512);
    char dato[32];
    std::snprintf(dato, sizeof dato, "%04d-%02d-%02dT%02d:%02d:%02d", window.Dato.year,
                  window.Dato.month, window.Dato.day, window.Dato.hour, window.Dato.minute,
                  window.Dato.second);
    EXPECT_TRUE(IsIsoTimeBetween(dato, before, after)) << dato;

    http.ServeSigned("/files/update.ini", Descriptor("7.9"));
    EXPECT_EQ(Run(1, 2057, true), 0);
    ASSERT_EQ(dialogs.messageWindows.size(), 2u);
    EXPECT_EQ(dialogs.messageWindows[1].Melding, "New version of Velkor is released (7.9.512)");
    EXPECT_TRUE(dialogs.messageWindows[1].Hovedinstallasjon);
    EXPECT_TRUE(dialogs.downloadWindows.empty());  // the user closed it without installing
}

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

TEST_F(UpdateRun, WithoutAMailServerTheWindowTellsAndNothingIsRecorded) {
    WantMail("");
    EXPECT_EQ(Run(1), 0);
    ASSERT_EQ(dialogs.messageWindows.size(), 1u);
    EXPECT_EQ(dialogs.messageWindows[0].Melding, kNorwegianHeading);
    EXPECT_EQ(MailSent(), "0");
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

// An update folder as earlier runs leave it.
void FillUpdateFolder(const fs::path& updateFolder) {
    fs::create_directories(updateFolder);
    WriteAll(updateFolder / "VelkorSetup_480.exe", "old setup");
    WriteAll(updateFolder / "VelkorSetup_512.exe", "an earlier download of the same build");
    WriteAll(updateFolder / "SETUP.EXE", "upper case");
    WriteAll(updateFolder / "VelkorSetup_499.exe.part", "a killed download");
    WriteAll(updateFolder / "readme.txt", "not a program");
}

TEST_F(UpdateRun, ClosingTheWindowWithoutInstallingTouchesNothing) {
    FillUpdateFolder(UpdateFolder());
    dialogs.install = false;
    EXPECT_EQ(Run(1), 0);
    EXPECT_EQ(dialogs.messageWindows.size(), 1u);
    EXPECT_TRUE(dialogs.downloadWindows.empty());
    EXPECT_EQ(ReadAll(Setup()), "an earlier download of the same build");
    EXPECT_TRUE(fs::exists(UpdateFolder() / "VelkorSetup_480.exe"));
    EXPECT_EQ(http.Requests("/files/VelkorSetup.exe"), 0);
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
// is deleted.
TEST_F(UpdateRun, OnlyASetupTheMakerSignedIsReportedAndStarted) {
    FtpTestServer ftp;
    struct Case {
        const char* name;
        std::function<void()> arrange;
        int exit;
        const char* told;  // the refusal box
        int fetches;
    } cases[] = {
        {"no signature on the host",
         [&] { http.ServeStatus("/files/VelkorSetup.exe.minisig", 404, "Not Found"); }, 6,
         "Oppdateringen kunne ikke installeres: The signature VelkorSetup.exe.minisig could not "
         "be fetched: Not Found",
         0},
        {"replaced after its download",
         [&] {
             dialogs.afterDownload = [](const fs::path& setup) { WriteAll(setup, kSetup + "#"); };
         },
         6,
         "Oppdateringen kunne ikke installeres: VelkorSetup.exe is refused: its signature does "
         "not match its content",
         1},
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
    http.ServeSigned("/files/VelkorSetup.exe", kSetup);
    ProgramFolder folder;
    WriteAll(folder / "Velkor5.ini", "[UpdateService]\r\nHost=" + http.Url("/files") + "\r\nInfo=" +
                                         http.Url("/info") + "\r\nLogHost=127.0.0.1:1\r\n");
    WriteAll(folder / "version.ini", "[Version]\r\nMajor=7\r\nMinor=9\r\nBuild=500\r\n");

    ProcessResult run =
        RunProcess({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                    folder.Executable().string(), "1", "x", "1044", "true"});

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, std::string("[Velkor UpdateService] ") + kNorwegianHeading + "\n");
    EXPECT_EQ(http.Requests("/files/update.ini"), 1);
    EXPECT_EQ(http.Requests("/files/VelkorSetup.exe"), 0);
    EXPECT_FALSE(fs::exists(folder / "Setup" / "Update" / "VelkorSetup_512.exe"));
}

}  // namespace
}  // namespace tvk::test
