#include "host/store/sqlite/CSqliteStatement.h"

#include <stdexcept>

#include <sqlite3.h>

namespace Kol {
namespace Host {

CSqliteStatement::CSqliteStatement(sqlite3* db, const std::string& sql, ErrorObserver observer,
                                   void* observerContext)
    : m_db(db), m_statement(nullptr), m_observer(observer), m_observerContext(observerContext) {
    const int code =
        sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_statement, nullptr);
    if (code != SQLITE_OK) {
        const std::string message = Failure();
        sqlite3_finalize(m_statement);
        throw std::runtime_error(message + " in: " + sql);
    }
}

CSqliteStatement::~CSqliteStatement() {
    sqlite3_finalize(m_statement);
}

CSqliteStatement::CSqliteStatement(CSqliteStatement&& other) noexcept
    : m_db(other.m_db),
      m_statement(other.m_statement),
      m_observer(other.m_observer),
      m_observerContext(other.m_observerContext) {
    other.m_statement = nullptr;
}

std::string CSqliteStatement::Failure() const {
    const std::string message = sqlite3_errmsg(m_db);
    if (m_observer != nullptr) {
        m_observer(m_observerContext, sqlite3_extended_errcode(m_db), message);
    }
    return message;
}

void CSqliteStatement::Check(int code) const {
    if (code != SQLITE_OK) {
        throw std::runtime_error(Failure());
    }
}

CSqliteStatement& CSqliteStatement::Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(m_statement, index, value));
    return *this;
}

CSqliteStatement& CSqliteStatement::Bind(int index, const std::string& text) {
    Check(sqlite3_bind_text64(m_statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                              SQLITE_UTF8));
    return *this;
}

CSqliteStatement& CSqliteStatement::BindBlob(int index, const std::string& bytes) {
    Check(sqlite3_bind_blob64(m_statement, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
    return *this;
}

CSqliteStatement& CSqliteStatement::BindNull(int index) {
    Check(sqlite3_bind_null(m_statement, index));
    return *this;
}

CSqliteStatement& CSqliteStatement::Bind(const std::string& name, std::int64_t value) {
    const int index = sqlite3_bind_parameter_index(m_statement, name.c_str());
    if (index == 0) {
        throw std::runtime_error("no parameter " + name);
    }
    return Bind(index, value);
}

bool CSqliteStatement::HasParameter(const std::string& name) const {
    return sqlite3_bind_parameter_index(m_statement, name.c_str()) != 0;
}

CSqliteStatement& CSqliteStatement::BindNumbered(const std::vector<std::int64_t>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string name = "$" + std::to_string(i + 1);
        if (HasParameter(name)) {
            Bind(name, values[i]);
        }
    }
    return *this;
}

bool CSqliteStatement::Step() {
    const int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        return false;
    }
    const std::string message = Failure();
    sqlite3_reset(m_statement);
    throw std::runtime_error(message);
}

std::int64_t CSqliteStatement::Run() {
    while (Step()) {
    }
    const std::int64_t changed = sqlite3_changes64(m_db);
    sqlite3_reset(m_statement);
    return changed;
}

void CSqliteStatement::Reset() {
    sqlite3_reset(m_statement);
}

bool CSqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::int64_t CSqliteStatement::GetInt64(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

std::string CSqliteStatement::GetText(int column) const {
    const unsigned char* text = sqlite3_column_text(m_statement, column);
    const int length = sqlite3_column_bytes(m_statement, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

std::string CSqliteStatement::GetBlob(int column) const {
    const void* bytes = sqlite3_column_blob(m_statement, column);
    const int length = sqlite3_column_bytes(m_statement, column);
    return bytes == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

}  // namespace Host
}  // namespace Kol
