#include "update/UpdateDescriptor.h"

#include "TestSupport.h"
#include "UpdateDescriptor_test.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {
namespace {

class ReadDescriptor : public ::testing::Test {
  protected:
    UpdateInfo Read(const std::string& text) { return ReadUpdateInfo(text); }
};

TEST_F(ReadDescriptor, ReadsTheEightValues) {
    UpdateInfo info = Read(
        "[Update]\r\nBuild=512\r\nMinimumBuild=400\r\nSetup=VelkorSetup\r\nProduct=7.9\r\n"
        "[Filter]\r\nTest=1\r\nLanguage=1044,1030\r\nName=ABC\r\nPostalCode=0150-0199\r\n");
    EXPECT_EQ(info.Build, 512);
    EXPECT_EQ(info.MinimumBuild, 400);
    EXPECT_EQ(info.Setup, "VelkorSetup");
    EXPECT_EQ(info.Product, "7.9");
    EXPECT_TRUE(info.Test);
    EXPECT_EQ(info.Language, "1044,1030");
    EXPECT_EQ(info.Name, "ABC");
    EXPECT_EQ(info.PostalCode, "0150-0199");
}

TEST_F(ReadDescriptor, MissingKeysReadEmptyNotTheResetValues) {
    // An HTML error page served with status 200 has none of the keys.
    UpdateInfo info = Read("<html><body>Service Unavailable</body></html>");
    EXPECT_EQ(info.Build, 0);
    EXPECT_EQ(info.Setup, "");
    EXPECT_EQ(info.Language, "");
    EXPECT_FALSE(info.Test);
}

TEST_F(ReadDescriptor, NumbersFollowTheLeadingNumberRule) {
    EXPECT_EQ(Read("[Update]\nBuild=512abc").Build, 512);
    EXPECT_EQ(Read("[Update]\nBuild=5 12").Build, 512);
    EXPECT_EQ(Read("[Update]\nBuild=12.5").Build, 12);
    EXPECT_EQ(Read("[Update]\nBuild=13.5").Build, 14);
    EXPECT_EQ(Read("[Update]\nBuild=2147483647").Build, 2147483647);
    EXPECT_EQ(test::ErrorOf([&] { Read("[Update]\nBuild=2147483648"); }).Number(),
              ErrorNumber::Overflow);
    EXPECT_EQ(test::ErrorOf([&] { Read("[Update]\nMinimumBuild=-99999999999"); }).Number(),
              ErrorNumber::Overflow);
    for (const char* flag : {" 1", "01", "true", ""})
        EXPECT_FALSE(Read(std::string("[Filter]\nTest=\"") + flag + "\"").Test) << flag;
}

TEST_F(ReadDescriptor, SetupNamesThatLeaveTheUpdateFolderAreRefused) {
    for (const char* name :
         {"../evil", "sub/setup", "sub\\setup", "C:setup", "a..b", "x\x01y", "x\x81y"}) {
        ServiceError error =
            test::ErrorOf([&] { Read(std::string("[Update]\nBuild=1\nSetup=") + name); });
        EXPECT_EQ(error.Number(), ErrorNumber::InvalidArgument) << name;
    }
    EXPECT_EQ(Read("[Update]\nSetup=Velkor Setup 7.9").Setup, "Velkor Setup 7.9");
}

TEST_F(ReadDescriptor, AnUnreadableRolloutRefusesTheDescriptor) {
    for (const std::string rollout : {"abc", "-5", "150", "50%", "5.5", "+5", "99999999999"})
        EXPECT_THROW(Read("[Filter]\nRollout=" + rollout), ServiceError) << rollout;
}

// Issued and Expires are UTC; an expiry has a day's slack for wrong clocks.
TEST_F(ReadDescriptor, TimesAreInUtcAndAnExpiryHasADaysSlack) {
    const UpdateInfo info =
        Read("[Update]\nIssued=2026-12-10T01:02:03Z\nExpires=2026-12-20T00:00:00Z");
    EXPECT_EQ(info.Issued, DateTime::Parse("2026-12-10 01:02:03"));
    for (const char* time :
         {"2026-12-10T01:02:03", "2026-12-10 01:02:03 UTC", "2026-02-30T00:00:00Z"})
        EXPECT_EQ(test::ErrorOf([&] { Read(std::string("[Update]\nIssued=") + time); }).Number(),
                  ErrorNumber::TypeMismatch)
            << time;
    const auto expiry = std::chrono::sys_days{std::chrono::December / 20 / 2026};
    EXPECT_NO_THROW(RefuseStaleDescriptor(info, info.Issued, expiry + std::chrono::hours(23)));
    EXPECT_EQ(test::ErrorOf([&] {
                  RefuseStaleDescriptor(info, std::nullopt, expiry + std::chrono::hours(25));
              }).Number(),
              ErrorNumber::ReleaseExpired);
}

TEST(DescriptorDecision, NewBuildsAreToldOnceAndTheInteractiveCheckAlways) {
    RunState state;
    state.InstalledBuild = 500;
    state.UpdateInfo.Build = 512;
    EXPECT_EQ(Decide(state, 0), DescriptorDecision::GoOn);
    EXPECT_EQ(Decide(state, 511), DescriptorDecision::GoOn);
    EXPECT_EQ(Decide(state, 512), DescriptorDecision::OfferDownloadedSetup);
    state.UpdateInfo.Rollout = 0;  // paused: not even a downloaded setup is offered
    EXPECT_EQ(Decide(state, 512), DescriptorDecision::EndRun);
    state.MainInstallation = false;
    EXPECT_EQ(Decide(state, 512), DescriptorDecision::EndRun);
    state.RunMode = 8;
    EXPECT_EQ(Decide(state, 512), DescriptorDecision::GoOn);

    state.UpdateInfo.Build = 500;  // the installed build
    EXPECT_EQ(Decide(state, 0), DescriptorDecision::GoOn);
    state.RunMode = 1;
    EXPECT_EQ(Decide(state, 0), DescriptorDecision::EndRun);
}

TEST(DescriptorDecision, LocalSetupName) {
    UpdateInfo info;
    info.Setup = "VelkorSetup";
    info.Build = 512;
    EXPECT_EQ(LocalSetupName(info), "VelkorSetup_512.exe");
    EXPECT_EQ(UpdateFolder("/opt/velkor"), std::filesystem::path("/opt/velkor/Setup/Update"));
}

TEST_F(FetchDescriptor, ANewBuildReturnsAndTheSecondRunEndsQuietly) {
    EXPECT_EQ(Fetch(), -1);
    EXPECT_EQ(state.UpdateInfo.Build, 512);
    EXPECT_EQ(state.UpdateInfo.Language, "");  // read, not the reset value
    EXPECT_EQ(Fetch(), static_cast<int>(ExitCode::Normal));
    EXPECT_TRUE(dialogs.shown.empty());  // no setup downloaded yet: nothing to offer
    // Ending the run released the components.
    EXPECT_EQ(state.database, nullptr);
    EXPECT_EQ(state.transfer, nullptr);
}

// Whoever can write the program folder cannot change the values between
// their check and their use: they are read from the verified bytes, which the
// copy then holds.
TEST_F(FetchDescriptor, TheValuesUsedAreThoseVerified) {
    struct RewritingIni : IniFile {
        std::string LesINIStreng(const std::string& section, const std::string& key,
                                 const std::string& path) override {
            test::WriteAll(platform::TextPath(path), "[Update]\nBuild=999\nSetup=Other\n");
            return IniFile::LesINIStreng(section, key, path);
        }
    };
    state.settingsFile = std::make_unique<RewritingIni>();
    EXPECT_EQ(Fetch(), -1);
    EXPECT_EQ(state.UpdateInfo.Build, 512);
    EXPECT_EQ(state.UpdateInfo.Setup, "VelkorSetup");
    EXPECT_EQ(test::ReadAll(folder / "update.ini"), "[Update]\nBuild=512\nSetup=VelkorSetup\n");
}

// A setup that cannot start (on Windows also one whose elevation the user
// refused) is not installed, and the user is told why.
TEST_F(FetchDescriptor, ASetupThatCannotStartIsNotInstalledAndTheUserToldWhy) {
    ASSERT_EQ(Fetch(), -1);
    PlaceSetup("not a program");  // no program format the system can start
    dialogs.answer = MessageAnswer::Yes;
    state.LanguageId = 2057;
    EXPECT_EQ(Fetch(), static_cast<int>(ExitCode::SetupRefused));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].title, "Velkor UpdateService");
    EXPECT_EQ(dialogs.shown[1].icon, MessageIcon::Critical);
    EXPECT_EQ(dialogs.shown[1].text.rfind("The update could not be installed: ", 0), 0u)
        << dialogs.shown[1].text;
    EXPECT_NE(dialogs.shown[1].text.find("Cannot start "), std::string::npos);
}

}  // namespace
}  // namespace tvk
