// Linux only: network namespaces (unshare, ip), env -u, an X display stand-in, ldd, sqlite3.
// The service as a user runs it: the built binary copied into a fresh
// program folder, no display, inside network namespaces made for the test.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "run/ServiceSettings.h"

namespace tvk::test {
namespace {

// Runs a program beside an X display of its own network namespace that
// refuses the handshake as for a missing cookie ("refuse") or never answers.
const char* kDisplayPeer = R"(import socket, subprocess, sys, threading
s = socket.socket(socket.AF_UNIX); s.bind("\0/tmp/.X11-unix/X5"); s.listen()
kept = []
def serve():
    while True:
        c = s.accept()[0]; kept.append(c)
        if sys.argv[1] == "refuse": c.send(b"\0\7\13\0\0\0\2\0refused\0")
threading.Thread(target=serve, daemon=True).start()
sys.exit(subprocess.run(sys.argv[2:]).returncode))";

class ServiceRun : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!CanCreateNetworkNamespace())
            GTEST_SKIP() << "needs network namespaces (run as root with unshare)";
    }

    ProcessResult RunOnline(std::vector<std::string> args) {
        args.insert(args.begin(), folder.Executable().string());
        return RunProcess(Online(args));
    }
    ProcessResult RunOffline(std::vector<std::string> args) {
        args.insert(args.begin(), folder.Executable().string());
        return RunProcess(Offline(args));
    }
    std::filesystem::path Ini() const { return folder / kServiceSettingsFile; }

    // Inside the test's namespace no name resolves, so a run that gets as far
    // as the update check ends with the descriptor message.
    static void ExpectUpdateHostUnreachable(const ProcessResult& run) {
        EXPECT_EQ(run.exitCode, 4) << run.err;
        EXPECT_NE(run.err.find("[Error] Error getting update info: 6 - "), std::string::npos)
            << run.err;
    }

    ProgramFolder folder;
};

TEST_F(ServiceRun, FirstRunWritesTheDefaultsAndTheSecondChangesNothing) {
    ProcessResult first = RunOnline({});
    ExpectUpdateHostUnreachable(first);
    EXPECT_EQ(ReadAll(Ini()),
              "[UpdateService]\r\n"
              "Host=http://update.tavrin.no/files/velkor/update\r\n"
              "Info=http://update.tavrin.no/support/update.aspx\r\n"
              "LogHost=ftp://ftp.tavrin.no\r\n"
              "LogPath=/velkor/us/log\r\n");
    EXPECT_TRUE(std::filesystem::exists(folder / "Velkor.db"));

    const std::string written = ReadAll(Ini());
    ExpectUpdateHostUnreachable(RunOnline({"1", "x", "1044", "true"}));
    EXPECT_EQ(ReadAll(Ini()), written);
}

TEST_F(ServiceRun, TheApplicationsOwnSettingsSurviveByteForByte) {
    const std::string original =
        "; Velkor settings\r\n[Database]\r\nServer = SQL01\\VELKOR\r\n\r\n"
        "[Skriver]\r\n;Printer=old\r\nPrinter=HP \xf8st\r\n";  // Windows-1252 "ø"
    WriteAll(Ini(), original);
    ExpectUpdateHostUnreachable(RunOnline({}));
    const std::string after = ReadAll(Ini());
    ASSERT_GT(after.size(), original.size());
    EXPECT_EQ(after.substr(0, original.size()), original);
    EXPECT_NE(after.find("\r\n[UpdateService]\r\nHost=http://update.tavrin.no/"),
              std::string::npos);

    // With a host set, a hand-edited address is never overwritten.
    const std::string edited =
        "[UpdateService]\nHost=http://mirror.local/u\nInfo=http://intranet/info\n[Other]\nx=1\n";
    WriteAll(Ini(), edited);
    ExpectUpdateHostUnreachable(RunOnline({}));
    EXPECT_EQ(ReadAll(Ini()), edited);
}

TEST_F(ServiceRun, OfflineTellsOnlyTheInteractiveCheck) {
    ProcessResult english = RunOffline({"8", "x", "2057", "false"});
    EXPECT_EQ(english.exitCode, 0);
    EXPECT_EQ(english.err,
              "[Velkor UpdateService] An internet connection is required to use this function.\n");

    ProcessResult norwegian = RunOffline({"8", "x", "1044", "true"});
    EXPECT_EQ(norwegian.err,
              "[Velkor UpdateService] Det kreves en internettforbindelse for å bruke denne "
              "funksjonen.\n");

    ProcessResult background = RunOffline({"1", "x", "2057", "false"});
    EXPECT_EQ(background.exitCode, 0);
    EXPECT_EQ(background.err, "");
    // Nothing was created before the check.
    EXPECT_FALSE(std::filesystem::exists(Ini()));
    EXPECT_FALSE(std::filesystem::exists(folder / "Velkor.db"));
}

TEST_F(ServiceRun, ADisplayThatCannotBeOpenedFallsBackToTheConsole) {
    const std::vector<std::string> displays[] = {
        {"DISPLAY=:987"},  // nothing listens
        {"DISPLAY=:5", "/usr/bin/python3", "-c", kDisplayPeer, "refuse"},
        {"DISPLAY=:5", "/usr/bin/python3", "-c", kDisplayPeer, "silent"},  // given up in time
        {"WAYLAND_DISPLAY=tvk-no-compositor"},
        {"QT_QPA_PLATFORM=wayland"}};
    for (const auto& display : displays) {
        std::vector<std::string> argv = {
            "env",      "-u",      "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
            display[0], "unshare", "-n"};
        argv.insert(argv.end(), display.begin() + 1, display.end());
        argv.insert(argv.end(), {folder.Executable().string(), "8", "x", "2057", "true"});
        ProcessResult run = RunProcess(argv);
        EXPECT_EQ(run.exitCode, 0) << display.back() << ": " << run.err;
        EXPECT_EQ(
            run.err,
            "[Velkor UpdateService] An internet connection is required to use this function.\n")
            << display.back();
    }
}

TEST_F(ServiceRun, ADatabaseThatCannotBeOpenedEndsWithTheMailSettingsMessage) {
    ProcessResult run = RunOnline({"1", "x", "1044", "true", "/conn:sqlite:Missing.db"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err.rfind("[tvkUpdateService] Error getting mail settings:14 - ", 0), 0u)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "Missing.db"));

    ProcessResult odbc =
        RunOnline({"1", "x", "1044", "true", "/conn:Driver={No Such Driver};Server=x"});
    EXPECT_EQ(odbc.exitCode, 3);
    EXPECT_EQ(odbc.err.rfind("[tvkUpdateService] Error getting mail settings:", 0), 0u) << odbc.err;
}

TEST_F(ServiceRun, DebugTracesTheDecisionsButNoPassword) {
    WriteAll(folder / "main.ini", "");
    WriteAll(folder / "version.ini", "[Version]\r\nMajor=7\r\nMinor=9\r\nBuild=1234\r\n");
    ExpectUpdateHostUnreachable(RunOnline({"1", "x", "1044", "true"}));
    ProcessResult setPassword = RunProcess({"sqlite3", (folder / "Velkor.db").string(),
                                            "UPDATE Innstillinger SET MailPassord='Hemmelig42'"});
    if (setPassword.exitCode != 0) GTEST_SKIP() << "sqlite3 shell missing: " << setPassword.err;

    ProcessResult run = RunOnline({"/debug", "1", "x", "1044", "0"});
    // The leading switch leaves a blank in front, so the values shift by one.
    EXPECT_EQ(run.exitCode, 2) << run.err;

    run = RunOnline({"1", "x", "1044", "0", "/DEBUG"});
    ExpectUpdateHostUnreachable(run);
    EXPECT_NE(run.err.find("main installation yes"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("installed build 1234"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Hemmelig42"), std::string::npos) << run.err;
}

TEST_F(ServiceRun, UnusableCommandLineShowsTheProblemAndTheExpectedForm) {
    ProcessResult run = RunOnline({"8", "x", "2057"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Invalid command line: expected four values"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Usage: tvkUpdateService"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Ini()));

    ProcessResult help = RunOnline({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: tvkUpdateService"), std::string::npos);
}

TEST(ExecutableLinks, NeitherGuiNorMailNorOdbcLibraryIsLoadedByTheExecutable) {
    ProcessResult ldd = RunProcess({"ldd", std::string(TVK_BUILD_DIR) + "/tvkUpdateService"});
    ASSERT_EQ(ldd.exitCode, 0) << ldd.err;
    EXPECT_NE(ldd.out.find("libtvkCore.so"), std::string::npos) << ldd.out;
    ProcessResult core = RunProcess({"ldd", std::string(TVK_BUILD_DIR) + "/libtvkCore.so"});
    for (const char* module : {"Qt", "libvmime", "libodbc"}) {
        EXPECT_EQ(ldd.out.find(module), std::string::npos) << ldd.out;
        EXPECT_EQ(core.out.find(module), std::string::npos) << core.out;
    }
}

}  // namespace
}  // namespace tvk::test
