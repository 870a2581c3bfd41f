#include "host/kernel/CHostIdGenerator.h"

namespace Kol {
namespace Host {

CHostIdGenerator::CHostIdGenerator() : m_next(1) {}

std::uint32_t CHostIdGenerator::GenerateId() {
    return m_next++;
}

}  // namespace Host
}  // namespace Kol
