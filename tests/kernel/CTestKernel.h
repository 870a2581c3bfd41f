#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include <boost/make_shared.hpp>

#include "contracts/kernel/IConfigurationResource.h"
#include "contracts/kernel/IDatabaseResource.h"
#include "contracts/kernel/IIdGeneratorResource.h"
#include "contracts/kernel/IInstallConfigurationResource.h"
#include "contracts/kernel/IResourceProvider.h"
#include "contracts/kernel/IServerConfigurationResource.h"
#include "contracts/message/CCleanupLogs.h"
#include "tests/kernel/CRecordingMapper.h"
#include "tests/kernel/CTestBus.h"
#include "tests/kernel/CTestLogger.h"

namespace Kol::Testing {

// A complete recording kernel: every resource a module asks for, present,
// with the configuration (11) being a server configuration and the database
// handing out one recording mapper under ids 21, 22, 361 and 365. Tests change
// or withhold pieces through the members. The resources are thread-safe.
class CTestKernel {
public:
    // Hands out 1, 2, 3, ...
    class CIdGenerator : public Common::Kernel::IIdGeneratorResource {
    public:
        std::uint32_t GenerateId() override { return m_next++; }

    private:
        std::atomic<std::uint32_t> m_next{1};
    };

    // Installation kInstallationUuid of a settable kind, 1 at first.
    class CInstallConfiguration : public Common::Kernel::IInstallConfigurationResource {
    public:
        static constexpr const char* kInstallationUuid = "0a1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9";
        std::string GetInstallationUuid() const override { return kInstallationUuid; }
        std::int32_t GetInstallationKind() const override { return kind; }
        std::atomic<std::int32_t> kind{1};
    };

    // Five retention periods, 1, 7, 30, 90 and 365 days at first; set them
    // before a module reads them.
    class CServerConfiguration : public Common::Kernel::IServerConfigurationResource {
    public:
        std::array<std::uint16_t, 5> days{{1, 7, 30, 90, 365}};
        std::uint16_t GetRetentionDays1() const override { return days[0]; }
        std::uint16_t GetRetentionDays2() const override { return days[1]; }
        std::uint16_t GetRetentionDays3() const override { return days[2]; }
        std::uint16_t GetRetentionDays4() const override { return days[3]; }
        std::uint16_t GetRetentionDays5() const override { return days[4]; }
    };

    // Hands out what it was given by key, except withheld keys; records every
    // requested key.
    template <typename Value>
    class CTable {
    public:
        Value Take(std::int32_t key) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(key);
            const auto withheld = m_servedBeforeWithheld.find(key);
            if (withheld != m_servedBeforeWithheld.end()) {
                if (withheld->second == 0) {
                    return Value();
                }
                --withheld->second;
            }
            return m_values[key];
        }
        // An empty `value` removes the key.
        void Set(std::int32_t key, const Value& value) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_values[key] = value;
        }
        // After the next `servedFirst` requests `key` is no longer handed out.
        void Withhold(std::int32_t key, std::size_t servedFirst = 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_servedBeforeWithheld[key] = servedFirst;
        }
        std::vector<std::int32_t> Requests() const {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_requests;
        }

    private:
        mutable std::mutex m_mutex;
        std::map<std::int32_t, Value> m_values;                      // guarded by m_mutex
        std::map<std::int32_t, std::size_t> m_servedBeforeWithheld;  // guarded by m_mutex
        std::vector<std::int32_t> m_requests;                        // guarded by m_mutex
    };
    class CDatabase : public Common::Kernel::IDatabaseResource,
                      public CTable<Common::Database::IMapperPtr> {
    public:
        Common::Database::IMapperPtr GetMapper(std::int32_t id) override { return Take(id); }
    };
    class CProvider : public Common::Kernel::IResourceProvider,
                      public CTable<Common::Kernel::IResourcePtr> {
    public:
        Common::Kernel::IResourcePtr GetResource(std::int32_t type) override { return Take(type); }
    };

    CTestKernel() {
        using namespace Common;
        for (const std::int32_t id :
             {Database::MapperIdCleanup, Database::MapperIdStaticObjects,
              Database::MapperIdComputerEnrollment, Database::MapperIdBackup}) {
            database->Set(id, mapper);
        }
        provider->Set(Kernel::ResourceTypeBus, bus);
        provider->Set(Kernel::ResourceTypeInstallConfiguration, installConfiguration);
        provider->Set(Kernel::ResourceTypeLogger, logger);
        provider->Set(Kernel::ResourceTypeIdGenerator, boost::make_shared<CIdGenerator>());
        provider->Set(Kernel::ResourceTypeDatabase, database);
        provider->Set(Kernel::ResourceTypeConfiguration, serverConfiguration);
    }

    CTestKernel(const CTestKernel&) = delete;
    CTestKernel& operator=(const CTestKernel&) = delete;

    const CTestLoggerPtr logger = boost::make_shared<CTestLogger>();
    const CTestBusPtr bus = boost::make_shared<CTestBus>();
    const boost::shared_ptr<CInstallConfiguration> installConfiguration =
        boost::make_shared<CInstallConfiguration>();
    const boost::shared_ptr<CServerConfiguration> serverConfiguration =
        boost::make_shared<CServerConfiguration>();
    const boost::shared_ptr<CDatabase> database = boost::make_shared<CDatabase>();
    const CRecordingMapperPtr mapper = boost::make_shared<CRecordingMapper>();
    const boost::shared_ptr<CProvider> provider = boost::make_shared<CProvider>();
};

// A frozen cleanup request with three test UUIDs and `operations`.
inline Common::Message::Cleanup::CCleanupLogsPtr MakeCleanupRequest(
    const std::vector<std::int32_t>& operations = {}) {
    typedef Common::Message::Cleanup::CCleanupLogs CCleanupLogs;
    const boost::shared_ptr<CCleanupLogs> request = boost::make_shared<CCleanupLogs>();
    CCleanupLogs::Uuid uuid;
    uuid.set_uuid("11111111-1111-4111-8111-111111111111");
    request->SetFirstRequestUuid(uuid);
    uuid.set_uuid("22222222-2222-4222-8222-222222222222");
    request->SetSecondRequestUuid(uuid);
    uuid.set_uuid("33333333-3333-4333-8333-333333333333");
    request->SetThirdRequestUuid(uuid);
    request->SetOperations(operations);
    request->SetReadOnly();
    return request;
}

}  // namespace Kol::Testing
