#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "common/DateTime.h"
#include "components/Database.h"
#include "components/SettingsFile.h"
#include "components/TransferComponent.h"
#include "platform/Dialogs.h"

namespace tvk {

// Section UpdateService of Velkor5.ini.
struct ServiceSettings {
    std::string Host;
    std::string Info;
    std::string LogHost;
    std::string LogPath;
    bool Test = false;
};

// The columns of Innstillinger that the service uses; nulls read as false or "".
struct CustomerSettings {
    std::string Serienummer;
    std::string RegFirma;
    std::string Postnummer;
    bool UpdateServiceSendMail = false;
    std::string UpdateServiceSendTo;
    bool UpdateServiceMailSent = false;
    std::string MailServer;
    std::string MailBrukerid;
    std::string MailPassord;
    std::string MailDomene;
    std::string MailAvsender;
};

// The values of the fetched update descriptor (update.ini).
struct UpdateInfo {
    int32_t Build = 0;
    int32_t MinimumBuild = 0;
    std::string Setup = "VelkorSetup.exe";
    std::string Product;
    bool Test = false;
    std::string Language = "All";
    std::string Name = "All";
    std::string PostalCode = "All";
    // The setup's size and SHA-256 (lower-case hex), when the descriptor
    // names them: they tie the signed descriptor to one setup file.
    int64_t Size = -1;
    std::string Sha256;
    // When the maker signed it (UTC), and when it may no longer be taken: a
    // replayed older descriptor, or a host frozen on one, is refused by them.
    std::optional<DateTime> Issued;
    std::optional<DateTime> Expires;
    // The share of installations, in percent, that take the release; the
    // maker widens it by publishing the descriptor again with a larger one.
    int Rollout = 100;
};

// The record of one run, created by Main and handed to every step. Nothing of
// it outlives the process.
struct RunState {
    int16_t RunMode = 1;  // 8: interactive check; anything else: background check
    int32_t LanguageId = 1044;
    bool MainInstallation = true;
    std::string ConnectionText = "none";
    int32_t InstalledBuild = 0;
    bool debug = false;

    std::filesystem::path programFolder;
    // Where update.ini, Setup/Update and the reports are written: the
    // program folder, or the machine's data folder when it cannot be written.
    std::filesystem::path writeFolder;
    Dialogs* dialogs = nullptr;

    std::unique_ptr<TransferComponent> transfer;
    TransferMaker makeTransfer;  // for the download window's own transfer
    std::unique_ptr<SettingsFile> settingsFile;
    std::unique_ptr<Database> database;

    tvk::ServiceSettings ServiceSettings;
    tvk::CustomerSettings CustomerSettings;
    std::string SqlServerProductVersion;
    tvk::UpdateInfo UpdateInfo;

    // The user asked for the check: the answer shows even when it is "nothing new".
    bool Interactive() const { return RunMode == 8; }
};

}  // namespace tvk
