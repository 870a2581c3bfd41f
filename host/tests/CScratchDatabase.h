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
    // `server` with its database replaced by `database`.
    static std::string WithDatabase(const std::string& server, const std::string& database) {
        const std::string::size_type path = server.find('/', server.find("://") + 3);
        const std::string::size_type query = server.find('?', path);
        return server.substr(0, path) + "/" + database +
               (query == std::string::npos ? "" : server.substr(query));
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
        return WithDatabase(ServerUri(), name);
    }
};

}  // namespace Kol::Host::Testing
