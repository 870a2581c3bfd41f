#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

// The kernel's logger (resource type 3). Every operation may be called from
// several threads at once. Levels: 1 Debug, 2 Information, 3 Warning, 4 Error.
class ILoggerResource : public IResource {
public:
    ~ILoggerResource() override;

    // Changes the threshold returned by GetLogLevel.
    virtual void SetLogLevel(std::int32_t level) = 0;

    // Writes one record. The logger adds time, thread and prefix itself; `text`
    // is the whole line as the module built it. Must not throw.
    virtual void Log(const std::string& text, std::int32_t level,
                     const std::string& moduleName) = 0;

    // Pushes buffered records to their destination.
    virtual void Flush() = 0;

    // The threshold: records at or above it are wanted.
    virtual std::int32_t GetLogLevel() const = 0;
};

typedef boost::shared_ptr<ILoggerResource> ILoggerResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
