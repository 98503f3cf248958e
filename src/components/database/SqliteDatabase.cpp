#include "components/database/SqliteDatabase.h"

#include <sqlite3.h>

#include <optional>
#include <string_view>
#include <vector>

#include "common/AsciiText.h"
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

// A statement read from its start: blanks, words in any case, characters.
// (A hand scanner rather than std::regex, whose compilation alone cost a
// tenth of a background run.)
class StatementScanner {
  public:
    explicit StatementScanner(std::string_view text) : text_(text) {}

    bool Blanks() {
        size_t start = at_;
        while (at_ < text_.size() && IsAsciiSpace(text_[at_])) ++at_;
        return at_ > start;
    }
    bool Word(std::string_view word) {
        if (!StartsWithIgnoringAsciiCase(text_.substr(at_), word)) return false;
        at_ += word.size();
        return true;
    }
    bool Char(char c) { return at_ < text_.size() && text_[at_] == c ? (++at_, true) : false; }
    bool AtEnd() const { return at_ == text_.size(); }
    char Next(size_t ahead = 0) const {
        return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
    }

    // A quoted SQL text at the cursor, '' standing for one quote.
    std::optional<std::string> Quoted() {
        if (!Char('\'')) return std::nullopt;
        std::string value;
        while (at_ < text_.size()) {
            char c = text_[at_++];
            if (c != '\'') {
                value += c;
            } else if (Char('\'')) {
                value += '\'';
            } else {
                return value;
            }
        }
        return std::nullopt;
    }

  private:
    std::string_view text_;
    size_t at_ = 0;
};

// SQL Server's version procedure: "EXEC[UTE] master.[dbo].xp_msver [N'Name'][;]".
// Returns nullopt when the source is something else; otherwise the name
// asked for (empty optional inside when all rows are asked for).
std::optional<std::optional<std::string>> ParseMsver(const std::string& source) {
    StatementScanner s(source);
    s.Blanks();
    if (!s.Word("exec")) return std::nullopt;
    s.Word("ute");
    if (!s.Blanks() || !s.Word("master")) return std::nullopt;
    s.Blanks();
    if (!s.Char('.')) return std::nullopt;
    s.Blanks();
    if (s.Word("dbo")) s.Blanks();
    if (!s.Char('.')) return std::nullopt;
    s.Blanks();
    if (!s.Word("xp_msver")) return std::nullopt;
    s.Blanks();
    std::optional<std::string> name;
    if (s.Next() == '\'' || ((s.Next() == 'N' || s.Next() == 'n') && s.Next(1) == '\'')) {
        if (s.Next() != '\'') s.Char(s.Next());
        name = s.Quoted();
        if (!name) return std::nullopt;
        s.Blanks();
    }
    s.Char(';');
    s.Blanks();
    if (!s.AtEnd()) return std::nullopt;
    return std::optional<std::optional<std::string>>(name);
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
