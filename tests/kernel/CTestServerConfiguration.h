#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IServerConfigurationResource.h"

namespace Kol {
namespace Testing {

// A server configuration with five settable retention periods that records
// which of GetRetentionDays1..5 were asked, in order (as 1..5). Thread-safe.
class CTestServerConfiguration : public Common::Kernel::IServerConfigurationResource {
public:
    typedef std::array<std::uint16_t, 5> RetentionDays;

    // Periods 1, 7, 30, 90 and 365 days.
    CTestServerConfiguration();
    explicit CTestServerConfiguration(const RetentionDays& days);
    ~CTestServerConfiguration() override;

    CTestServerConfiguration(const CTestServerConfiguration&) = delete;
    CTestServerConfiguration& operator=(const CTestServerConfiguration&) = delete;

    std::uint16_t GetRetentionDays1() const override { return Query(1); }
    std::uint16_t GetRetentionDays2() const override { return Query(2); }
    std::uint16_t GetRetentionDays3() const override { return Query(3); }
    std::uint16_t GetRetentionDays4() const override { return Query(4); }
    std::uint16_t GetRetentionDays5() const override { return Query(5); }

    void SetRetentionDays(const RetentionDays& days);
    std::vector<int> GetQueries() const;
    void ClearQueries();

private:
    std::uint16_t Query(int period) const;

    mutable std::mutex m_mutex;
    RetentionDays m_days;                // guarded by m_mutex
    mutable std::vector<int> m_queries;  // guarded by m_mutex
};

typedef boost::shared_ptr<CTestServerConfiguration> CTestServerConfigurationPtr;

}  // namespace Testing
}  // namespace Kol
