#include "host/testing/CTestStore.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sqlite3.h>
#include <boost/filesystem/operations.hpp>
#include <pqxx/pqxx>

#include "host/store/CStoreFactory.h"

namespace Kol::Host::Testing {

const char* const kTables[] = {"settings",     "logs",           "owners",
                               "log_blobs",    "static_objects", "enrollment_tombstones",
                               "status_events"};

CTestStore::CTestStore(const std::string& path) : m_db(nullptr) {
    if (path.rfind("postgresql://", 0) == 0) {
        m_server.reset(new pqxx::connection(path));
        return;
    }
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(m_db);
        sqlite3_close(m_db);
        throw std::runtime_error("cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(m_db, 10000);
}

CTestStore::~CTestStore() {
    sqlite3_close(m_db);
}

std::string CTestStore::KeyOf(const std::string& table) const {
    if (!m_server) {
        return "rowid";
    }
    return table == "settings"                ? "hashtext(key)"
           : table == "enrollment_tombstones" ? "computer_uuid::bigint"
                                              : "id";
}

std::string CTestStore::Blob(const std::string& hex) const {
    return m_server ? "'\\x" + hex + "'::bytea" : "x'" + hex + "'";
}

void CTestStore::Execute(const std::string& sql) {
    if (m_server) {
        pqxx::nontransaction(*m_server).exec(sql);
        return;
    }
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in: " + sql);
    }
}

std::vector<std::vector<std::string>> CTestStore::Rows(const std::string& sql, bool typed) {
    std::vector<std::vector<std::string>> rows;
    if (m_server) {
        for (const auto& row : pqxx::nontransaction(*m_server).exec(sql)) {
            rows.emplace_back();
            for (const auto& field : row) {
                rows.back().push_back(field.is_null() && typed ? "NULL" : field.c_str());
            }
        }
        return rows;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in: " + sql);
    }
    int code;
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
        rows.emplace_back();
        for (int column = 0; column < sqlite3_column_count(statement); ++column) {
            // The type first: reading the bytes may convert the value.
            const int type = sqlite3_column_type(statement, column);
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
            const std::string value(bytes,
                                    bytes == nullptr ? 0 : sqlite3_column_bytes(statement, column));
            rows.back().push_back(typed ? std::to_string(type) + ":" + value : value);
        }
    }
    sqlite3_finalize(statement);
    if (code != SQLITE_DONE) {
        throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in: " + sql);
    }
    return rows;
}

std::vector<std::string> CTestStore::Blobs(const std::string& sql) {
    std::vector<std::string> values;
    for (const std::vector<std::string>& row : Rows(sql, false)) {
        values.push_back(row.front());
    }
    return values;
}

std::vector<std::int64_t> CTestStore::Ints(const std::string& sql) {
    std::vector<std::int64_t> values;
    for (const std::string& text : Blobs(sql)) {
        values.push_back(std::stoll(text));
    }
    return values;
}

std::int64_t CTestStore::Int(const std::string& sql) {
    return std::stoll(Text(sql));
}

std::string CTestStore::Text(const std::string& sql) {
    const std::vector<std::string> values = Blobs(sql);
    if (values.empty()) {
        throw std::runtime_error("no row from: " + sql);
    }
    return values.front();
}

std::map<std::string, std::set<std::int64_t>> CTestStore::Keys() {
    std::map<std::string, std::set<std::int64_t>> keys;
    for (const char* table : kTables) {
        const std::vector<std::int64_t> ids =
            Ints("SELECT " + KeyOf(table) + " FROM " + std::string(table) + " ORDER BY 1");
        keys[table] = std::set<std::int64_t>(ids.begin(), ids.end());
    }
    return keys;
}

std::string CTestStore::Dump() {
    std::ostringstream dump;
    for (const char* table : kTables) {
        dump << table << ":\n";
        for (const std::vector<std::string>& row :
             Rows(std::string("SELECT * FROM ") + table + " ORDER BY " + (m_server ? "1" : "rowid"),
                  true)) {
            for (const std::string& field : row) {
                dump << field << '|';
            }
            dump << "\n";
        }
    }
    return dump.str();
}

boost::shared_ptr<IStore> CTestStore::OpenStore(const std::string& db) {
    StoreOptions options;
    options.db = db;
    const boost::shared_ptr<IStore> store = CStoreFactory::Open(options);
    store->FinishOpening();
    return store;
}

std::string CTestStore::SqliteVersion() {
    return sqlite3_libversion();
}

bool CTestStore::Exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

std::string CTestStore::ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::set<std::string> CTestStore::Files(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : boost::filesystem::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

void CTestStore::WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace Kol::Host::Testing
