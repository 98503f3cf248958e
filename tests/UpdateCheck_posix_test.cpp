// Linux only: the built program run without a display (env -u); the release tool is a shell script.
// The update check as a user meets it: the built binary in its own program
// folder, Velkor5.ini pointing the update host at a server on loopback.
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestSupport.h"
#include "components/transfer/KernelNetUtils.h"

namespace tvk::test {
namespace {

constexpr const char* kDescriptor512 =
    "[Update]\r\nBuild=512\r\nMinimumBuild=400\r\nSetup=VelkorSetup\r\nProduct=7.9\r\n"
    "[Filter]\r\nTest=0\r\nLanguage=All\r\nName=All\r\nPostalCode=All\r\n";

class UpdateCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        // The loopback server lives in this process's network namespace, so
        // the binary runs there too; it must count as online.
        if (!KernelNetUtils().Connected())
            GTEST_SKIP() << "this machine has no network interface besides loopback";
        WriteAll(folder / "Velkor5.ini",
                 "[UpdateService]\r\nHost=" + server.Url("/files") + "\r\n");
        WriteAll(folder / "version.ini", "[Version]\r\nMajor=7\r\nMinor=9\r\nBuild=500\r\n");
    }

    ProcessResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), folder.Executable().string());
        return RunProcess(test::WithoutDisplay({}, std::move(args)));
    }

    LoopbackHttpServer server;
    ProgramFolder folder;
};

TEST_F(UpdateCheck, TheInstalledBuildEndsTheBackgroundCheckSilently) {
    WriteAll(folder / "version.ini", "[Version]\r\nMajor=7\r\nMinor=9\r\nBuild=512\r\n");
    server.ServeSigned("/files/update.ini", kDescriptor512);
    ProcessResult run = Run({"1", "x", "1044", "true"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(server.Requests("/files/update.ini"), 1);
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor512);
    // An unchanged descriptor is not written again.
    const auto written = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(folder / "update.ini", written);
    EXPECT_EQ(Run({"1", "x", "1044", "true"}).exitCode, 0);
    EXPECT_EQ(std::filesystem::last_write_time(folder / "update.ini"), written);
}

TEST_F(UpdateCheck, ANewBuildIsToldOnceOnASecondaryInstallation) {
    server.ServeSigned("/files/update.ini", kDescriptor512);
    // What killed runs left goes with the next write; a write in progress keeps its file.
    for (const char* left : {"update.ini.Ab12Cd", "update.ini.Xy34Zw", "update.ini.bak"})
        WriteAll(folder / left, "left");
    std::filesystem::last_write_time(
        folder / "update.ini.Ab12Cd",
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    ProcessResult first = Run({"1", "x", "1044", "false", "/debug"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "update.ini.Ab12Cd"));
    EXPECT_TRUE(std::filesystem::exists(folder / "update.ini.Xy34Zw") &&
                std::filesystem::exists(folder / "update.ini.bak"));
    EXPECT_NE(first.err.find("the release is meant for this installation"), std::string::npos)
        << first.err;

    ProcessResult second = Run({"1", "x", "1044", "false", "/debug"});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_NE(second.err.find("nothing new for this installation"), std::string::npos)
        << second.err;
    EXPECT_EQ(second.err.find("[Velkor UpdateService]"), std::string::npos) << second.err;
    EXPECT_EQ(Run({"1", "x", "1044", "false"}).err, "");
}

TEST_F(UpdateCheck, TheMainInstallationIsOfferedTheSetupItAlreadyHas) {
    server.ServeSigned("/files/update.ini", kDescriptor512);
    ASSERT_EQ(Run({}).exitCode, 0);
    std::filesystem::create_directories(folder / "Setup" / "Update");
    WriteAll(folder / "Setup" / "Update" / "VelkorSetup_512.exe", "setup");

    ProcessResult run = Run({"1", "x", "2057", "true"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err,
              "[Velkor UpdateService] The latest update is downloaded, but not installed. "
              "Do You want to install the update now?\n");
}

TEST_F(UpdateCheck, FailuresShowTheDescriptorMessageAndKeepThePreviousCopy) {
    server.ServeSigned("/files/update.ini", kDescriptor512);
    ASSERT_EQ(Run({}).exitCode, 0);

    server.ServeStatus("/files/update.ini", 404, "Not Found", "<html>gone</html>");
    ProcessResult missing = Run({"8", "x", "2057", "true"});
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_EQ(missing.err, "[Error] Error getting update info: 404 - Not Found\n");
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor512);

    server.ServeSigned("/files/update.ini", "[Update]\r\nBuild=4294967296\r\n");
    ProcessResult huge = Run({"1", "x", "2057", "true"});
    EXPECT_EQ(huge.exitCode, 4);
    EXPECT_EQ(huge.err.rfind("[Error] Error getting update info: 6 - Overflow", 0), 0u) << huge.err;

    // The overflowing copy left behind does not block the next fetch.
    server.ServeSigned("/files/update.ini", kDescriptor512);
    EXPECT_EQ(Run({"1", "x", "1044", "true"}).exitCode, 0);
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor512);

    WriteAll(folder / "Velkor5.ini", "[UpdateService]\r\nHost=http://127.0.0.1:1/files\r\n");
    ProcessResult down = Run({"1", "x", "2057", "true"});
    EXPECT_EQ(down.exitCode, 4);
    EXPECT_EQ(down.err.rfind("[Error] Error getting update info: 7 - ", 0), 0u) << down.err;
}

// The descriptor with lines added to section Update.
std::string Descriptor512With(const std::string& lines) {
    std::string descriptor = kDescriptor512;
    return descriptor.insert(descriptor.find("[Filter]"), lines);
}

// A descriptor counts only with the maker's signature, only in its bounds,
// and only when it is not older than the one taken before: otherwise the run
// ends with the descriptor message, and the previous copy stays byte for byte.
TEST_F(UpdateCheck, ADescriptorWithoutTheMakersSignatureChangesNothing) {
    const std::string taken = Descriptor512With("Issued=2026-12-01T10:00:00Z\r\n");
    server.ServeSigned("/files/update.ini", taken);
    ASSERT_EQ(Run({}).exitCode, 0);
    std::string newer = taken;
    newer.replace(newer.find("512"), 3, "513");
    TempFolder keys;
    const std::string stranger = MakeReleaseKeyPair(keys.Path(), "stranger").secretKey;
    auto signed_ = [](const std::string& body) { return ReleaseSignatureOf(body); };
    const std::string replayed = Descriptor512With("Issued=2026-11-20T10:00:00Z\r\n");
    const std::string expired =
        Descriptor512With("Issued=2026-12-02T10:00:00Z\r\nExpires=2026-12-05T10:00:00Z\r\n");
    struct Case {
        const char* name;
        std::string body, signature;  // no signature: 404
        const char* message;
    } cases[] = {
        {"unsigned", newer, "",
         "404 - The signature update.ini.minisig could not be fetched: Not Found"},
        {"tampered", newer, signed_(taken),
         "-2146869232 - update.ini is refused: its signature does not match its content"},
        {"signed by another key", newer, ReleaseSignatureOf(newer, "file:update.ini", stranger),
         "-2146869232 - update.ini is refused: it is signed by a key this build does not trust"},
        {"signed as another file", newer, ReleaseSignatureOf(newer, "file:VelkorSetup.exe"),
         "-2146869232 - update.ini is refused: its signature was made for another file"},
        {"an older release replayed", replayed, signed_(replayed),
         "-2146869232 - update.ini is refused: it was issued 2026-11-20 10:00:00 UTC, before the "
         "release already taken (2026-12-01 10:00:00 UTC); an old copy may have been served "
         "again"},
        {"a release without its time", kDescriptor512, signed_(kDescriptor512),
         "-2146869232 - update.ini is refused: it was issued at no stated time"},
        {"expired", expired, signed_(expired),
         "-2146762495 - update.ini is refused: it expired 2026-12-05 10:00:00 UTC; the update "
         "host may be serving an old copy"},
        {"larger than a descriptor can be", std::string(1024 * 1024 + 1, '\n'), "",
         "63 - The answer from 127.0.0.1 is larger than 1048576 bytes"},
    };
    for (const Case& c : cases) {
        server.ServeBody("/files/update.ini", c.body);
        if (c.signature.empty())
            server.ServeStatus("/files/update.ini.minisig", 404, "Not Found");
        else
            server.ServeBody("/files/update.ini.minisig", c.signature);
        ProcessResult run = Run({"1", "x", "2057", "true"});
        EXPECT_EQ(run.exitCode, 4) << c.name;
        EXPECT_EQ(run.err.rfind(std::string("[Error] Error getting update info: ") + c.message, 0),
                  0u)
            << c.name << ": " << run.err;
        EXPECT_EQ(ReadAll(folder / "update.ini"), taken) << c.name;
    }
    // A maker withdraws a build by a later release of a lower one (ended by the close alone).
    std::string withdrawn = Descriptor512With("Issued=2026-12-03T10:00:00Z\r\n");
    withdrawn.replace(withdrawn.find("512"), 3, "505");
    server.ServeSigned("/files/update.ini", withdrawn);
    LoopbackHttpServer::Response unframed{200, "OK", withdrawn, {}};
    unframed.withoutLength = true;
    server.Serve("/files/update.ini", unframed);
    EXPECT_EQ(Run({"1", "x", "2057", "true"}).exitCode, 0);
    EXPECT_EQ(ReadAll(folder / "update.ini"), withdrawn);
}

// What the maker's release tool publishes is what the service accepts; with
// a key the build does not trust it publishes nothing.
TEST_F(UpdateCheck, AReleaseMadeByTheReleaseToolIsAnnounced) {
    TempFolder made, www;
    WriteAll(made / "VelkorSetup.exe", "MZ setup");
    auto release = [&](const std::string& key, const char* rollout = "0") {
        return RunProcess({TVK_SOURCE_DIR "/scripts/release", "--key", key, "--trusted",
                           TVK_BUILD_DIR "/trusted-release-keys.pub", "--rollout", rollout,
                           www.Path().string(), (made / "VelkorSetup.exe").string(), "512", "7.9"});
    };
    ProcessResult stranger = release(MakeReleaseKeyPair(made.Path(), "stranger").secretKey);
    EXPECT_EQ(stranger.exitCode, 1);
    EXPECT_NE(stranger.err.find("is not a key the build trusts"), std::string::npos)
        << stranger.err;
    EXPECT_TRUE(std::filesystem::is_empty(www.Path()));

    ProcessResult released = release(BuildReleaseKey());
    ASSERT_EQ(released.exitCode, 0) << released.err;
    for (const char* name : {"update.ini", "VelkorSetup.exe"}) {
        server.ServeBody(std::string("/files/") + name, ReadAll(www / name));
        server.ServeBody(std::string("/files/") + name + ".minisig",
                         ReadAll(www / (std::string(name) + ".minisig")));
    }
    for (const char* rollout : {"42", "43"}) {  // serial number 1 draws 42 for build 512
        EXPECT_EQ(Run({"1", "x", "2057", "false"}).err, "");
        ASSERT_EQ(release(BuildReleaseKey(), rollout).exitCode, 0);
        server.ServeBody("/files/update.ini", ReadAll(www / "update.ini"));
        server.ServeBody("/files/update.ini.minisig", ReadAll(www / "update.ini.minisig"));
    }
    ProcessResult run = Run({"1", "x", "2057", "false"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "[Velkor UpdateService] New version of Velkor is released (7.9.512)\n");
    EXPECT_NE(ReadAll(folder / "update.ini").find("Sha256="), std::string::npos);
}

TEST_F(UpdateCheck, AnErrorPageServedAsSuccessIsNothingNew) {
    server.ServeSigned("/files/update.ini", "<html><body>Maintenance</body></html>");
    ProcessResult background = Run({"1", "x", "1044", "true"});
    EXPECT_EQ(background.exitCode, 0);
    EXPECT_EQ(background.err, "");
    // The interactive check goes on to the filter, which finds nothing newer.
    ProcessResult interactive = Run({"8", "x", "1044", "true", "/debug"});
    EXPECT_EQ(interactive.exitCode, 0);
    EXPECT_NE(interactive.err.find("not meant for this installation"), std::string::npos)
        << interactive.err;
}

TEST_F(UpdateCheck, AMalformedPostalCodeListEndsTheRunWithoutNotice) {
    std::string descriptor = kDescriptor512;
    descriptor.replace(descriptor.find("PostalCode=All"), 14, "PostalCode=0150,,5000");
    server.ServeSigned("/files/update.ini", descriptor);
    ProcessResult run = Run({"8", "x", "1044", "true", "/debug"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("customer filter failed: 9 - "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("[Velkor UpdateService]"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tvk::test
