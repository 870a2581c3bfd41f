#include "host/store/sqlite/CSqliteRowWriter.h"

#include "host/store/sqlite/CSqliteStore.h"

namespace Kol {
namespace Host {

CSqliteRowWriter::CSqliteRowWriter(CSqliteStore& store, const std::string& table,
                                   const std::vector<std::string>& columns)
    : m_transaction(store), m_insert(store.Prepare(InsertSql(table, columns))) {}

void CSqliteRowWriter::Add(const std::vector<IStore::Value>& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        const int index = static_cast<int>(i + 1);
        switch (row[i].kind) {
            case IStore::Value::Kind::kNull:
                m_insert.BindNull(index);
                break;
            case IStore::Value::Kind::kInteger:
                m_insert.Bind(index, row[i].integer);
                break;
            case IStore::Value::Kind::kText:
                m_insert.Bind(index, row[i].bytes);
                break;
            case IStore::Value::Kind::kBlob:
                m_insert.BindBlob(index, row[i].bytes);
                break;
        }
    }
    m_insert.Run();
}

void CSqliteRowWriter::Commit() {
    m_transaction.Commit();
}

std::string CSqliteRowWriter::InsertSql(const std::string& table,
                                        const std::vector<std::string>& columns) {
    std::string names;
    std::string values;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        names += (i == 0 ? "" : ", ") + columns[i];
        values += (i == 0 ? "?" : ", ?") + std::to_string(i + 1);
    }
    return "INSERT INTO " + table + "(" + names + ") VALUES (" + values + ")";
}

}  // namespace Host
}  // namespace Kol
