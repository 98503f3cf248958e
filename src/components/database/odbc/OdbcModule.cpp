// The entry point of the ODBC module.
#include "components/database/odbc/OdbcDatabase.h"

extern "C" __attribute__((visibility("default"))) std::unique_ptr<tvk::Database>
tvkOdbcCreateDatabase() {
    return std::make_unique<tvk::OdbcDatabase>();
}
