#include "tests/kernel/CTestIdGenerator.h"

namespace Kol {
namespace Testing {

CTestIdGenerator::CTestIdGenerator() : m_next(1) {}

CTestIdGenerator::~CTestIdGenerator() = default;

std::uint32_t CTestIdGenerator::GenerateId() {
    return m_next++;
}

}  // namespace Testing
}  // namespace Kol
