#pragma once

#include <atomic>
#include <cstdint>

#include "contracts/kernel/IIdGeneratorResource.h"

namespace Kol {
namespace Host {

// Hands out 1, 2, 3, ... Thread-safe.
class CHostIdGenerator : public Common::Kernel::IIdGeneratorResource {
public:
    CHostIdGenerator();

    std::uint32_t GenerateId() override;

private:
    std::atomic<std::uint32_t> m_next;
};

}  // namespace Host
}  // namespace Kol
