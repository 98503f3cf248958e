#pragma once

#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestSupport.h"
#include "components/database/DatabaseComponent.h"
#include "components/settings/IniFile.h"
#include "components/transfer/CurlTransfer.h"
#include "run/StartUp.h"
#include "state/RunEnded.h"
#include "update/UpdateDescriptor.h"

// Shared by the tests of either system and those of one system only.
namespace tvk {

// The whole fetch with real components; only the boxes are recorded.
class FetchDescriptor : public ::testing::Test {
  protected:
    void SetUp() override {
        state.programFolder = state.writeFolder = folder.Path();
        state.dialogs = &dialogs;
        state.transfer = std::make_unique<CurlTransfer>();
        state.settingsFile = std::make_unique<IniFile>();
        state.database = std::make_unique<DatabaseComponent>(folder.Path());
        state.database->SetConnectionString("none");
        state.database->Connect();
        state.ServiceSettings.Host = server.Url("/u");
        state.InstalledBuild = 500;
        server.ServeSigned("/u/update.ini", "[Update]\nBuild=512\nSetup=VelkorSetup\n");
    }

    // Runs the fetch; the exit code when it ended the run, -1 when it returned.
    int Fetch() {
        try {
            GetUpdateInfo(state);
        } catch (const RunEnded& ended) {
            EndRun(state);  // as Main does when the run has ended
            return static_cast<int>(ended.code);
        }
        return -1;
    }

    // A setup downloaded in an earlier run, its signature on the host.
    std::filesystem::path PlaceSetup(const std::string& script) {
        std::filesystem::create_directories(UpdateFolder(folder.Path()));
        auto setup = UpdateFolder(folder.Path()) / "VelkorSetup_512.exe";
        test::WriteAll(setup, script);
        server.ServeBody("/u/VelkorSetup.exe.minisig",
                         test::ReleaseSignatureOf(script, "file:VelkorSetup.exe build:512"));
        return setup;
    }

    test::LoopbackHttpServer server;
    test::TempFolder folder;
    test::RecordingDialogs dialogs;
    RunState state;
};

}  // namespace tvk
