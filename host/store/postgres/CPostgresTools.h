#pragma once

#include <string>

namespace Kol {
namespace Host {

// Where the PostgreSQL client programs (pg_dump, pg_restore) are.
//
// Stateless and thread-safe.
class CPostgresTools {
public:
    // The newest installed PostgreSQL client program `name` (in
    // /usr/lib/postgresql/VERSION/bin, else an absolute folder of PATH).
    // Throws std::runtime_error when there is none.
    static std::string Find(const std::string& name);

    CPostgresTools() = delete;
};

}  // namespace Host
}  // namespace Kol
