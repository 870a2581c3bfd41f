#include "contracts/logs/CLogDescriptor.h"

#include <utility>

namespace Kol {
namespace Common {
namespace Logs {

CLogDescriptor::CLogDescriptor(LogType logType, std::vector<CSymbolDescriptorPtr> symbols)
    : m_logType(logType), m_symbols(std::move(symbols)) {}

CSymbolDescriptorPtr CLogDescriptor::GetSymbolDescriptor(std::int32_t id) const {
    for (const CSymbolDescriptorPtr& symbol : m_symbols) {
        if (symbol->GetId() == id) {
            return symbol;
        }
    }
    return CSymbolDescriptorPtr();
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
