#include "DatabaseFixtures.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include "TestSupport.h"
#include "platform/Platform.h"

namespace tvk::test {

void MakeDatabase(const std::filesystem::path& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(platform::PathText(path).c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

std::string SqliteOdbcDriverMissing() {
    // Wine's ODBC hands calls to the host's driver, which cannot open Windows paths.
    if (UnderWine()) return "wine's ODBC forwards to the host's drivers";
    SQLHENV env = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return "no ODBC driver manager";
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool found = false;
    SQLCHAR name[256], attributes[1024];
    SQLSMALLINT nameLength = 0, attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes,
                                    sizeof attributes, &attributesLength))) {
        if (std::string(reinterpret_cast<char*>(name)) == "SQLite3") found = true;
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found ? "" : "ODBC driver \"SQLite3\" is not installed (Debian package libsqliteodbc)";
}

}  // namespace tvk::test
