#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IDatabaseResource.h"

namespace Kol {
namespace Testing {

// A database resource that hands out the mappers it was given, by id, and
// records every GetMapper call in order. Thread-safe.
class CTestDatabase : public Common::Kernel::IDatabaseResource {
public:
    CTestDatabase();
    ~CTestDatabase() override;

    CTestDatabase(const CTestDatabase&) = delete;
    CTestDatabase& operator=(const CTestDatabase&) = delete;

    // Records `id`; returns its mapper or an empty handle.
    Common::Database::IMapperPtr GetMapper(std::int32_t id) override;

    void SetMapper(std::int32_t id, const Common::Database::IMapperPtr& mapper);
    void RemoveMapper(std::int32_t id);
    std::vector<std::int32_t> GetRequestedIds() const;
    void ClearRequests();

private:
    mutable std::mutex m_mutex;
    std::map<std::int32_t, Common::Database::IMapperPtr> m_mappers;  // guarded by m_mutex
    std::vector<std::int32_t> m_requests;                            // guarded by m_mutex
};

typedef boost::shared_ptr<CTestDatabase> CTestDatabasePtr;

}  // namespace Testing
}  // namespace Kol
