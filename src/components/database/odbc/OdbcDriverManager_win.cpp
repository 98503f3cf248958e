#include "components/database/odbc/OdbcDriverManager.h"

namespace tvk::odbc {

SQLRETURN AllocateConnection(SQLHENV environment, SQLHDBC* connection) {
    return SQLAllocHandle(SQL_HANDLE_DBC, environment, connection);
}

SQLRETURN DriverConnect(SQLHDBC connection, const std::string& text) {
    std::vector<SQLWCHAR> wide = WideText(text);
    return SQLDriverConnectW(connection, nullptr, wide.data(), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT);
}

}  // namespace tvk::odbc
