#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <thread>

#include "LoopbackHttpServer.h"
#include "UpdateRunSupport.h"
#include "components/transfer/CurlTransfer.h"
#include "components/transfer/KernelNetUtils.h"
#include "run/UpdateRun.h"
#include "state/RunEnded.h"

// The update run tests' peers, stand-ins and fixture, shared by the tests of
// either system and those of one system only.
namespace tvk::test {

namespace fs = std::filesystem;

constexpr const char* kNorwegianHeading = "Ny versjon av Velkor er nå tilgjengelig (7.9.512)";

// The sample setup: it leaves a mark beside itself when it runs.
const std::string kSetup = "#!/bin/sh\necho started > \"$0.started\"\n";

constexpr const char* kSetupSha256 =
    "74a8c5709a01133472407c7e2e88102b57b1b5ab1b126a9f4c28b33579dbb879";

// As the release tool writes it: the setup pinned by its size and digest.
inline std::string Descriptor(const std::string& product = "7.9",
                              const std::string& language = "All") {
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
        http.ServeSigned("/files/VelkorSetup.exe", kSetup, 512);
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
    // The setup leaves its mark beside itself: the private copy it runs as.
    fs::path Marker() const {
        std::error_code ec;
        for (const auto& copy : fs::directory_iterator(folder / "temp", ec))
            if (copy.path().filename().string().starts_with("tvkSetup."))
                return copy.path() / "VelkorSetup_512.exe.started";
        return folder / "temp" / "no copy";
    }

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
    // The run's temporary files, and the private copy of the setup it starts.
    TempFolderAt temp{folder / "temp"};
    UpdateRunDialogs dialogs;
};

// An update folder as earlier runs leave it.
inline void FillUpdateFolder(const fs::path& updateFolder) {
    fs::create_directories(updateFolder);
    WriteAll(updateFolder / "VelkorSetup_480.exe", "old setup");
    WriteAll(updateFolder / "VelkorSetup_512.exe", "an earlier download of the same build");
    WriteAll(updateFolder / "SETUP.EXE", "upper case");
    WriteAll(updateFolder / "VelkorSetup_499.exe.part", "a killed download");
    WriteAll(updateFolder / "readme.txt", "not a program");
}

}  // namespace tvk::test
