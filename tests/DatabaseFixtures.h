#pragma once

#include <filesystem>
#include <string>

namespace tvk::test {

// Builds a database file with the SQLite C API directly, independent of the
// components under test. Fails the calling test when the SQL fails.
void MakeDatabase(const std::filesystem::path& path, const std::string& sql);

// True when the ODBC driver manager knows the SQLite3 ODBC driver (libsqliteodbc).
bool HasSqliteOdbcDriver();

}  // namespace tvk::test
