#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include <pqxx/pqxx>

namespace Kol::Host::Testing {

// A new empty database on the test server for one test, dropped when the
// object goes. The server is the one scripts/test starts and names in
// CLEANUP_TEST_PG_URI; without it `uri` is empty and the test is skipped.
class CScratchDatabase {
public:
    CScratchDatabase() : uri(Make(name)) {}
    ~CScratchDatabase() {
        if (!uri.empty()) {
            try {
                pqxx::connection server(ServerUri());
                pqxx::nontransaction(server).exec("DROP DATABASE IF EXISTS " + name +
                                                  " WITH (FORCE)");
            } catch (const std::exception&) {
                // The server and its databases go at the end of the run anyway.
            }
        }
    }

    CScratchDatabase(const CScratchDatabase&) = delete;
    CScratchDatabase& operator=(const CScratchDatabase&) = delete;

    static std::string ServerUri() {
        const char* uri = std::getenv("CLEANUP_TEST_PG_URI");
        return uri != nullptr ? uri : "";
    }
    std::string name;
    const std::string uri;

private:
    static std::string Make(std::string& name) {
        static std::atomic<int> count{0};
        if (ServerUri().empty()) {
            return "";
        }
        name = "test_" + std::to_string(::getpid()) + "_" + std::to_string(++count);
        pqxx::connection server(ServerUri());
        pqxx::nontransaction(server).exec("CREATE DATABASE " + name);
        // The server's URI with its database replaced by the new one.
        const std::string base = ServerUri();
        const std::string::size_type path = base.find('/', base.find("://") + 3);
        const std::string::size_type query = base.find('?', path);
        return base.substr(0, path) + "/" + name +
               (query == std::string::npos ? "" : base.substr(query));
    }
};

}  // namespace Kol::Host::Testing
