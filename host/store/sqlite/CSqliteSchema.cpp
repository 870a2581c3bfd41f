#include "host/store/sqlite/CSqliteSchema.h"

#include <stdexcept>

namespace Kol {
namespace Host {

namespace {

struct Table {
    const char* name;
    const char* key;
    const char* create;
    int since = 1;  // the schema version that brought the table
};

const Table kTables[] = {
    {"settings", "rowid",
     "CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL)"},
    {"logs", "id",
     "CREATE TABLE IF NOT EXISTS logs(id INTEGER PRIMARY KEY, log_type INTEGER NOT NULL,"
     " retention_class INTEGER NOT NULL CHECK (retention_class BETWEEN 1 AND 5),"
     " is_delta INTEGER NOT NULL DEFAULT 0, created_at INTEGER NOT NULL,"
     " replicated INTEGER NOT NULL DEFAULT 0, ignored INTEGER NOT NULL DEFAULT 0,"
     " superseded INTEGER NOT NULL DEFAULT 0, owner_id INTEGER, symbols BLOB)"},
    {"owners", "id",
     "CREATE TABLE IF NOT EXISTS owners(id INTEGER PRIMARY KEY, name TEXT NOT NULL)"},
    {"log_blobs", "id",
     "CREATE TABLE IF NOT EXISTS log_blobs(id INTEGER PRIMARY KEY, log_id INTEGER NOT NULL,"
     " data BLOB NOT NULL)"},
    {"static_objects", "id",
     "CREATE TABLE IF NOT EXISTS static_objects(id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
     " deleted INTEGER NOT NULL DEFAULT 0)"},
    {"enrollment_tombstones", "rowid",
     "CREATE TABLE IF NOT EXISTS enrollment_tombstones(computer_uuid TEXT PRIMARY KEY,"
     " removed_at INTEGER NOT NULL)"},
    {"status_events", "id",
     "CREATE TABLE IF NOT EXISTS status_events(id INTEGER PRIMARY KEY,"
     " message_type INTEGER NOT NULL, name TEXT NOT NULL, symbols BLOB NOT NULL,"
     " symbols_protobuf BLOB NOT NULL, received_at INTEGER NOT NULL)"},
    // "start" and "end" are words of SQL: the columns say what they hold.
    {"run_history", "id",
     "CREATE TABLE IF NOT EXISTS run_history(id INTEGER PRIMARY KEY,"
     " started_at INTEGER NOT NULL, ended_at INTEGER NOT NULL, status TEXT NOT NULL,"
     " exit_code INTEGER NOT NULL, dry_run INTEGER NOT NULL, operations TEXT NOT NULL,"
     " rows_removed INTEGER NOT NULL, bytes_freed INTEGER NOT NULL,"
     " bytes_returned INTEGER NOT NULL, error TEXT)",
     2},
};

struct Index {
    const char* table;
    const char* create;
};

// Retention and event-log ranges are walked in time order. Index entries of
// one batch of deletes then sit side by side, since logs are appended in time
// order. There is deliberately no index on owner_id: its entries are
// scattered, and keeping it would rewrite most of its pages in every batch.
const Index kIndexes[] = {
    {"logs", "CREATE INDEX IF NOT EXISTS logs_retention ON logs(retention_class, created_at)"},
    {"logs",
     "CREATE INDEX IF NOT EXISTS logs_event_type ON logs(log_type, created_at)"
     " WHERE is_delta = 0"},
    {"logs", "CREATE INDEX IF NOT EXISTS logs_replicated ON logs(id) WHERE replicated = 1"},
    {"logs", "CREATE INDEX IF NOT EXISTS logs_ignored ON logs(id) WHERE ignored = 1"},
    {"logs",
     "CREATE INDEX IF NOT EXISTS logs_obsolete_delta ON logs(id)"
     " WHERE is_delta = 1 AND superseded = 1"},
};

const Table& Find(const std::string& table) {
    for (const Table& candidate : kTables) {
        if (table == candidate.name) {
            return candidate;
        }
    }
    throw std::invalid_argument("no table " + table + " in the store");
}

}  // namespace

std::vector<std::string> CSqliteSchema::Statements(int version) {
    std::vector<std::string> all;
    for (const Table& table : kTables) {
        if (table.since <= version) {
            all.push_back(table.create);
        }
    }
    // Every index is of schema version 1.
    for (const Index& index : kIndexes) {
        all.push_back(index.create);
    }
    return all;
}

std::string CSqliteSchema::KeyOf(const std::string& table) {
    return Find(table).key;
}

bool CSqliteSchema::WalksTable(const std::string& table, const std::string& condition) {
    const std::string onKey = " ON " + table + "(" + KeyOf(table) + ") WHERE " + condition;
    bool indexed = false;
    for (const Index& index : kIndexes) {
        if (table == index.table) {
            const std::string create = index.create;
            if (create.size() >= onKey.size() &&
                create.compare(create.size() - onKey.size(), onKey.size(), onKey) == 0) {
                return false;
            }
            indexed = true;
        }
    }
    return indexed;
}

}  // namespace Host
}  // namespace Kol
