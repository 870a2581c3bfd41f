#include "contracts/logs/CSymbolDescriptor.h"

#include <utility>

namespace Kol {
namespace Common {
namespace Logs {

CSymbolDescriptor::CSymbolDescriptor(std::int32_t id, std::string name, SymbolKind kind,
                                     bool required, std::size_t otlLength)
    : m_id(id), m_name(std::move(name)), m_kind(kind), m_required(required),
      m_otlLength(otlLength) {}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
