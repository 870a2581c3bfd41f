#include "host/store/postgres/CPostgresRowWriter.h"

#include <algorithm>
#include <stdexcept>

#include <libpq-fe.h>

#include "host/store/postgres/CPostgresUri.h"

namespace Kol {
namespace Host {

namespace {

// Runs `sql` on the connection; throws with the server's message unless it
// returned `expected`.
void Expect(PGconn* connection, const std::string& sql, ExecStatusType expected) {
    PGresult* result = PQexec(connection, sql.c_str());
    const bool ok = PQresultStatus(result) == expected;
    PQclear(result);
    if (!ok) {
        throw std::runtime_error(CPostgresUri::OneLine(PQerrorMessage(connection)));
    }
}

}  // namespace

CPostgresRowWriter::CPostgresRowWriter(PGconn* connection, const std::string& table,
                                       const std::vector<std::string>& columns, bool dryRun)
    : m_connection(connection),
      m_table(table),
      m_hasId(std::find(columns.begin(), columns.end(), "id") != columns.end()),
      m_dryRun(dryRun),
      m_open(false) {
    std::string names;
    for (const std::string& column : columns) {
        names += (names.empty() ? "" : ", ") + column;
    }
    Expect(m_connection, "COPY " + table + "(" + names + ") FROM STDIN", PGRES_COPY_IN);
    m_open = true;
}

CPostgresRowWriter::~CPostgresRowWriter() {
    if (m_open) {
        End("abandoned");
    }
}

std::string CPostgresRowWriter::Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

std::string CPostgresRowWriter::Field(const IStore::Value& value) {
    switch (value.kind) {
        case IStore::Value::Kind::kNull:
            return "\\N";
        case IStore::Value::Kind::kInteger:
            return std::to_string(value.integer);
        case IStore::Value::Kind::kBlob:
            // "\x..." is bytea's hex form; COPY wants its backslash doubled.
            return "\\\\x" + Hex(value.bytes);
        case IStore::Value::Kind::kText:
            break;
    }
    std::string field;
    for (const char c : value.bytes) {
        switch (c) {
            case '\\':
                field += "\\\\";
                break;
            case '\t':
                field += "\\t";
                break;
            case '\n':
                field += "\\n";
                break;
            case '\r':
                field += "\\r";
                break;
            default:
                field += c;
        }
    }
    return field;
}

void CPostgresRowWriter::Add(const std::vector<IStore::Value>& row) {
    m_line.clear();
    for (std::size_t i = 0; i < row.size(); ++i) {
        m_line += (i == 0 ? "" : "\t") + Field(row[i]);
    }
    m_line += '\n';
    if (PQputCopyData(m_connection, m_line.data(), static_cast<int>(m_line.size())) != 1) {
        throw std::runtime_error(CPostgresUri::OneLine(PQerrorMessage(m_connection)));
    }
}

void CPostgresRowWriter::Commit() {
    const std::string error = End(m_dryRun ? "dry run" : nullptr);
    if (m_dryRun) {
        return;
    }
    if (!error.empty()) {
        throw std::runtime_error(error);
    }
    if (m_hasId) {
        Expect(m_connection,
               "SELECT setval(pg_get_serial_sequence('" + m_table +
                   "', 'id'), greatest(max(id), 1)) FROM " + m_table,
               PGRES_TUPLES_OK);
    }
}

std::string CPostgresRowWriter::End(const char* failure) {
    m_open = false;
    PQputCopyEnd(m_connection, failure);
    std::string error;
    while (PGresult* result = PQgetResult(m_connection)) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK && error.empty()) {
            error = CPostgresUri::OneLine(PQresultErrorMessage(result));
        }
        PQclear(result);
    }
    return error;
}

}  // namespace Host
}  // namespace Kol
