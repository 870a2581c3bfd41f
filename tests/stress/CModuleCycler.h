#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <Poco/ClassLoader.h>

#include "contracts/kernel/IModule.h"
#include "framework/module/CSubscriber.h"
#include "tests/kernel/CTestBus.h"
#include "tests/stress/CMessageLedger.h"

namespace Kol {
namespace Testing {

// Drives generations of the real module the way a kernel may: creates one
// from the plug-in, initialises and starts it, stops it gracefully and starts
// it again a number of times, then hands over to a successor and stops it by
// force, starts it once more (which must start nothing) and deletes it.
// Producers ask for the current generation's subscriber, as the bus would
// deliver to it.
//
// Current may be called from any thread; everything else from one driving
// thread. Throws std::runtime_error when the module misbehaves (a forced
// stop returning false, no subscription).
class CModuleCycler {
public:
    struct Target {
        Common::Module::CSubscriberPtr subscriber;
        std::uint32_t generation = 0;
    };
    struct Counts {
        std::size_t generations = 0;
        std::size_t gracefulStops = 0;  // Stop(false) returned true
        std::size_t refusedStops = 0;   // Stop(false) returned false
        std::size_t forcedStops = 0;
    };

    // The loader must hold the plug-in; `provider` serves every generation,
    // `bus` is the bus inside it. At most `maxGenerations` are created. The
    // ledger hears of every forced stop and must outlive the cycler.
    CModuleCycler(Poco::ClassLoader<Common::Kernel::IModule>& loader,
                  const Common::Kernel::IResourceProviderPtr& provider, const CTestBusPtr& bus,
                  CMessageLedger& ledger, std::size_t maxGenerations);
    // Stops the current generation by force and deletes it.
    ~CModuleCycler();

    CModuleCycler(const CModuleCycler&) = delete;
    CModuleCycler& operator=(const CModuleCycler&) = delete;

    // Creates and starts the first generation.
    void Begin();
    Target Current() const;

    // `cycles` graceful stops, each after `pause`, each followed by a Start
    // when it succeeded; then a successor takes over and this generation is
    // stopped by force and deleted (unless the last generation is reached).
    void RunGeneration(std::size_t cycles, std::chrono::microseconds pause);

    // Waits, without calling Start, until the running generation has taken
    // every queued request (a lost wake-up would leave some), then stops it
    // gracefully. False if that did not happen within `bound`.
    bool Drain(std::chrono::milliseconds bound);

    // Every subscriber of every generation, for counting what stays queued.
    std::vector<Common::Module::CSubscriberPtr> GetSubscribers() const;
    Counts GetCounts() const;

private:
    std::unique_ptr<Common::Kernel::IModule> Create(Common::Module::CSubscriberPtr& subscriber);

    Poco::ClassLoader<Common::Kernel::IModule>& m_loader;
    const Common::Kernel::IResourceProviderPtr m_provider;
    const CTestBusPtr m_bus;
    CMessageLedger& m_ledger;
    const std::size_t m_maxGenerations;
    std::unique_ptr<Common::Kernel::IModule> m_module;          // driving thread only
    std::vector<Common::Module::CSubscriberPtr> m_subscribers;  // driving thread only
    Counts m_counts;                                            // driving thread only

    mutable std::mutex m_mutex;
    Target m_current;  // guarded by m_mutex
};

}  // namespace Testing
}  // namespace Kol
