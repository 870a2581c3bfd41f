#pragma once

#include <string>

#include "contracts/kernel/IResourceProvider.h"

namespace Kol {
namespace Common {
namespace Kernel {

// An agent module as the kernel drives it: Initialize, Start, later
// RequestStop and Stop, then delete through the virtual destructor. The kernel
// calls these from its own threads, one at a time.
class IModule {
public:
    virtual ~IModule();

    // Takes the module's resources from `provider`. Throws std::runtime_error
    // naming the first required resource that is missing.
    virtual void Initialize(const IResourceProviderPtr& provider) = 0;

    // Lets the module process messages.
    virtual void Start() = 0;

    // Tells the module that a Stop will follow.
    virtual void RequestStop() = 0;

    // Stops the module's threads. With `force` false it succeeds only when the
    // module is idle and returns false otherwise (the module keeps running).
    // With `force` true it interrupts and joins, and returns true.
    virtual bool Stop(bool force) = 0;

    // The module's name, used in every log line it writes.
    virtual std::string GetName() const = 0;
};

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
