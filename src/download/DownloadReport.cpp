#include "download/DownloadReport.h"

#include <cstdio>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "database/CustomerSettings.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

std::string TwoDigits(int value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", value % 100);
    return buffer;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// The seconds from the server clock's on that may name a report, when the
// maker's folder already holds one of that second.
constexpr int kReportNameTries = 60;

// The first of those names that the log host does not hold yet, given to the
// local report too, so that the upload takes it. Two uploads that look at the
// same moment can still pick the same name, and the later one replaces the
// other's report: FTP has no store that fails on an existing file, unless the
// server is set to refuse overwriting; then the later upload fails and its
// report stays here, as after any failed upload.
std::filesystem::path TakeFreeReportName(TransferComponent& ftp, const std::string& folder,
                                         const std::filesystem::path& file,
                                         const DateTime& serverTime) {
    for (int i = 0; i < kReportNameTries; ++i) {
        const std::string name = ReportFileName(serverTime.AddSeconds(i));
        if (ftp.RemoteFileSize(folder, name) >= 0) continue;
        const std::filesystem::path named = file.parent_path() / name;
        if (named != file) std::filesystem::rename(file, named);
        return named;
    }
    throw ServiceError(ErrorNumber::InvalidArgument, "The log host holds a report of every second");
}

// Other text elements get the same three entities as the company name, so
// that a version text can never break the document or its one line.
std::string Element(const std::string& name, const std::string& content) {
    return "<" + name + ">" + Utf8ToLatin1XmlLine(EscapeCompanyName(content)) + "</" + name + ">";
}

}  // namespace

std::string FormatIsoDate(const std::optional<DateTime>& value, bool withTime) {
    if (!value) return {};
    const DateTime& t = *value;
    std::string text = std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day);
    if (withTime)
        text += "T" + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
    return text;
}

std::string ReportFileName(const DateTime& t) {
    return "VK" + TwoDigits(t.year) + TwoDigits(t.month) + TwoDigits(t.day) + TwoDigits(t.hour) +
           TwoDigits(t.minute) + TwoDigits(t.second) + ".xml";
}

std::string EscapeCompanyName(const std::string& text) {
    return ReplaceAll(ReplaceAll(ReplaceAll(text, "&", "&amp;"), "<", "&lt;"), ">", "&gt;");
}

std::string BuildReportLine(const DownloadReportValues& v) {
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Download>" +
           Element("Firma", v.company) + Element("BuildPC", std::to_string(v.installedBuild)) +
           Element("BuildHentet", std::to_string(v.downloadedBuild)) +
           Element("DatabaseVersjon", v.databaseVersion) +
           Element("SQLServerVersjon", v.serverVersion) +
           Element("Ferdig", FormatIsoDate(v.finished, true)) + "</Download>\r\n";
}

std::string ReportHost(const std::string& logHost) {
    return ReplaceAll(LowerCaseText(logHost), "ftp://", "");
}

void SendDownloadReport(RunState& state) {
    DownloadReportValues values;
    auto versions = state.database->Recordset("Version");
    values.databaseVersion = ToText(versions->Fields("DatabaseVersion"));
    values.serverVersion = ToText(versions->Fields("SQLServerVersion"));
    versions->Close();

    const DateTime serverTime = GetSqlServerDate(state);
    std::filesystem::path file = state.writeFolder / ReportFileName(serverTime);
    values.company = state.CustomerSettings.RegFirma;
    values.installedBuild = state.InstalledBuild;
    values.downloadedBuild = state.UpdateInfo.Build;
    values.finished = DateTime::LocalNow();
    // The customer's details are for the maker alone, until the upload takes them.
    platform::WriteFileAtomically(file, BuildReportLine(values),
                                  platform::NewFileAccess::OwnerOnly);

    // The report is fire-and-forget: a failed upload leaves the file and
    // says nothing.
    try {
        TransferComponent& ftp = *state.transfer;
        ftp.Asynchronous(false);
        ftp.Connect(ReportHost(state.ServiceSettings.LogHost), kReportUser, kReportPassword);
        file = TakeFreeReportName(ftp, state.ServiceSettings.LogPath, file, serverTime);
        ftp.PutFile(platform::PathText(file), state.ServiceSettings.LogPath);
        std::filesystem::remove(file);
    } catch (const std::exception&) {
    }
}

}  // namespace tvk
