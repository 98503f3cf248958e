#include "run/ServiceSettings.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "components/settings/IniFile.h"

namespace tvk {
namespace {

class ServiceSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state.programFolder = folder.Path();
        state.settingsFile = std::make_unique<IniFile>();
    }
    std::string Read(const char* key) {
        return state.settingsFile->LesINIStreng("UpdateService", key,
                                                (folder / "Velkor5.ini").string());
    }
    void Write(const std::string& text) { test::WriteAll(folder / "Velkor5.ini", text); }

    test::TempFolder folder;
    RunState state;
};

TEST_F(ServiceSettingsTest, MissingFileGetsTheFourDefaults) {
    ReadServiceSettings(state);
    EXPECT_EQ(state.ServiceSettings.Host, kDefaultHost);
    EXPECT_EQ(state.ServiceSettings.Info, kDefaultInfo);
    EXPECT_EQ(state.ServiceSettings.LogHost, kDefaultLogHost);
    EXPECT_EQ(state.ServiceSettings.LogPath, kDefaultLogPath);
    EXPECT_FALSE(state.ServiceSettings.Test);
    EXPECT_EQ(Read("LogPath"), "/velkor/us/log");
    EXPECT_EQ(Read("Test"), "");  // never written
}

TEST_F(ServiceSettingsTest, BlankHostReplacesAllFourAddresses) {
    Write("[UpdateService]\r\nHost=\"   \"\r\nInfo=http://old/info\r\nLogPath=/old\r\nTest=1\r\n");
    ReadServiceSettings(state);
    EXPECT_EQ(state.ServiceSettings.Host, kDefaultHost);
    EXPECT_EQ(state.ServiceSettings.Info, kDefaultInfo);
    EXPECT_EQ(state.ServiceSettings.LogPath, kDefaultLogPath);
    EXPECT_TRUE(state.ServiceSettings.Test);
}

TEST_F(ServiceSettingsTest, ASetHostLeavesTheFileAloneAndKeepsItsLeadingBlank) {
    const std::string text =
        "[UpdateService]\nHost=\" http://mirror/u\"\nInfo=http://intranet/info\n";
    Write(text);
    ReadServiceSettings(state);
    EXPECT_EQ(state.ServiceSettings.Host, " http://mirror/u");
    EXPECT_EQ(state.ServiceSettings.Info, "http://intranet/info");
    EXPECT_EQ(state.ServiceSettings.LogHost, "");
    EXPECT_EQ(test::ReadAll(folder / "Velkor5.ini"), text);
}

TEST_F(ServiceSettingsTest, TestFlagOnlyForExactlyOne) {
    for (auto [value, expected] : std::vector<std::pair<std::string, bool>>{
             {"1", true}, {"\" 1\"", false}, {"01", false}, {"true", false}, {"", false}}) {
        Write("[UpdateService]\nHost=http://h\nTest=" + value + "\n");
        ReadServiceSettings(state);
        EXPECT_EQ(state.ServiceSettings.Test, expected) << value;
    }
}

// Program Files for a standard user: the file stays as it is, the run goes on
// with the defaults.
TEST_F(ServiceSettingsTest, DefaultsThatCannotBeWrittenAreUsedAsTheyAre) {
    state.programFolder = folder / "no" / "such" / "folder";
    EXPECT_NO_THROW(ReadServiceSettings(state));
    EXPECT_EQ(state.ServiceSettings.Host, "http://update.tavrin.no/files/velkor/update");
    EXPECT_EQ(state.ServiceSettings.LogPath, "/velkor/us/log");
}

}  // namespace
}  // namespace tvk
