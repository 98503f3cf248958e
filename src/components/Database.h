#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

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

    virtual void Disconnect() = 0;
};

}  // namespace tvk
