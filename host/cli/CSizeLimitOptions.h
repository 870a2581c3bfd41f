#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/cli/CCommandLine.h"

namespace Kol {
namespace Host {

// The options of the storage operation's size limits (--max-size,
// --keep-free, --min-age): their entries of the options table, the size
// syntax, and the check of what a store supports.
//
// Pure functions; any thread. Usage errors throw std::invalid_argument with
// one line naming the option.
class CSizeLimitOptions {
public:
    // The entries, in the order of --help; allowed in the configuration file.
    static std::vector<CCommandLine::Option> Options();

    // A size: decimal bytes, or a number followed by K, M, G or T (also KiB,
    // MiB, GiB, TiB), powers of 1024, up to the greatest std::int64_t.
    // Throws std::invalid_argument "<option>: "<text>" is not a size ...".
    static std::int64_t ParseSize(const std::string& text, const std::string& option);

    // Refuses a size limit the store that `options.db` names cannot take:
    // --keep-free on PostgreSQL (the server's files are not on this
    // machine's file systems as the program sees them).
    static void Check(const CHostOptions& options);

    CSizeLimitOptions() = delete;
};

}  // namespace Host
}  // namespace Kol
