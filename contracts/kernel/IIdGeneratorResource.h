#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

// Hands out request identifiers (resource type 4). Thread-safe.
class IIdGeneratorResource : public IResource {
public:
    ~IIdGeneratorResource() override;

    // Returns an identifier not handed out before in this process.
    virtual std::uint32_t GenerateId() = 0;
};

typedef boost::shared_ptr<IIdGeneratorResource> IIdGeneratorResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
