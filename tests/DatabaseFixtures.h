#pragma once

#include <filesystem>
#include <string>

namespace tvk::test {

// Builds a database file with the SQLite C API directly, independent of the
// components under test. Fails the calling test when the SQL fails.
void MakeDatabase(const std::filesystem::path& path, const std::string& sql);

// Why the SQLite3 ODBC driver cannot serve the tests; empty when it can.
std::string SqliteOdbcDriverMissing();

}  // namespace tvk::test
