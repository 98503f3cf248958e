#pragma once

#include <memory>
#include <string>

#include "components/Database.h"

namespace tvk {

// A Database over an ODBC connection (SQL Server in production). The
// connection string goes to the driver manager exactly as given, without
// prompting. Sources are statements; the first result set with columns gives
// the recordset. Failures carry the native error of the first diagnostic
// record (the generic provider failure number when the driver gives none) and
// its message with the SQLSTATE in front.
class OdbcDatabase : public Database {
  public:
    // The generic provider failure number, for diagnostics without a native error.
    static constexpr int64_t kProviderFailure = -2147467259;

    OdbcDatabase() = default;
    ~OdbcDatabase() override;
    OdbcDatabase(const OdbcDatabase&) = delete;
    OdbcDatabase& operator=(const OdbcDatabase&) = delete;

    void SetConnectionString(const std::string& text) override;
    void Connect() override;
    std::unique_ptr<tvk::Recordset> Recordset(const std::string& source,
                                              bool noRows = false) override;
    int64_t Execute(const std::string& statement) override;
    void Disconnect() override;

  private:
    // Recordset's work; adds the rows each statement changed to `changed`,
    // which becomes -1 when the driver cannot tell for one of them.
    std::unique_ptr<tvk::Recordset> Run(const std::string& source, bool noRows, int64_t* changed);

    std::string connectionString_;
    void* environment_ = nullptr;  // SQLHENV
    void* connection_ = nullptr;   // SQLHDBC, connected while set
};

}  // namespace tvk
