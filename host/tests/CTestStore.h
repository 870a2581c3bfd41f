#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct sqlite3;

namespace Kol {
namespace Host {
namespace Testing {

// A plain SQLite connection for tests to fill and inspect a store, and the
// file helpers the tests share.
class CTestStore {
public:
    // Opens (or creates) the file. Throws std::runtime_error.
    explicit CTestStore(const std::string& path);
    ~CTestStore();

    CTestStore(const CTestStore&) = delete;
    CTestStore& operator=(const CTestStore&) = delete;

    void Execute(const std::string& sql);
    std::int64_t Int(const std::string& sql);
    std::string Text(const std::string& sql);
    // The first column of every row, as integers.
    std::vector<std::int64_t> Ints(const std::string& sql);
    std::vector<std::string> Blobs(const std::string& sql);

    // The keys of each of the store's tables (rowid for all; the settings
    // key text is not needed).
    std::map<std::string, std::set<std::int64_t>> Keys();
    // Every row of every table as text, in a fixed order: equal dumps mean
    // equal contents.
    std::string Dump();

    static bool Exists(const std::string& path);
    static std::string ReadFile(const std::string& path);
    static void WriteFile(const std::string& path, const std::string& bytes);

private:
    sqlite3* m_db;
};

}  // namespace Testing
}  // namespace Host
}  // namespace Kol
