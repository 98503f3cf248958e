#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "components/Database.h"
#include "components/SettingsFile.h"
#include "components/TransferComponent.h"
#include "platform/Dialogs.h"
#include "state/RunState.h"

namespace tvk {

// What start-up takes from outside: the program folder, the dialogs, and the
// makers of the outside components. The executable passes the real ones;
// tests may pass others.
struct StartUpServices {
    std::filesystem::path programFolder;
    Dialogs* dialogs = nullptr;
    std::function<std::unique_ptr<NetUtils>()> makeNetUtils;
    TransferMaker makeTransfer;
    std::function<std::unique_ptr<SettingsFile>()> makeSettingsFile;
    std::function<std::unique_ptr<Database>()> makeDatabase;
};

// The real components for a program folder.
StartUpServices RealServices(const std::filesystem::path& programFolder, Dialogs& dialogs);

// One run of the service, from the command line to the end; returns the
// process's exit status (see ExitCode).
int Main(const std::string& commandLineText, const StartUpServices& services);

// Disconnects and releases what start-up created, ignoring any failure: the
// end of every run that got past start-up.
void EndRun(RunState& state);

// Build of version.ini in the program folder; 0 when it cannot be read.
int32_t ReadInstalledBuild(SettingsFile& ini, const std::filesystem::path& programFolder);

}  // namespace tvk
