#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/AsciiText.h"
#include "common/ServiceError.h"

namespace tvk {

// One field value of a recordset row; a database null is its own state.
class FieldValue {
  public:
    FieldValue() = default;  // null
    static FieldValue Integer(int64_t v) { return FieldValue(v); }
    static FieldValue Real(double v) { return FieldValue(v); }
    static FieldValue Text(std::string v) { return FieldValue(std::move(v)); }

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsInteger() const { return std::holds_alternative<int64_t>(value_); }
    bool IsReal() const { return std::holds_alternative<double>(value_); }
    bool IsText() const { return std::holds_alternative<std::string>(value_); }

    int64_t AsInteger() const { return std::get<int64_t>(value_); }
    double AsReal() const { return std::get<double>(value_); }
    const std::string& AsText() const { return std::get<std::string>(value_); }

  private:
    template <class T>
    explicit FieldValue(T v) : value_(std::move(v)) {}
    std::variant<std::monostate, int64_t, double, std::string> value_;
};

// The rows of one statement, read from the current (first) row on.
// All failures are thrown as ServiceError with the source's number and text.
class Recordset {
  public:
    virtual ~Recordset() = default;

    // ADO's EOF: true when there is no current row. (EOF itself is a macro of
    // the C library, so the name cannot be used as it stands.)
    virtual bool IsEOF() const = 0;

    // Field of the current row by column name (without regard to case) or by
    // position counting from 0.
    virtual FieldValue Fields(std::string_view name) const = 0;
    virtual FieldValue Fields(int position) const = 0;

    virtual void Close() = 0;
};

// A recordset whose current row was read in full when it was opened, so that
// it stays valid whatever happens to the connection afterwards. The callers
// read the first row only, so that is all it holds.
class RowRecordset : public Recordset {
  public:
    RowRecordset(std::vector<std::string> names, std::optional<std::vector<FieldValue>> row)
        : names_(std::move(names)), row_(std::move(row)) {}

    bool IsEOF() const override {
        ThrowIfClosed();
        return !row_.has_value();
    }

    FieldValue Fields(std::string_view name) const override {
        ThrowIfClosed();
        for (size_t i = 0; i < names_.size(); ++i) {
            if (EqualsIgnoringAsciiCase(names_[i], name)) return Value(i);
        }
        throw ServiceError(ErrorNumber::ItemNotFound, kItemNotFound);
    }

    FieldValue Fields(int position) const override {
        ThrowIfClosed();
        if (position < 0 || static_cast<size_t>(position) >= names_.size()) {
            throw ServiceError(ErrorNumber::ItemNotFound, kItemNotFound);
        }
        return Value(static_cast<size_t>(position));
    }

    // Closing twice is harmless: a cleanup path must not fail.
    void Close() override { closed_ = true; }

  private:
    static constexpr const char* kItemNotFound =
        "Item cannot be found in the collection corresponding to the requested name or ordinal.";

    void ThrowIfClosed() const {
        if (closed_) {
            throw ServiceError(ErrorNumber::ObjectClosed,
                               "Operation is not allowed when the object is closed.");
        }
    }

    FieldValue Value(size_t index) const {
        if (!row_) {
            throw ServiceError(ErrorNumber::NoCurrentRecord,
                               "Either BOF or EOF is True, or the current record has been deleted. "
                               "Requested operation requires a current record.");
        }
        return (*row_)[index];
    }

    std::vector<std::string> names_;
    std::optional<std::vector<FieldValue>> row_;
    bool closed_ = false;
};

// One connection to the application database.
class Database {
  public:
    virtual ~Database() = default;

    virtual void SetConnectionString(const std::string& text) = 0;
    virtual void Connect() = 0;

    // source: a statement, or the bare name of a table or view ("SQLServerDate").
    // noRows: the statement returns no rows (an UPDATE); the result is then empty.
    virtual std::unique_ptr<tvk::Recordset> Recordset(const std::string& source,
                                                      bool noRows = false) = 0;

    // Runs statements that return no rows (an UPDATE) and returns how many
    // rows they changed, as ADO's RecordsAffected (-1 when the database cannot
    // tell): with it a run can claim a row that runs on other machines may be
    // claiming at the same moment.
    virtual int64_t Execute(const std::string& statement) = 0;

    virtual void Disconnect() = 0;
};

// The ODBC module (unixODBC) and its one entry point, which makes an
// unconnected ODBC database. Runs on the embedded SQLite file never load it.
inline constexpr const char* kOdbcModule = "tvkOdbc";
inline constexpr const char* kOdbcEntry = "tvkOdbcCreateDatabase";
using OdbcModuleEntry = std::unique_ptr<Database>();

}  // namespace tvk
