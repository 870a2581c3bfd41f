#pragma once

#include <string>
#include <vector>

#include "host/store/IStore.h"
#include "host/store/sqlite/CSqliteStatement.h"
#include "host/store/sqlite/CSqliteTransaction.h"

namespace Kol {
namespace Host {

class CSqliteStore;

// Rows appended with one prepared INSERT inside one CSqliteTransaction: all
// of them on Commit (none in a dry run), none when dropped without it.
//
// Belongs to the thread that made it; the store outlives it. The constructor,
// Add and Commit throw std::runtime_error with SQLite's message.
class CSqliteRowWriter : public IStore::RowWriter {
public:
    // `columns` are columns of `table`, which is one of the store's.
    CSqliteRowWriter(CSqliteStore& store, const std::string& table,
                     const std::vector<std::string>& columns);

    // One value per column, in the order of `columns`.
    void Add(const std::vector<IStore::Value>& row) override;
    void Commit() override;

private:
    static std::string InsertSql(const std::string& table, const std::vector<std::string>& columns);

    CSqliteTransaction m_transaction;
    CSqliteStatement m_insert;
};

}  // namespace Host
}  // namespace Kol
