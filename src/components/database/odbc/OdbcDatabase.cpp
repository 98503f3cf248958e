#include "components/database/odbc/OdbcDatabase.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <optional>
#include <vector>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "components/database/odbc/OdbcDriverManager.h"

namespace tvk {

namespace {

// Owns one ODBC handle and frees it on every path out.
class Handle {
  public:
    Handle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
    ~Handle() {
        if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    SQLHANDLE get() const { return handle_; }
    SQLHANDLE release() {
        SQLHANDLE h = handle_;
        handle_ = SQL_NULL_HANDLE;
        return h;
    }

  private:
    SQLSMALLINT type_;
    SQLHANDLE handle_;
};

struct DiagnosticRecord {
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
};

std::optional<DiagnosticRecord> ReadDiagnostic(SQLSMALLINT type, SQLHANDLE handle,
                                               SQLSMALLINT number) {
    SQLWCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    DiagnosticRecord record;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLRETURN rc = SQLGetDiagRecW(type, handle, number, state, &record.native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
        message.resize(static_cast<size_t>(length) + 1);
        rc = SQLGetDiagRecW(type, handle, number, state, &record.native, message.data(),
                            static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) return std::nullopt;
    record.state = odbc::Utf8Text(state, SQL_SQLSTATE_SIZE);
    record.message = odbc::Utf8Text(message.data(), message.size());
    return record;
}

// The first record that is an error, not a warning (class 01): the driver
// manager may put a warning first ("Can't open lib") and the cause after it.
ServiceError Diagnostic(SQLSMALLINT type, SQLHANDLE handle, const char* fallback) {
    std::optional<DiagnosticRecord> chosen;
    for (SQLSMALLINT number = 1;; ++number) {
        std::optional<DiagnosticRecord> record = ReadDiagnostic(type, handle, number);
        if (!record) break;
        if (!chosen) chosen = record;
        if (record->state.rfind("01", 0) != 0) {
            chosen = record;
            break;
        }
    }
    if (!chosen) return ServiceError(OdbcDatabase::kProviderFailure, fallback);
    return ServiceError(chosen->native != 0 ? chosen->native : OdbcDatabase::kProviderFailure,
                        "[" + chosen->state + "] " + chosen->message);
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* fallback) {
    if (!SQL_SUCCEEDED(rc)) throw Diagnostic(type, handle, fallback);
}

FieldValue ReadText(SQLHSTMT stmt, SQLUSMALLINT column) {
    std::u16string units;
    SQLWCHAR buffer[2048];
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) break;  // every part has been read
        Check(rc, SQL_HANDLE_STMT, stmt, "Cannot read a field value.");
        if (indicator == SQL_NULL_DATA) return FieldValue();
        bool truncated =
            indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer);
        // A truncated part ends at its terminator, which a driver may put
        // short of the buffer's end.
        SQLWCHAR* end = truncated ? std::find(buffer, std::end(buffer) - 1, SQLWCHAR{0})
                                  : buffer + static_cast<size_t>(indicator) / sizeof(SQLWCHAR);
        units.append(buffer, end);
        if (rc == SQL_SUCCESS || !truncated) break;
    }
    // Converted whole: a part may end between the halves of a surrogate pair.
    return FieldValue::Text(Utf16ToUtf8(units));
}

FieldValue ReadField(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT sqlType) {
    SQLLEN indicator = 0;
    switch (sqlType) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT: {
            SQLBIGINT value = 0;
            Check(SQLGetData(stmt, column, SQL_C_SBIGINT, &value, 0, &indicator), SQL_HANDLE_STMT,
                  stmt, "Cannot read a field value.");
            if (indicator == SQL_NULL_DATA) return FieldValue();
            return FieldValue::Integer(value);
        }
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE: {
            SQLDOUBLE value = 0;
            Check(SQLGetData(stmt, column, SQL_C_DOUBLE, &value, 0, &indicator), SQL_HANDLE_STMT,
                  stmt, "Cannot read a field value.");
            if (indicator == SQL_NULL_DATA) return FieldValue();
            return FieldValue::Real(value);
        }
        default:
            return ReadText(stmt, column);
    }
}

struct Column {
    std::string name;
    SQLSMALLINT type = SQL_UNKNOWN_TYPE;
};

Column DescribeColumn(SQLHSTMT stmt, SQLUSMALLINT number) {
    std::vector<SQLWCHAR> name(256);
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    auto describe = [&] {
        Check(SQLDescribeColW(stmt, number, name.data(), static_cast<SQLSMALLINT>(name.size()),
                              &nameLength, &type, &size, &digits, &nullable),
              SQL_HANDLE_STMT, stmt, "Cannot describe a column.");
    };
    describe();
    if (nameLength >= static_cast<SQLSMALLINT>(name.size())) {
        name.resize(static_cast<size_t>(nameLength) + 1);
        describe();
    }
    return {odbc::Utf8Text(name.data(), name.size()), type};
}

std::unique_ptr<RowRecordset> ReadFirstRow(SQLHSTMT stmt, SQLSMALLINT count) {
    std::vector<Column> columns;
    std::vector<std::string> names;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        columns.push_back(DescribeColumn(stmt, static_cast<SQLUSMALLINT>(i)));
        names.push_back(columns.back().name);
    }
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) return std::make_unique<RowRecordset>(std::move(names), std::nullopt);
    Check(rc, SQL_HANDLE_STMT, stmt, "Cannot fetch a row.");
    // In column order: SQL Server reads unbound columns only forwards.
    std::vector<FieldValue> row;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        row.push_back(ReadField(stmt, static_cast<SQLUSMALLINT>(i), columns[i - 1].type));
    }
    return std::make_unique<RowRecordset>(std::move(names), std::move(row));
}

}  // namespace

OdbcDatabase::~OdbcDatabase() { Disconnect(); }

void OdbcDatabase::SetConnectionString(const std::string& text) { connectionString_ = text; }

void OdbcDatabase::Connect() {
    Disconnect();
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw))) {
        throw ServiceError(kProviderFailure, "Cannot allocate an ODBC environment.");
    }
    Handle environment(SQL_HANDLE_ENV, raw);
    Check(SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, raw, "Cannot choose ODBC version 3.");

    SQLHANDLE rawConnection = SQL_NULL_HANDLE;
    Check(odbc::AllocateConnection(raw, &rawConnection), SQL_HANDLE_ENV, raw,
          "Cannot allocate an ODBC connection.");
    Handle connection(SQL_HANDLE_DBC, rawConnection);
    Check(odbc::DriverConnect(rawConnection, connectionString_), SQL_HANDLE_DBC, rawConnection,
          "Cannot open the connection.");
    connection_ = connection.release();
    environment_ = environment.release();
}

std::unique_ptr<tvk::Recordset> OdbcDatabase::Recordset(const std::string& source, bool noRows) {
    return Run(source, noRows, nullptr);
}

int64_t OdbcDatabase::Execute(const std::string& statement) {
    int64_t changed = 0;
    Run(statement, true, &changed);
    return changed;
}

std::unique_ptr<tvk::Recordset> OdbcDatabase::Run(const std::string& source, bool noRows,
                                                  int64_t* changed) {
    if (connection_ == nullptr) {
        throw ServiceError(ErrorNumber::ObjectClosed,
                           "Operation is not allowed when the object is closed.");
    }
    SQLHANDLE raw = SQL_NULL_HANDLE;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, connection_, &raw), SQL_HANDLE_DBC, connection_,
          "Cannot allocate an ODBC statement.");
    Handle statement(SQL_HANDLE_STMT, raw);
    std::vector<SQLWCHAR> text = odbc::WideText(source);
    SQLRETURN rc =
        SQLExecDirectW(raw, text.data(),
                       text.size() <= INT_MAX ? static_cast<SQLINTEGER>(text.size() - 1) : SQL_NTS);
    if (rc != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, raw, "Cannot run the statement.");

    // A batch may answer with row counts before its rows, and a later
    // statement's failure only shows when its result is reached: walk them all.
    std::unique_ptr<RowRecordset> result;
    for (;;) {
        if (rc != SQL_NO_DATA) {
            SQLSMALLINT count = 0;
            Check(SQLNumResultCols(raw, &count), SQL_HANDLE_STMT, raw,
                  "Cannot count the result's columns.");
            if (count > 0 && !noRows && result == nullptr) result = ReadFirstRow(raw, count);
            // A result without columns is a statement's count of changed rows;
            // -1 where the driver cannot tell (SET NOCOUNT ON) stays -1.
            SQLLEN rows = -1;
            if (count == 0 && changed != nullptr && SQL_SUCCEEDED(SQLRowCount(raw, &rows)))
                *changed = rows < 0 || *changed < 0 ? -1 : *changed + rows;
        }
        rc = SQLMoreResults(raw);
        if (rc == SQL_NO_DATA) break;
        Check(rc, SQL_HANDLE_STMT, raw, "Cannot move to the next result.");
    }
    if (result == nullptr) {
        return std::make_unique<RowRecordset>(std::vector<std::string>{}, std::nullopt);
    }
    return result;
}

void OdbcDatabase::Disconnect() {
    if (connection_ != nullptr) {
        SQLDisconnect(connection_);
        SQLFreeHandle(SQL_HANDLE_DBC, connection_);
        connection_ = nullptr;
    }
    if (environment_ != nullptr) {
        SQLFreeHandle(SQL_HANDLE_ENV, environment_);
        environment_ = nullptr;
    }
}

}  // namespace tvk
