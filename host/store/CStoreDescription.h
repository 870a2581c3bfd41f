#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <boost/optional.hpp>

namespace Kol {
namespace Host {

// What a store can tell of itself cheaply, for the store report
// (IStoreMaintenance::Describe): its kind and size, and the facts only one
// backend has (none where the other backend has no such thing).
struct CStoreDescription {
    std::string kind;  // "sqlite" or "postgresql"
    std::int64_t schemaVersion = 0;
    std::int64_t bytes = 0;  // IStoreMaintenance::StoreBytes
    // SQLite: the write-ahead log's bytes, the free pages' bytes inside the
    // file, the auto-vacuum mode ("none", "full", "incremental").
    boost::optional<std::int64_t> logBytes;
    boost::optional<std::int64_t> freeBytes;
    boost::optional<std::string> autoVacuum;
    // PostgreSQL: the logs' two-week partitions (defaults left out), the rows
    // in the default partitions, and each class's bytes (index: class - 1).
    boost::optional<std::int64_t> logPartitions;
    boost::optional<std::int64_t> defaultPartitionRows;
    std::array<boost::optional<std::int64_t>, 5> classBytes;
};

}  // namespace Host
}  // namespace Kol
