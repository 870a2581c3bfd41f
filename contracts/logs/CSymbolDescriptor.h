#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/logs/SymbolKind.h"

namespace Kol {
namespace Common {
namespace Logs {

// One column of a log type: its identifier, name, value kind, whether every
// record must carry it, and for texts the maximum stored length in bytes
// (0: no limit). Immutable; safe to share between threads.
class CSymbolDescriptor {
public:
    CSymbolDescriptor(std::int32_t id, std::string name, SymbolKind kind, bool required,
                      std::size_t otlLength);

    std::int32_t GetId() const { return m_id; }
    const std::string& GetName() const { return m_name; }
    SymbolKind GetKind() const { return m_kind; }
    bool IsRequired() const { return m_required; }
    std::size_t GetOtlLength() const { return m_otlLength; }

private:
    std::int32_t m_id;
    std::string m_name;
    SymbolKind m_kind;
    bool m_required;
    std::size_t m_otlLength;
};

typedef boost::shared_ptr<const CSymbolDescriptor> CSymbolDescriptorPtr;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
