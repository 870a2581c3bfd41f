#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/CHostOptions.h"

namespace Kol {
namespace Host {

// The host's command line (Boost.Program_options):
//
//   cleanup-agent [--db FILE] [--module FILE] [--installation-kind N]
//                 [--installation-uuid UUID] [--retention D1,D2,D3,D4,D5]
//                 [--log-level N] [--request UUID1,UUID2,UUID3] [--dry-run]
//                 [--seed-demo ROWS] [--batch-rows N]
//                 [--inject-write-faults AFTER,COUNT] [OPERATION...]
//
// Every function is pure and thread-safe. Parsing failures throw
// std::invalid_argument with a one-line message naming the culprit.
class CCommandLine {
public:
    // The operations `all` stands for, in the order they run.
    static const std::vector<std::int32_t>& AllOperations();

    // `arguments` excludes the program name.
    static CHostOptions Parse(const std::vector<std::string>& arguments,
                              const std::string& defaultModule);

    // The usage text with every option and its default.
    static std::string Usage(const std::string& defaultModule);

    // One OPERATION word: a 32-bit number (kept as it is), an enumeration name
    // (OLD_LOGS) or its lower-case dashed form (old-logs), in any case, or
    // `all`.
    static std::vector<std::int32_t> ParseOperation(const std::string& word);

    // A UUID in its 8-4-4-4-12 hexadecimal text form, either case; returns it
    // in lower case. `option` names the source in the message.
    static std::string NormalizeUuid(const std::string& text, const std::string& option);

    // A number of days from 0 to 65535; `source` names it in the message.
    static std::uint16_t ParseDays(const std::string& text, const std::string& source);

    // The plug-in in its private folder relative to this program (bin/ to
    // lib/cleanup-agent/, in the build tree too), else one beside the program.
    static std::string DefaultModulePath();
};

}  // namespace Host
}  // namespace Kol
