#pragma once

#include <array>
#include <cstdint>

#include "contracts/kernel/IServerConfigurationResource.h"

namespace Kol {
namespace Host {

// The server configuration: five retention periods in days, one per retention
// class. Immutable, so thread-safe.
class CHostServerConfiguration : public Common::Kernel::IServerConfigurationResource {
public:
    explicit CHostServerConfiguration(const std::array<std::uint16_t, 5>& retentionDays);

    std::uint16_t GetRetentionDays1() const override;
    std::uint16_t GetRetentionDays2() const override;
    std::uint16_t GetRetentionDays3() const override;
    std::uint16_t GetRetentionDays4() const override;
    std::uint16_t GetRetentionDays5() const override;

private:
    const std::array<std::uint16_t, 5> m_days;
};

}  // namespace Host
}  // namespace Kol
