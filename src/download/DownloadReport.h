#pragma once

#include <optional>
#include <string>

#include "common/DateTime.h"
#include "state/RunState.h"

namespace tvk {

inline constexpr const char* kReportUser = "ftpuser";
inline constexpr const char* kReportPassword = "r7TqW2";

// "2019-10-29", or with the time part "2019-10-29T14:30:05"; empty text for
// a value that is no date.
std::string FormatIsoDate(const std::optional<DateTime>& value, bool withTime);

// "VK" + yymmddhhMMss (server clock) + ".xml".
std::string ReportFileName(const DateTime& serverTime);

// The company name for the report: "&", then "<", then ">" as entities.
std::string EscapeCompanyName(const std::string& text);

struct DownloadReportValues {
    std::string company;  // RegFirma
    int32_t installedBuild = 0;
    int32_t downloadedBuild = 0;
    std::string databaseVersion;
    std::string serverVersion;
    DateTime finished;  // local clock
};

// The report line in ISO-8859-1, CR LF included and no other line break.
// Characters that the encoding cannot hold are written as numeric character
// references and those XML forbids are left out, so the report is always
// well-formed XML, whatever the database holds.
std::string BuildReportLine(const DownloadReportValues& values);

// FTP host of a LogHost setting: lower-cased, every "ftp://" removed.
std::string ReportHost(const std::string& logHost);

// Writes the report of a finished download into the program folder, uploads
// it to the log host and deletes it. A failure before the upload reaches the
// caller; a failed upload is silent and leaves the file.
void SendDownloadReport(RunState& state);

}  // namespace tvk
