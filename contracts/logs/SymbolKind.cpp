#include "contracts/logs/SymbolKind.h"

namespace Kol {
namespace Common {
namespace Logs {

const char* SymbolKindName(SymbolKind kind) {
    switch (kind) {
        case SymbolKind::Blob: return "blob";
        case SymbolKind::Int: return "int";
        case SymbolKind::Double: return "double";
        case SymbolKind::String: return "string";
        case SymbolKind::ResId: return "res_id";
        case SymbolKind::TimeDate: return "time_date";
        case SymbolKind::Uuid: return "uuid";
        case SymbolKind::Bool: return "bool";
    }
    return "unknown";
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
