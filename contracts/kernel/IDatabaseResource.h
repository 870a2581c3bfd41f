#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "contracts/database/IMapper.h"
#include "contracts/kernel/IResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

// The agent's local database (resource type 6), reached through mappers.
class IDatabaseResource : public IResource {
public:
    ~IDatabaseResource() override;

    // Returns the mapper registered under `id` (see Database::MapperId), or an
    // empty handle. The caller casts it to the interface it needs; a mapper may
    // implement several. Thread-safe.
    virtual Database::IMapperPtr GetMapper(std::int32_t id) = 0;
};

typedef boost::shared_ptr<IDatabaseResource> IDatabaseResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
