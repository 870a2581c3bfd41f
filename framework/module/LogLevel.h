#pragma once

#include <cstdint>

namespace Kol {
namespace Common {
namespace Module {

// Severity of a log line; a higher number is more severe.
enum LogLevel : std::int32_t {
    Debug = 1,
    Information = 2,
    Warning = 3,
    Error = 4,
};

}  // namespace Module
}  // namespace Common
}  // namespace Kol
