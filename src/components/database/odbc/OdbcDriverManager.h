#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "common/CodePage.h"

// Text crosses the ODBC seam through the wide functions, as UTF-16: the ANSI
// ones would take it in the machine's ANSI code page. What differs between
// the driver managers (unixODBC, Windows' own) is in the _posix and _win files.
namespace tvk::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide functions take UTF-16");

// The text with a terminating zero.
inline std::vector<SQLWCHAR> WideText(const std::string& utf8) {
    const std::u16string units = Utf8ToUtf16(utf8);
    std::vector<SQLWCHAR> wide(units.begin(), units.end());
    wide.push_back(0);
    return wide;
}

// The units up to the terminating zero, at most `limit`: converting for an
// ANSI driver, unixODBC counts a returned name's length in the driver's bytes;
// the terminator is right everywhere.
inline std::string Utf8Text(const SQLWCHAR* units, size_t limit) {
    std::u16string text;
    for (size_t i = 0; i < limit && units[i] != 0; ++i)
        text.push_back(static_cast<char16_t>(units[i]));
    return Utf16ToUtf8(text);
}

SQLRETURN AllocateConnection(SQLHENV environment, SQLHDBC* connection);

// Connects without prompting, the text passed as it stands.
SQLRETURN DriverConnect(SQLHDBC connection, const std::string& text);

}  // namespace tvk::odbc
