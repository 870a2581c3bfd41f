#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Kol {
namespace Host {

// The cleanup operations a request can list, as this host names them: the
// number the module receives, the dashed name the command line accepts and
// every host line prints (old-logs), the data-definition library's
// enumeration name (OLD_LOGS), and one line on what the operation does with
// this module and this host's store. The one table behind --help, the
// parsing of OPERATION words, the log lines and the results.
//
// Every function is pure and thread-safe.
class COperationCatalog {
public:
    struct Operation {
        std::int32_t number;
        std::string name;         // "old-logs"
        std::string enumeration;  // "OLD_LOGS"
        std::string effect;       // one line, for --help
    };

    // Operations 1 to 24 in ascending order.
    static const std::vector<Operation>& All();
    // The operations `all` stands for, in the order they run.
    static const std::vector<std::int32_t>& AllInRunOrder();
    // The entry of `number`, or nullptr for a number outside 1 to 24.
    static const Operation* Find(std::int32_t number);
    // The dashed name of `number`, or the number itself as text.
    static std::string NameOf(std::int32_t number);
    // The names of `numbers`, space-separated.
    static std::string NamesOf(const std::vector<std::int32_t>& numbers);
    // True for the numbers the module runs an operation for (1 to 7, 12 to
    // 14, and the empty hooks 15 to 24); false for 8 to 11 and every number
    // outside 1 to 24, which the module rejects.
    static bool IsHandled(std::int32_t number);
    // True for 15 to 24, which the module accepts and does nothing for.
    static bool IsEmptyHook(std::int32_t number);

    // True for a number the data-definition library leaves unnamed
    // (operation-8, OPERATION_8).
    static bool IsPlaceholder(const Operation& operation);
    // The names an OPERATION word may give, for messages: the named
    // operations, then the placeholders by ranges ("..., static-objects,
    // operation-N for 8-11, 15-24").
    static std::string ValidNames();

    // One OPERATION word: a 32-bit number (kept as it is), an enumeration name
    // or a dashed name in any case (`_` and `-` alike), or `all`. Throws
    // std::invalid_argument with a one-line message that lists the valid
    // names (see ValidNames) and, for a near miss, the name it likely meant.
    static std::vector<std::int32_t> Parse(const std::string& word);
};

}  // namespace Host
}  // namespace Kol
