#include <locale.h>

#include <climits>

#include "components/database/odbc/OdbcDriverManager.h"

namespace tvk::odbc {

// unixODBC converts between the wide functions and a driver that has only
// the ANSI ones (the SQLite driver) in the character set of the locale that
// is current when the connection handle is made: UTF-8 here, whatever the
// process's locale (the C locale's ASCII would turn æ into a byte of Latin-1).
SQLRETURN AllocateConnection(SQLHENV environment, SQLHDBC* connection) {
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    locale_t previous = utf8 != static_cast<locale_t>(0) ? uselocale(utf8) : utf8;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, environment, connection);
    if (utf8 != static_cast<locale_t>(0)) {
        uselocale(previous);
        freelocale(utf8);
    }
    return rc;
}

// The one ANSI call: unixODBC's SQLDriverConnectW leaves one byte a character
// for an ANSI driver's copy of the text and cuts any other letter to its low
// byte ("blåbær.db" would open "bl\xE5b\xE6r.db"). Given UTF-8, it passes the
// text to such a driver as it stands and converts it for a wide-only one.
SQLRETURN DriverConnect(SQLHDBC connection, const std::string& text) {
    std::string bytes = text;
    return SQLDriverConnect(
        connection, nullptr, reinterpret_cast<SQLCHAR*>(bytes.data()),
        bytes.size() <= SHRT_MAX ? static_cast<SQLSMALLINT>(bytes.size()) : SQL_NTS, nullptr, 0,
        nullptr, SQL_DRIVER_NOPROMPT);
}

}  // namespace tvk::odbc
