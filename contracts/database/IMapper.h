#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

namespace Kol {
namespace Common {
namespace Database {

// Mapper ids that the cleanup module asks the database resource for.
enum MapperId : std::int32_t {
    MapperIdCleanup = 21,
    MapperIdStaticObjects = 22,
    MapperIdComputerEnrollment = 361,
    MapperIdBackup = 365,
};

// Base of every database mapper. Mapper interfaces derive from it virtually so
// that one object may implement several of them behind a single IMapper.
class IMapper {
public:
    virtual ~IMapper();
};

typedef boost::shared_ptr<IMapper> IMapperPtr;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
