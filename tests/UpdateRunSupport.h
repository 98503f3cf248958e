#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "common/DateTime.h"
#include "state/RunState.h"

namespace tvk::test {

// A program folder as the application leaves it: Velkor.db with the schema
// a new installation gets (the database component's own), Velkor5.ini and
// version.ini written by the test.
class UpdateRunFolder : public TempFolder {
  public:
    UpdateRunFolder();

    // Runs SQL on Velkor.db directly, past the components under test.
    void Sql(const std::string& sql) const;
    // The first column of the first row of a query, as text ("" for null).
    std::string DatabaseValue(const std::string& query) const;

    void WriteServiceSettings(const std::string& host, const std::string& info,
                              const std::string& logHost, const std::string& logPath) const;
    void WriteInstalledBuild(int32_t build) const;

    // A run state with the real components, filled the way start-up fills
    // it (service settings, customer settings, server version, installed
    // build), ready for the update run.
    RunState StartRun(Dialogs& dialogs, int16_t runMode = 1, int32_t languageId = 1044,
                      bool mainInstallation = true) const;
};

// The local clock, as the service reads it.
DateTime LocalClock();

// Whether `text` is FormatIsoDate (with time) of a second from `from` to `to`.
bool IsIsoTimeBetween(const std::string& text, const DateTime& from, const DateTime& to);

// Linux only: the root element's name and its children's names and texts,
// as Python's XML parser reads the file (it honours the encoding
// declaration). Fails the test when the file is not well-formed.
struct ParsedReport {
    std::string root;
    std::vector<std::pair<std::string, std::string>> children;  // texts in UTF-8
};
ParsedReport ParseReportFile(const std::filesystem::path& file);

}  // namespace tvk::test
