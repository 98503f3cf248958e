// One update run from the descriptor to the started setup, with real peers
// on loopback: the update host (HTTP), the log host (FTP), the customer's
// mail server (SMTP), the application database (SQLite) and the program
// folder. Only the windows are stand-ins; the download window still fetches
// the setup for real.
#include "run/UpdateRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "LoopbackHttpServer.h"
#include "UpdateRunSupport.h"
#include "UpdateRun_test.h"
#include "components/transfer/CurlTransfer.h"
#include "components/transfer/KernelNetUtils.h"
#include "state/RunEnded.h"

namespace tvk::test {
namespace {

namespace fs = std::filesystem;

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

TEST_F(UpdateRun, WithoutAMailServerTheWindowTellsAndNothingIsRecorded) {
    WantMail("");
    EXPECT_EQ(Run(1), 0);
    ASSERT_EQ(dialogs.messageWindows.size(), 1u);
    EXPECT_EQ(dialogs.messageWindows[0].Melding, kNorwegianHeading);
    EXPECT_EQ(MailSent(), "0");
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

}  // namespace
}  // namespace tvk::test
