#pragma once

#include <cstdint>

namespace Kol {
namespace Host {

// What marks a store as this program's on every backend: the SQLite file's
// PRAGMA application_id, and the application_id row of a server store's
// settings (in decimal). A backup of an SQLite store carries it in its header.
class CStoreIdentity {
public:
    static constexpr std::int32_t kApplicationId = 0x4B4F4C43;  // "KOLC"

    CStoreIdentity() = delete;
};

}  // namespace Host
}  // namespace Kol
