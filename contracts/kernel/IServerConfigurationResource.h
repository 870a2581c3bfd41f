#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IConfigurationResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

// A server agent's configuration: the five log retention periods, in whole
// days, one per retention class. Thread-safe.
class IServerConfigurationResource : public IConfigurationResource {
public:
    ~IServerConfigurationResource() override;

    virtual std::uint16_t GetRetentionDays1() const = 0;
    virtual std::uint16_t GetRetentionDays2() const = 0;
    virtual std::uint16_t GetRetentionDays3() const = 0;
    virtual std::uint16_t GetRetentionDays4() const = 0;
    virtual std::uint16_t GetRetentionDays5() const = 0;
};

typedef boost::shared_ptr<IServerConfigurationResource> IServerConfigurationResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
