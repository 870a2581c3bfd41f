#pragma once

#include <string>
#include <vector>

#include "host/store/IStore.h"

struct pg_conn;

namespace Kol {
namespace Host {

// Rows appended to one table of a PostgreSQL store with COPY ... FROM STDIN
// on a connection of its own (the store's bulk connection): all rows or none.
// Commit ends the COPY (in a dry run it is abandoned instead, so nothing is
// written); a writer dropped without Commit abandons it. After rows that came
// with their ids, Commit moves the table's id sequence past them, so that the
// ids handed out later follow them.
//
// Belongs to the thread that made it; throws std::runtime_error with the
// server's message.
class CPostgresRowWriter : public IStore::RowWriter {
public:
    CPostgresRowWriter(pg_conn* connection, const std::string& table,
                       const std::vector<std::string>& columns, bool dryRun);
    ~CPostgresRowWriter() override;

    CPostgresRowWriter(const CPostgresRowWriter&) = delete;
    CPostgresRowWriter& operator=(const CPostgresRowWriter&) = delete;

    void Add(const std::vector<IStore::Value>& row) override;
    void Commit() override;

    // `bytes` as lower-case hexadecimal digits (bytea's hex form without "\x").
    static std::string Hex(const std::string& bytes);
    // One field of COPY's text format.
    static std::string Field(const IStore::Value& value);

private:
    // Ends the COPY (with `failure`: abandoned); returns the error, if any.
    std::string End(const char* failure);

    pg_conn* const m_connection;
    const std::string m_table;
    const bool m_hasId;
    const bool m_dryRun;
    bool m_open;
    std::string m_line;
};

}  // namespace Host
}  // namespace Kol
