#pragma once

#include <atomic>
#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IIdGeneratorResource.h"

namespace Kol {
namespace Testing {

// Hands out 1, 2, 3, ... Thread-safe.
class CTestIdGenerator : public Common::Kernel::IIdGeneratorResource {
public:
    CTestIdGenerator();
    ~CTestIdGenerator() override;

    CTestIdGenerator(const CTestIdGenerator&) = delete;
    CTestIdGenerator& operator=(const CTestIdGenerator&) = delete;

    std::uint32_t GenerateId() override;

private:
    std::atomic<std::uint32_t> m_next;
};

typedef boost::shared_ptr<CTestIdGenerator> CTestIdGeneratorPtr;

}  // namespace Testing
}  // namespace Kol
