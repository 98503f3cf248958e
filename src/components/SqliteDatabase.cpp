#include "components/SqliteDatabase.h"

#include <sqlite3.h>

#include <optional>
#include <regex>
#include <vector>

#include "common/ServiceError.h"

namespace tvk {

namespace {

[[noreturn]] void ThrowSqlite(sqlite3* db) {
    throw ServiceError(sqlite3_errcode(db), sqlite3_errmsg(db));
}

[[noreturn]] void ThrowClosed() {
    throw ServiceError(ErrorNumber::ObjectClosed,
                       "Operation is not allowed when the object is closed.");
}

struct StatementDeleter {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

FieldValue ColumnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_NULL:
            return FieldValue();
        case SQLITE_INTEGER:
            return FieldValue::Integer(sqlite3_column_int64(stmt, column));
        case SQLITE_FLOAT:
            return FieldValue::Real(sqlite3_column_double(stmt, column));
        case SQLITE_BLOB: {
            // The pointer first, then the size: that order is what SQLite documents.
            const void* bytes = sqlite3_column_blob(stmt, column);
            int size = sqlite3_column_bytes(stmt, column);
            return FieldValue::Text(bytes ? std::string(static_cast<const char*>(bytes), size)
                                          : std::string());
        }
        default: {
            const unsigned char* text = sqlite3_column_text(stmt, column);
            int size = sqlite3_column_bytes(stmt, column);
            return FieldValue::Text(text ? std::string(reinterpret_cast<const char*>(text), size)
                                         : std::string());
        }
    }
}

std::unique_ptr<RowRecordset> ReadFirstRow(sqlite3* db, sqlite3_stmt* stmt) {
    std::vector<std::string> names;
    int count = sqlite3_column_count(stmt);
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        names.emplace_back(name ? name : "");
    }
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return std::make_unique<RowRecordset>(std::move(names), std::nullopt);
    if (rc != SQLITE_ROW) ThrowSqlite(db);
    std::vector<FieldValue> row;
    for (int i = 0; i < count; ++i) row.push_back(ColumnValue(stmt, i));
    return std::make_unique<RowRecordset>(std::move(names), std::move(row));
}

void RunToEnd(sqlite3* db, sqlite3_stmt* stmt) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) ThrowSqlite(db);
}

std::unique_ptr<RowRecordset> EmptyRecordset() {
    return std::make_unique<RowRecordset>(std::vector<std::string>{}, std::nullopt);
}

// SQL Server's version procedure: "EXEC[UTE] master..xp_msver ['Name']".
// Returns nullopt when the source is something else; otherwise the name
// asked for (empty optional inside when all rows are asked for).
std::optional<std::optional<std::string>> ParseMsver(const std::string& source) {
    static const std::regex pattern(
        R"(^\s*exec(ute)?\s+master\s*\.\s*(dbo\s*)?\.\s*xp_msver(\s*N?'((?:[^']|'')*)')?\s*;?\s*$)",
        std::regex::ECMAScript | std::regex::icase);
    std::smatch match;
    if (!std::regex_match(source, match, pattern)) return std::nullopt;
    if (!match[3].matched) return std::optional<std::string>();
    std::string name;
    const std::string quoted = match[4].str();
    for (size_t i = 0; i < quoted.size(); ++i) {
        name += quoted[i];
        if (quoted[i] == '\'') ++i;  // '' stands for one quote
    }
    return std::optional<std::string>(name);
}

}  // namespace

SqliteDatabase::SqliteDatabase(OpenMode mode) : mode_(mode) {}

SqliteDatabase::~SqliteDatabase() { Disconnect(); }

void SqliteDatabase::SetConnectionString(const std::string& path) { path_ = path; }

void SqliteDatabase::Connect() {
    Disconnect();
    // "" and ":memory:" would give a fresh private database: never what a
    // caller asking for an existing file means.
    if (mode_ == OpenMode::ExistingFile && (path_.empty() || path_ == ":memory:")) {
        throw ServiceError(SQLITE_CANTOPEN, sqlite3_errstr(SQLITE_CANTOPEN));
    }
    int flags = SQLITE_OPEN_READWRITE;
    if (mode_ == OpenMode::CreateIfMissing) flags |= SQLITE_OPEN_CREATE;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path_.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (db == nullptr) throw ServiceError(rc, sqlite3_errstr(rc));
        ServiceError error(sqlite3_errcode(db), sqlite3_errmsg(db));
        sqlite3_close(db);
        throw error;
    }
    // The application may be writing at the same moment; wait for it briefly.
    sqlite3_busy_timeout(db, 5000);
    db_ = db;
}

std::unique_ptr<tvk::Recordset> SqliteDatabase::Recordset(const std::string& source, bool noRows) {
    if (db_ == nullptr) ThrowClosed();
    if (auto procedure = ParseMsver(source)) {
        const char* sql =
            procedure->has_value()
                ? R"(SELECT "Index", Name, Internal_Value, Character_Value FROM xp_msver )"
                  R"(WHERE Name = ?1 COLLATE NOCASE ORDER BY "Index")"
                : R"(SELECT "Index", Name, Internal_Value, Character_Value FROM xp_msver )"
                  R"(ORDER BY "Index")";
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr) != SQLITE_OK) ThrowSqlite(db_);
        Statement stmt(raw);
        if (procedure->has_value()) {
            const std::string& name = **procedure;
            if (sqlite3_bind_text(raw, 1, name.data(), static_cast<int>(name.size()),
                                  SQLITE_TRANSIENT) != SQLITE_OK) {
                ThrowSqlite(db_);
            }
        }
        if (noRows) {
            RunToEnd(db_, raw);
            return EmptyRecordset();
        }
        return ReadFirstRow(db_, raw);
    }

    // Every statement of the text runs, in order: a batch is not cut short
    // silently after its first statement.
    std::unique_ptr<RowRecordset> result;
    bool anyStatement = false;
    const char* next = source.c_str();
    const char* end = next + source.size();
    while (next < end) {
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db_, next, static_cast<int>(end - next), &raw, &tail) != SQLITE_OK) {
            ThrowSqlite(db_);
        }
        Statement stmt(raw);
        next = tail;
        if (raw == nullptr) continue;  // blanks or a comment
        anyStatement = true;
        if (!noRows && !result && sqlite3_column_count(raw) > 0) {
            result = ReadFirstRow(db_, raw);
        } else {
            RunToEnd(db_, raw);
        }
    }
    if (!anyStatement) throw ServiceError(SQLITE_ERROR, "The command text holds no statement.");
    if (!result) return EmptyRecordset();
    return result;
}

int64_t SqliteDatabase::Execute(const std::string& statement) {
    if (db_ == nullptr) ThrowClosed();
    // The connection's running total counts every statement of a batch.
    const sqlite3_int64 before = sqlite3_total_changes64(db_);
    Recordset(statement, true);
    return sqlite3_total_changes64(db_) - before;
}

void SqliteDatabase::Disconnect() {
    if (db_ == nullptr) return;
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

}  // namespace tvk
