#pragma once

#include <cstdint>

namespace Kol {
namespace Common {
namespace Logs {

// The eight kinds of a symbol value, by kind index. The names are those of the
// MultiDataType lists.
enum class SymbolKind : std::uint8_t {
    Blob = 0,
    Int = 1,
    Double = 2,
    String = 3,
    ResId = 4,
    TimeDate = 5,
    Uuid = 6,
    Bool = 7,
};

// "blob", "int", "double", "string", "res_id", "time_date", "uuid", "bool";
// "unknown" for any other value.
const char* SymbolKindName(SymbolKind kind);

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
