#pragma once

#include <memory>
#include <string>

#include "components/Database.h"

struct sqlite3;

namespace tvk {

// A Database over one SQLite file. The connection string is the file's path.
// Sources are statements (several, separated by ";", run in order); the first
// statement that returns columns gives the recordset. SQL Server's
// "EXECUTE master..xp_msver 'Name'" is answered from the table xp_msver, so
// the statements the service sends run unchanged.
// Failures carry SQLite's error code and message.
class SqliteDatabase : public Database {
  public:
    enum class OpenMode {
        ExistingFile,  // a missing file is a failure, never a new empty database
        CreateIfMissing,
    };

    explicit SqliteDatabase(OpenMode mode = OpenMode::ExistingFile);
    ~SqliteDatabase() override;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void SetConnectionString(const std::string& path) override;
    void Connect() override;
    std::unique_ptr<tvk::Recordset> Recordset(const std::string& source,
                                              bool noRows = false) override;
    int64_t Execute(const std::string& statement) override;
    void Disconnect() override;

  private:
    std::unique_ptr<tvk::Recordset> ProcedureVersion(const std::string& source, bool noRows);

    OpenMode mode_;
    std::string path_;
    sqlite3* db_ = nullptr;
};

}  // namespace tvk
