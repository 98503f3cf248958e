#include "UpdateRunSupport.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>

#include "DatabaseFixtures.h"
#include "components/database/DatabaseComponent.h"
#include "components/settings/IniFile.h"
#include "components/transfer/CurlTransfer.h"
#include "database/CustomerSettings.h"
#include "platform/Platform.h"
#include "run/ServiceSettings.h"
#include "run/StartUp.h"

namespace tvk::test {

UpdateRunFolder::UpdateRunFolder() {
    DatabaseComponent::CreateDefaultDatabase(Path() / DatabaseComponent::kDefaultFileName);
}

void UpdateRunFolder::Sql(const std::string& sql) const {
    MakeDatabase(Path() / DatabaseComponent::kDefaultFileName, sql);
}

std::string UpdateRunFolder::DatabaseValue(const std::string& query) const {
    const std::string file = platform::PathText(Path() / DatabaseComponent::kDefaultFileName);
    sqlite3* db = nullptr;
    std::string value = "<no row>";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement, 0);
            value = text ? reinterpret_cast<const char*>(text) : "";
        }
        sqlite3_finalize(statement);
    } else {
        ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db);
    }
    sqlite3_close(db);
    return value;
}

void UpdateRunFolder::WriteServiceSettings(const std::string& host, const std::string& info,
                                           const std::string& logHost,
                                           const std::string& logPath) const {
    WriteAll(Path() / kServiceSettingsFile, "[UpdateService]\r\nHost=" + host + "\r\nInfo=" + info +
                                                "\r\nLogHost=" + logHost +
                                                "\r\nLogPath=" + logPath + "\r\n");
}

void UpdateRunFolder::WriteInstalledBuild(int32_t build) const {
    WriteAll(Path() / "version.ini",
             "[Version]\r\nMajor=7\r\nMinor=9\r\nBuild=" + std::to_string(build) + "\r\n");
}

RunState UpdateRunFolder::StartRun(Dialogs& dialogs, int16_t runMode, int32_t languageId,
                                   bool mainInstallation) const {
    RunState state;
    state.programFolder = state.writeFolder = Path();
    state.dialogs = &dialogs;
    state.RunMode = runMode;
    state.LanguageId = languageId;
    state.MainInstallation = mainInstallation;
    state.transfer = std::make_unique<CurlTransfer>();
    state.settingsFile = std::make_unique<IniFile>();
    state.database = std::make_unique<DatabaseComponent>(Path());
    ReadServiceSettings(state);
    ReadCustomerSettings(state);
    state.InstalledBuild = ReadInstalledBuild(*state.settingsFile, Path());
    return state;
}

DateTime LocalClock() {
    const std::tm local = platform::LocalTime(std::time(nullptr));
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

namespace {

std::string IsoText(const DateTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buffer;
}

}  // namespace

bool IsIsoTimeBetween(const std::string& text, const DateTime& from, const DateTime& to) {
    // Texts of this fixed shape order as the times they name.
    return text.size() == 19 && text[10] == 'T' && IsoText(from) <= text && text <= IsoText(to);
}

}  // namespace tvk::test
