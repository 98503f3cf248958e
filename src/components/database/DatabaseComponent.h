#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "components/Database.h"

namespace tvk {

// The database component that start-up creates. The connection text chooses
// the database when Connect is called:
//   "none"           the embedded default, Velkor.db in the program folder,
//                    created with the schema when missing;
//   "sqlite:<path>"  that SQLite file (relative to the program folder), which
//                    must exist: a typo must not give an empty database;
//   anything else    an ODBC connection string, passed exactly as it stands.
// A source that is a bare name (letters, digits, '_', '.') is a table or view.
class DatabaseComponent : public Database {
  public:
    static constexpr const char* kDefaultFileName = "Velkor.db";

    explicit DatabaseComponent(std::filesystem::path programFolder);
    ~DatabaseComponent() override;

    void SetConnectionString(const std::string& text) override;
    void Connect() override;
    std::unique_ptr<tvk::Recordset> Recordset(const std::string& source,
                                              bool noRows = false) override;
    int64_t Execute(const std::string& statement) override;
    void Disconnect() override;

    // The statement for a source: "SELECT * FROM <name>" for a bare name,
    // otherwise the source itself.
    static std::string CommandText(const std::string& source);

    // Creates the default database with its schema at `path` unless a file is
    // there already. The file appears complete or not at all.
    static void CreateDefaultDatabase(const std::filesystem::path& path);

  private:
    std::unique_ptr<Database> OpenEngine() const;
    Database& Engine() const;  // throws while not connected

    std::filesystem::path programFolder_;
    std::string connectionText_;
    std::unique_ptr<Database> engine_;  // set while connected
};

}  // namespace tvk
