#pragma once

#include <cstdint>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/datadefinition/Logs.pb.h"
#include "contracts/logs/CSymbolDescriptor.h"

namespace Kol {
namespace Common {
namespace Logs {

// The symbols of one log type, in their declared order. Immutable.
class CLogDescriptor {
public:
    typedef DataDefinition::Logs::LogType LogType;

    CLogDescriptor(LogType logType, std::vector<CSymbolDescriptorPtr> symbols);

    LogType GetLogType() const { return m_logType; }

    // The descriptor of symbol `id`, or an empty pointer if this log type has
    // no such symbol.
    CSymbolDescriptorPtr GetSymbolDescriptor(std::int32_t id) const;

    const std::vector<CSymbolDescriptorPtr>& GetSymbolDescriptors() const { return m_symbols; }

private:
    LogType m_logType;
    std::vector<CSymbolDescriptorPtr> m_symbols;
};

typedef boost::shared_ptr<const CLogDescriptor> CLogDescriptorPtr;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
