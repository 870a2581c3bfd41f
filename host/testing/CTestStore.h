#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <pqxx/connection>

#include "host/store/IStore.h"

struct sqlite3;

namespace Kol::Host::Testing {

// A plain connection for tests to fill and inspect a store, SQLite or
// PostgreSQL, and the file helpers the tests share.
class CTestStore {
public:
    // Opens (or creates) the file, or connects to a postgresql:// URI.
    // Throws std::runtime_error.
    explicit CTestStore(const std::string& store);
    ~CTestStore();

    CTestStore(const CTestStore&) = delete;
    CTestStore& operator=(const CTestStore&) = delete;

    void Execute(const std::string& sql);
    std::int64_t Int(const std::string& sql);
    std::string Text(const std::string& sql);
    // The first column of every row, as integers.
    std::vector<std::int64_t> Ints(const std::string& sql);
    std::vector<std::string> Blobs(const std::string& sql);

    // The keys of each of the store's tables (rowid for all on SQLite; on
    // PostgreSQL id, a tombstone's computer_uuid as a number, a hash of a
    // setting's key).
    std::map<std::string, std::set<std::int64_t>> Keys();
    // Every row of every table as text, in a fixed order: equal dumps mean
    // equal contents.
    std::string Dump();

    // A blob literal of `hex` in the store's SQL.
    std::string Blob(const std::string& hex) const;

    // The store at `db` as the program opens it (the factory, both steps,
    // its lock held), made when absent. Throws as CStoreFactory::Open.
    static boost::shared_ptr<IStore> OpenStore(const std::string& db);
    // The version of the SQLite library the tests and the program link.
    static std::string SqliteVersion();

    static bool Exists(const std::string& path);
    static std::string ReadFile(const std::string& path);
    static void WriteFile(const std::string& path, const std::string& bytes);
    // The names of the files in `directory`.
    static std::set<std::string> Files(const std::string& directory);

private:
    // Every field of every row; `typed`: SQLite fields start with their type
    // code, NULL on PostgreSQL reads "NULL".
    std::vector<std::vector<std::string>> Rows(const std::string& sql, bool typed);
    std::string KeyOf(const std::string& table) const;

    sqlite3* m_db;
    std::unique_ptr<pqxx::connection> m_server;
};

}  // namespace Kol::Host::Testing
