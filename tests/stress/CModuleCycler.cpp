#include "tests/stress/CModuleCycler.h"

#include <stdexcept>
#include <thread>

#include <boost/pointer_cast.hpp>

#include "contracts/kernel/MessageType.h"

namespace Kol {
namespace Testing {

namespace {

const char* const kClassName = "Kol::Cleanup::Agent::CCleanupModule";

}  // namespace

CModuleCycler::CModuleCycler(Poco::ClassLoader<Common::Kernel::IModule>& loader,
                             const Common::Kernel::IResourceProviderPtr& provider,
                             const CTestBusPtr& bus, CMessageLedger& ledger,
                             std::size_t maxGenerations)
    : m_loader(loader),
      m_provider(provider),
      m_bus(bus),
      m_ledger(ledger),
      m_maxGenerations(maxGenerations) {}

CModuleCycler::~CModuleCycler() {
    if (m_module) {
        m_module->Stop(true);
        m_module.reset();
    }
}

std::unique_ptr<Common::Kernel::IModule> CModuleCycler::Create(
    Common::Module::CSubscriberPtr& subscriber) {
    std::unique_ptr<Common::Kernel::IModule> module(m_loader.create(kClassName));
    const std::size_t before = m_bus->Subscriptions().size();
    module->Initialize(m_provider);
    const auto subscriptions = m_bus->Subscriptions();
    if (subscriptions.size() != before + 1 ||
        subscriptions.back().second != Common::Kernel::MessageTypeCleanupLogs) {
        throw std::runtime_error("a new module did not subscribe to cleanup requests once");
    }
    subscriber =
        boost::dynamic_pointer_cast<Common::Module::CSubscriber>(subscriptions.back().first);
    if (!subscriber) {
        throw std::runtime_error("the module's subscriber is not a CSubscriber");
    }
    module->Start();
    ++m_counts.generations;
    return module;
}

void CModuleCycler::Begin() {
    Common::Module::CSubscriberPtr subscriber;
    m_module = Create(subscriber);
    m_subscribers.push_back(subscriber);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_current.subscriber = subscriber;
    m_current.generation = 0;
}

CModuleCycler::Target CModuleCycler::Current() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current;
}

void CModuleCycler::RunGeneration(std::size_t cycles, std::chrono::microseconds pause) {
    for (std::size_t i = 0; i < cycles; ++i) {
        std::this_thread::sleep_for(pause);
        if (m_module->Stop(false)) {
            ++m_counts.gracefulStops;
            // Messages arriving now wait for the next Start.
            std::this_thread::sleep_for(pause / 4);
            m_module->Start();
        } else {
            ++m_counts.refusedStops;
        }
    }
    if (m_counts.generations >= m_maxGenerations) {
        return;
    }
    Common::Module::CSubscriberPtr subscriber;
    std::unique_ptr<Common::Kernel::IModule> successor = Create(subscriber);
    m_subscribers.push_back(subscriber);
    std::uint32_t stopping = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_current.subscriber = subscriber;
        stopping = m_current.generation++;
    }
    // Producers that picked the old subscriber a moment ago still deliver to
    // it; those messages stay queued there.
    if (!m_module->Stop(true)) {
        throw std::runtime_error("a forced Stop returned false");
    }
    ++m_counts.forcedStops;
    m_ledger.NoteStopped(stopping);
    // After a forced stop no thread starts again, whatever arrives.
    m_module->Start();
    m_module = std::move(successor);
}

bool CModuleCycler::Drain(std::chrono::milliseconds bound) {
    const Common::Module::CSubscriberPtr subscriber = Current().subscriber;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
        if (subscriber->GetQueueSize() == 0) {
            // Empty, but the last request may still be in its handler.
            if (m_module->Stop(false)) {
                ++m_counts.gracefulStops;
                return true;
            }
            ++m_counts.refusedStops;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<Common::Module::CSubscriberPtr> CModuleCycler::GetSubscribers() const {
    return m_subscribers;
}

CModuleCycler::Counts CModuleCycler::GetCounts() const {
    return m_counts;
}

}  // namespace Testing
}  // namespace Kol
