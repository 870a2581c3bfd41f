#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace Kol {
namespace Host {

// One prepared SQLite statement, finalised when the object goes.
//
// Belongs to the thread that uses it; the connection must outlive it. Every
// failing call throws std::runtime_error with SQLite's own message (for
// example "database is locked") and leaves the statement usable after Reset.
class CSqliteStatement {
public:
    // Told of every failing call before it throws, with SQLite's extended
    // result code and message (the store uses it to notice a damaged file).
    typedef void (*ErrorObserver)(void* context, int code, const std::string& message);

    // Prepares `sql` on `db`. Throws "<message> in: <sql>" when it does not compile.
    CSqliteStatement(sqlite3* db, const std::string& sql, ErrorObserver observer = nullptr,
                     void* observerContext = nullptr);
    ~CSqliteStatement();

    CSqliteStatement(const CSqliteStatement&) = delete;
    CSqliteStatement& operator=(const CSqliteStatement&) = delete;
    CSqliteStatement(CSqliteStatement&& other) noexcept;
    CSqliteStatement& operator=(CSqliteStatement&&) = delete;

    // Parameters are 1-based; named ones (":name") are looked up first and
    // throw "no parameter <name>" when the statement has none of that name.
    CSqliteStatement& Bind(int index, std::int64_t value);
    CSqliteStatement& Bind(int index, const std::string& text);
    CSqliteStatement& BindBlob(int index, const std::string& bytes);
    CSqliteStatement& BindNull(int index);
    CSqliteStatement& Bind(const std::string& name, std::int64_t value);
    bool HasParameter(const std::string& name) const;
    // Binds values[i] to the parameter "$<i+1>" where the statement has it;
    // the others are skipped.
    CSqliteStatement& BindNumbered(const std::vector<std::int64_t>& values);

    // Runs to the next row: true when a row is ready, false when done.
    bool Step();
    // Runs to completion, ignoring rows; returns the rows changed by it.
    std::int64_t Run();
    // Makes the statement ready to run again; bindings stay.
    void Reset();

    bool IsNull(int column) const;
    std::int64_t GetInt64(int column) const;
    std::string GetText(int column) const;
    std::string GetBlob(int column) const;

private:
    void Check(int code) const;
    // Tells the observer and returns SQLite's message.
    std::string Failure() const;

    sqlite3* m_db;
    sqlite3_stmt* m_statement;
    ErrorObserver m_observer;
    void* m_observerContext;
};

}  // namespace Host
}  // namespace Kol
