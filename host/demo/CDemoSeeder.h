#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <boost/function.hpp>

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

// Fills a store with a realistic synthetic data set: logs of every retention
// class and flag (each present from 1,000 logs on) with ages spread over two
// years (appended in time order, as
// an agent writes them), owners with some of them gone, log blobs with some
// orphans, enrolment tombstones of the last 30 days and static objects, some
// marked deleted. New rows get ids after the present ones; the same seed
// gives the same data.
//
// Runs on the calling thread; throws std::runtime_error on a database failure
// (the transactions already committed stay).
class CDemoSeeder {
public:
    struct Counts {
        std::uint64_t logs = 0;
        std::uint64_t owners = 0;
        std::uint64_t blobs = 0;
        std::uint64_t orphanBlobs = 0;
        std::uint64_t tombstones = 0;
        std::uint64_t staticObjects = 0;
    };

    // Returns true when seeding should stop early.
    typedef boost::function<bool()> StopCheck;

    CDemoSeeder(IStore& store, std::uint64_t randomSeed);

    CDemoSeeder(const CDemoSeeder&) = delete;
    CDemoSeeder& operator=(const CDemoSeeder&) = delete;

    // Appends about `rows` logs (a few ids are left out, as if deleted before,
    // for the orphan blobs to name) and the rows that go with them. `now` is
    // in Unix seconds. Commits every 20,000 logs; between two commits `stop`
    // is asked and, when it says so, seeding ends there.
    Counts Seed(std::uint64_t rows, std::int64_t now, const StopCheck& stop = StopCheck());

private:
    struct Plan {
        std::uint64_t rows = 0;
        std::int64_t now = 0;
        std::int64_t firstLog = 0;
        std::int64_t firstOwner = 0;
        std::int64_t firstObject = 0;
        std::uint64_t owners = 0;  // owner ids used, the gone ones included
    };

    void SeedOwners(const Plan& plan, Counts& counts);
    // False when `stop` ended it; the ids left out go to `gaps`.
    bool SeedLogs(const Plan& plan, const StopCheck& stop, Counts& counts,
                  std::vector<std::int64_t>& gaps);
    // Orphan blobs for the gaps, enrolment tombstones and static objects.
    void SeedTheRest(const Plan& plan, const std::vector<std::int64_t>& gaps, Counts& counts);
    typedef IStore::Value Value;
    void WriteAll(const std::string& table, const std::vector<std::string>& columns,
                  const std::vector<std::vector<Value>>& rows);
    std::string RandomBytes(std::size_t minimum, std::size_t maximum);
    std::string RandomUuid();
    std::uint64_t Below(std::uint64_t bound) { return m_random() % bound; }

    IStore& m_store;
    std::mt19937_64 m_random;
};

}  // namespace Host
}  // namespace Kol
