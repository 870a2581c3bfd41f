#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IInstallConfigurationResource.h"

namespace Kol {
namespace Testing {

// An installation whose UUID text and kind the test sets. Thread-safe.
class CTestInstallConfiguration : public Common::Kernel::IInstallConfigurationResource {
public:
    static const char* const kDefaultUuid;

    // Kind 1 (reports status events, backs up) and kDefaultUuid.
    CTestInstallConfiguration();
    ~CTestInstallConfiguration() override;

    CTestInstallConfiguration(const CTestInstallConfiguration&) = delete;
    CTestInstallConfiguration& operator=(const CTestInstallConfiguration&) = delete;

    std::string GetInstallationUuid() const override;
    std::int32_t GetInstallationKind() const override;

    void SetInstallationUuid(const std::string& uuid);
    void SetInstallationKind(std::int32_t kind);
    std::size_t GetKindQueries() const;

private:
    mutable std::mutex m_mutex;
    std::string m_uuid;                 // guarded by m_mutex
    std::int32_t m_kind;                // guarded by m_mutex
    mutable std::size_t m_kindQueries;  // guarded by m_mutex
};

typedef boost::shared_ptr<CTestInstallConfiguration> CTestInstallConfigurationPtr;

}  // namespace Testing
}  // namespace Kol
