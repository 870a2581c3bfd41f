#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/datadefinition/Logs.pb.h"

namespace Kol {
namespace Common {
namespace Logs {

// An object that can hand out its content as a protobuf LogSymbolContainer.
class IProtobufGetter {
public:
    virtual ~IProtobufGetter();

    // Returns a new message owned by the returned pointer.
    virtual boost::shared_ptr<DataDefinition::Logs::LogSymbolContainer> GetProtobuf() const = 0;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
