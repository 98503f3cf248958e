#include "run/StartUp.h"

#include <cstdio>

#include "common/NumberRules.h"
#include "common/ServiceError.h"
#include "components/database/DatabaseComponent.h"
#include "components/settings/IniFile.h"
#include "components/signature/ReleaseSignature.h"
#include "components/transfer/CurlTransfer.h"
#include "components/transfer/KernelNetUtils.h"
#include "database/CustomerSettings.h"
#include "localisation/StringTable.h"
#include "platform/Platform.h"
#include "run/CommandLine.h"
#include "run/ServiceSettings.h"
#include "run/UpdateRun.h"
#include "state/RunEnded.h"
#include "state/Trace.h"

namespace tvk {

namespace {

// Which keys a release must be signed with: a build that made its own key
// pair says where it lies, so that nobody takes it for a release build.
std::string TrustedKeysNote() {
    const std::string file = DevelopmentKeyFile();
    if (!file.empty()) return "development build: trusts the key in " + file;
    return "releases must be signed by one of the maker's " +
           std::to_string(TrustedReleaseKeys().size()) + " built-in keys";
}

int RefuseCommandLine(const RunState& state, const CommandLineError& error) {
    state.dialogs->ShowMessage(
        {.text = std::string(error.what()) +
                 "\nExpected: tvkUpdateService <run mode> <identifier> <language id> "
                 "<main installation> [/debug] [/conn:<connection text>]",
         .title = kProgramTitle,
         .icon = MessageIcon::Critical});
    platform::WriteText(stderr, CommandLineUsage() + "\n");
    return static_cast<int>(ExitCode::CommandLine);
}

void ApplyCommandLine(RunState& state, const CommandLine& line) {
    state.RunMode = line.RunMode;
    state.LanguageId = line.LanguageId;
    state.MainInstallation = line.MainInstallation;
    state.ConnectionText = line.ConnectionText;
    state.debug = line.debug;
    // A second workstation may be promoted to main installation by this file
    // alone; its content is not read.
    if (!state.MainInstallation && platform::FileExists(state.programFolder / "main.ini"))
        state.MainInstallation = true;
    Trace(state, "run mode " + std::to_string(state.RunMode) + ", language " +
                     std::to_string(state.LanguageId) + ", main installation " +
                     (state.MainInstallation ? "yes" : "no"));
}

void CheckInternet(RunState& state, const StartUpServices& services) {
    bool connected = services.makeNetUtils()->Connected();
    Trace(state, connected ? "online" : "offline");
    if (connected) return;
    if (state.Interactive())
        state.dialogs->ShowMessage({.text = LoadLocalString(state, 207),
                                    .title = LoadLocalString(state, 100),
                                    .icon = MessageIcon::Exclamation,
                                    .systemModal = true});
    throw RunEnded{ExitCode::Normal};
}

// The program folder first, where the application and its administrators
// look; the machine's data folder when this user cannot write there.
void ChooseWriteFolder(RunState& state) {
    state.writeFolder = state.programFolder;
    if (!platform::CanCreateFilesIn(state.programFolder)) {
        try {
            state.writeFolder = platform::MachineDataFolder();
        } catch (const ServiceError& failure) {
            Trace(state, "no data folder: " + DescribeFailure(failure));
        }
    }
    Trace(state, "files are written in " + platform::PathText(state.writeFolder));
}

void StartRun(RunState& state, const StartUpServices& services) {
    state.transfer = services.makeTransfer();
    state.makeTransfer = services.makeTransfer;
    state.settingsFile = services.makeSettingsFile();
    state.database = services.makeDatabase();

    ReadServiceSettings(state);
    ChooseWriteFolder(state);
    Trace(state, "update host " + state.ServiceSettings.Host +
                     (state.ServiceSettings.Test ? " (test installation)" : ""));
    if (state.debug) Trace(state, "proxy: " + ProxyDescription(state.ServiceSettings.Host + "/"));
    Trace(state, TrustedKeysNote());

    state.SqlServerProductVersion.clear();
    ReadCustomerSettings(state);
    Trace(state, "customer \"" + state.CustomerSettings.RegFirma + "\", postal code \"" +
                     state.CustomerSettings.Postnummer + "\", database server " +
                     state.SqlServerProductVersion);
}

// From the hand-over on nothing may stop the run from reaching its end.
template <class Step>
void IgnoringFailure(Step step) {
    try {
        step();
    } catch (...) {
    }
}

// Ends the run however its last step ends: returning, RunEnded or failing.
struct RunEnd {
    RunState& state;
    ~RunEnd() { EndRun(state); }
};

}  // namespace

void EndRun(RunState& state) {
    if (state.database) IgnoringFailure([&] { state.database->Disconnect(); });
    IgnoringFailure([&] { state.database.reset(); });
    IgnoringFailure([&] { state.settingsFile.reset(); });
    IgnoringFailure([&] { state.transfer.reset(); });
}

StartUpServices RealServices(const std::filesystem::path& programFolder, Dialogs& dialogs) {
    StartUpServices services;
    services.programFolder = programFolder;
    services.dialogs = &dialogs;
    services.makeNetUtils = [] { return std::make_unique<KernelNetUtils>(); };
    services.makeTransfer = [] { return std::make_unique<CurlTransfer>(); };
    services.makeSettingsFile = [] { return std::make_unique<IniFile>(); };
    services.makeDatabase = [programFolder] {
        return std::make_unique<DatabaseComponent>(programFolder);
    };
    return services;
}

int32_t ReadInstalledBuild(SettingsFile& ini, const std::filesystem::path& programFolder) {
    const std::filesystem::path file = programFolder / "version.ini";
    if (!platform::FileExists(file)) return 0;
    try {
        // Major and Minor must be valid numbers too, or the file is not trusted.
        for (const char* key : {"Major", "Minor"})
            StrictWholeNumber32(ini.LesINIStreng("Version", key, platform::PathText(file)));
        return StrictWholeNumber32(ini.LesINIStreng("Version", "Build", platform::PathText(file)));
    } catch (const std::exception&) {
        return 0;
    }
}

int Main(const std::string& commandLineText, const StartUpServices& services) {
    RunState state;
    state.programFolder = services.programFolder;
    state.dialogs = services.dialogs;

    try {
        CommandLine line = ParseCommandLine(commandLineText);
        if (line.helpRequested) {
            platform::WriteText(stdout, CommandLineUsage() + "\n" + TrustedKeysNote() + "\n");
            return static_cast<int>(ExitCode::Normal);
        }
        ApplyCommandLine(state, line);
    } catch (const CommandLineError& error) {
        return RefuseCommandLine(state, error);
    }

    try {
        CheckInternet(state, services);
        StartRun(state, services);
    } catch (const RunEnded& ended) {
        return static_cast<int>(ended.code);
    } catch (const std::exception& failure) {
        state.dialogs->ShowMessage(
            {.text = "The update service could not start: " + DescribeFailure(failure),
             .title = kProgramTitle,
             .icon = MessageIcon::Critical});
        return static_cast<int>(ExitCode::StartupFailure);
    }

    const RunEnd end{state};
    state.InstalledBuild = ReadInstalledBuild(*state.settingsFile, state.programFolder);
    Trace(state, "installed build " + std::to_string(state.InstalledBuild));
    try {
        RunUpdate(state);
    } catch (const RunEnded& ended) {
        return static_cast<int>(ended.code);
    } catch (...) {
    }
    return static_cast<int>(ExitCode::Normal);
}

}  // namespace tvk
