#include "run/UpdateRun.h"

#include "common/NumberRules.h"
#include "common/ServiceError.h"
#include "download/DownloadReport.h"
#include "localisation/StringTable.h"
#include "notify/MessageText.h"
#include "notify/mSendEpost.h"
#include "platform/Platform.h"
#include "platform/ReplacementFile.h"
#include "state/RunEnded.h"
#include "state/Trace.h"
#include "update/CustomerFilter.h"
#include "update/SignedRelease.h"
#include "update/UpdateDescriptor.h"

namespace tvk {

namespace {

constexpr int kLowestServerVersion = 10;  // SQL Server 2008
// "@1 is already being downloaded on this computer, perhaps by another user; ..."
constexpr int32_t kDownloadInProgress = 233;

// From the second step on, a step that fails is skipped and the run goes on.
template <class Step>
bool Try(RunState& state, const char* what, Step step) {
    try {
        step();
        return true;
    } catch (const std::exception& failure) {
        Trace(state, std::string(what) + " failed: " + DescribeFailure(failure));
        return false;
    }
}

// The server's major version from the start of its version text: "9.00.5000"
// and "8.0" are too old, "10.50" and "16.0" are fine.
bool ServerTooOld(std::string_view version) {
    version = version.substr(0, 2);
    if (version.size() == 2 && version[1] == '.') version = version.substr(0, 1);
    return LeadingNumber(version) <= kLowestServerVersion - 1;
}

std::string VersionText(const UpdateInfo& info) {
    std::string build = std::to_string(info.Build);
    return info.Product.empty() ? build : info.Product + "." + build;
}

// Every workstation's copy of the service may get here at the same moment
// against the one database, all having read that no notice went out. Only the
// run whose claim changes the row mails; the statement runs unchanged on SQL
// Server and on SQLite.
constexpr const char* kClaimNotice =
    "UPDATE Innstillinger SET UpdateServiceMailSent=1 "
    "WHERE UpdateServiceMailSent=0 OR UpdateServiceMailSent IS NULL";
constexpr const char* kGiveBackNotice = "UPDATE Innstillinger SET UpdateServiceMailSent=0";

// True when the notice went out by mail, from this run or another one that
// claimed it first (and the run is over).
bool MailNotice(RunState& state, const std::string& heading) {
    int64_t claimed = 0;
    if (!Try(state, "claiming the notice",
             [&] { claimed = state.database->Execute(kClaimNotice); }))
        return false;
    // A database that cannot tell (-1) is mailed from as before the claim.
    if (claimed == 0) {
        Trace(state, "another run has claimed the notice");
        return true;
    }
    const CustomerSettings& c = state.CustomerSettings;
    std::string result = "not sent";
    Try(state, "mailing the notice", [&] {
        std::string page = WriteNoticePage(state);
        result =
            SendEmail(c.UpdateServiceSendTo, heading, "", 0, 1, nullptr, "", c.MailServer,
                      c.MailBrukerid, c.MailPassord, c.MailDomene, c.MailAvsender, "", "", page);
    });
    // Only a notice that really went out counts as sent; otherwise the claim
    // is given back and the customer learns of the release in the window.
    if (!result.empty()) {
        Trace(state, "the notice was not mailed: " + result);
        Try(state, "giving back the notice", [&] { state.database->Execute(kGiveBackNotice); });
        return false;
    }
    Trace(state, "the notice was mailed");
    return true;
}

// A download that another run holds (another user of a terminal server, a
// second window): the setup it is writing, so that its folder is left alone.
std::optional<std::string> DownloadInProgress(const std::filesystem::path& folder) {
    for (const std::filesystem::path& part : platform::ListFiles(folder, ".part"))
        if (platform::IsHeldByWriter(part)) return platform::PathText(part.stem());
    return std::nullopt;
}

// The setups of earlier runs, and what a killed download left of one.
void ClearUpdateFolder(RunState& state) {
    const std::filesystem::path folder = UpdateFolder(state.writeFolder);
    for (const char* extension : {".exe", ".part"})
        for (const std::filesystem::path& setup : platform::ListFiles(folder, extension))
            Try(state, "deleting an old setup", [&] { std::filesystem::remove(setup); });
}

// The setup is checked as it arrives, before it gets its name, and again
// before it is reported, since it lies in a folder others can write to. The
// setup started is a private copy, made while it was checked the last time. A
// setup that fails is never started and not reported.
void InstallRelease(RunState& state) {
    const std::filesystem::path folder = UpdateFolder(state.writeFolder);
    if (const std::optional<std::string> running = DownloadInProgress(folder)) {
        TellNotInstalled(
            state, ReplacePlaceholders(LoadLocalString(state, kDownloadInProgress), {*running}));
        return;
    }
    ClearUpdateFolder(state);
    const std::filesystem::path setup =
        folder / platform::TextPath(LocalSetupName(state.UpdateInfo));
    const std::optional<SetupCheck> check = FetchSetupCheck(state);
    if (!check) throw RunEnded{ExitCode::SetupRefused};
    std::error_code created;
    std::filesystem::create_directories(folder, created);
    if (created) {
        TellNotInstalled(state, std::to_string(created.value()) + " - Cannot create " +
                                    platform::PathText(folder) + ": " + created.message());
        throw RunEnded{ExitCode::SetupRefused};
    }
    DownloadWindowResult download;
    Try(state, "the download window", [&] {
        download = state.dialogs->ShowDownloadWindow(
            StringTableTexts(state), {.URLHost = state.ServiceSettings.Host,
                                      .HostExe = check->name,
                                      .LocalExe = platform::PathText(setup.filename()),
                                      .LocalPath = platform::PathText(folder) + "/",
                                      .check = check->ForDownload(),
                                      .makeTransfer = state.makeTransfer});
    });
    Trace(state, download.OK ? "the setup was downloaded" : "the setup was not downloaded");
    if (!download.OK) return;
    std::optional<std::filesystem::path> copy;
    const bool accepted = download.Installer
                              ? (copy = CopyAcceptedSetup(state, setup, *check)).has_value()
                              : AcceptSetup(state, setup, *check);
    if (!accepted) throw RunEnded{ExitCode::SetupRefused};
    Try(state, "the download report", [&] { SendDownloadReport(state); });
    if (!download.Installer) return;
    if (!StartSetup(state, *copy)) throw RunEnded{ExitCode::SetupRefused};
}

}  // namespace

void RunUpdate(RunState& state) {
    Try(state, "removing the setup copies of earlier runs", [] { RemoveEarlierSetupCopies(); });
    GetUpdateInfo(state);
    bool meant = false;
    try {
        meant = IsUpdateForCustomer(state);
        Trace(state, RolloutNote(state.UpdateInfo, state.CustomerSettings.Serienummer));
    } catch (const std::exception& failure) {
        // A failure inside the filter (a malformed postal-code list, say)
        // ends the update run without any notice, in every run mode.
        Trace(state, "customer filter failed: " + DescribeFailure(failure));
        return;
    }
    Trace(state, meant ? "the release is meant for this installation"
                       : "the release is not meant for this installation");

    if (meant && !state.SqlServerProductVersion.empty() &&
        ServerTooOld(state.SqlServerProductVersion)) {
        state.dialogs->ShowMessage({.text = LoadLocalString(state, 225),
                                    .title = LoadLocalString(state, 100),
                                    .icon = MessageIcon::Critical,
                                    .systemModal = true});
        throw RunEnded{ExitCode::DatabaseTooOld};
    }

    if (!meant) {
        if (state.Interactive())
            Try(state, "the message window", [&] {
                MessageWindowRequest noUpdate;  // only the page; the rest keeps its initial value
                noUpdate.URL = state.ServiceSettings.Info;
                state.dialogs->ShowMessageWindow(StringTableTexts(state), noUpdate);
            });
        return;
    }

    std::string heading;
    Try(state, "the heading", [&] {
        heading = ReplacePlaceholders(LoadLocalString(state, 200), {VersionText(state.UpdateInfo)});
    });

    const CustomerSettings& customer = state.CustomerSettings;
    if (customer.UpdateServiceSendMail) {
        if (customer.UpdateServiceMailSent) {
            Trace(state, "the notice was mailed before");
            return;
        }
        if (!customer.MailServer.empty() && MailNotice(state, heading)) return;
    }

    bool install = false;
    Try(state, "the message window", [&] {
        install = state.dialogs->ShowMessageWindow(StringTableTexts(state),
                                                   {.SoftwareUpdate = true,
                                                    .Hovedinstallasjon = state.MainInstallation,
                                                    .Dato = DateTime::LocalNow(),
                                                    .Melding = heading,
                                                    .Detaljer = "",
                                                    .URL = state.ServiceSettings.Info,
                                                    .UpdateBuild = state.UpdateInfo.Build});
    });
    if (install) InstallRelease(state);
}

}  // namespace tvk
