#include "host/kernel/CHostServerConfiguration.h"

namespace Kol {
namespace Host {

CHostServerConfiguration::CHostServerConfiguration(
    const std::array<std::uint16_t, 5>& retentionDays)
    : m_days(retentionDays) {}

std::uint16_t CHostServerConfiguration::GetRetentionDays1() const {
    return m_days[0];
}

std::uint16_t CHostServerConfiguration::GetRetentionDays2() const {
    return m_days[1];
}

std::uint16_t CHostServerConfiguration::GetRetentionDays3() const {
    return m_days[2];
}

std::uint16_t CHostServerConfiguration::GetRetentionDays4() const {
    return m_days[3];
}

std::uint16_t CHostServerConfiguration::GetRetentionDays5() const {
    return m_days[4];
}

}  // namespace Host
}  // namespace Kol
