// Messages per second from OnMessage to a trivial handler through the
// module's real subscriber, processing thread and dispatch, beside a bare
// mutex + condition variable + list hand-off of the same pairs.

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "contracts/kernel/IBusResource.h"
#include "contracts/kernel/IConfigurationResource.h"
#include "contracts/kernel/IIdGeneratorResource.h"
#include "contracts/kernel/IInstallConfigurationResource.h"
#include "contracts/kernel/ILoggerResource.h"
#include "contracts/kernel/IResourceProvider.h"
#include "framework/module/CCommonModule.h"
#include "framework/module/CFunctionCallMessageProcessor.h"
#include "framework/module/CMessageProcessorThreadHolder.h"
#include "framework/module/CProcedureCall.h"
#include "framework/security/CUserContext.h"

namespace {

using namespace Kol::Common;

typedef std::pair<Kernel::IMessagePtr, Kernel::ISubscriber::UserContextPtr> Pair;

const std::int64_t kPairs = 100000;

class CBenchMessage : public Kernel::IMessage {
public:
    Kernel::MessageType GetType() const override { return Kernel::MessageTypeCleanupLogs; }
    std::string GetName() const override { return "Bench"; }
    bool Equals(const Kernel::IMessage& other) const override { return &other == this; }
};

// The same pairs for both hand-offs: distinct messages, a few senders.
const std::vector<Pair>& Pairs() {
    static const std::vector<Pair> pairs = [] {
        std::vector<Kernel::ISubscriber::UserContextPtr> senders;
        for (int i = 0; i < 4; ++i) {
            senders.push_back(boost::make_shared<Security::CUserContext>());
        }
        std::vector<Pair> made;
        for (std::int64_t i = 0; i < kPairs; ++i) {
            made.emplace_back(boost::make_shared<CBenchMessage>(), senders[i % senders.size()]);
        }
        return made;
    }();
    return pairs;
}

// Counts handled messages and wakes the producer once all have arrived.
class CCompletion {
public:
    void Expect(std::int64_t count) {
        boost::lock_guard<boost::mutex> lock(m_mutex);
        m_done = false;
        m_target = m_count.load() + count;
    }
    void Handled() {
        if (++m_count == m_target) {
            boost::lock_guard<boost::mutex> lock(m_mutex);
            m_done = true;
            m_changed.notify_all();
        }
    }
    void Wait() {
        boost::unique_lock<boost::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_done; });
    }

private:
    boost::mutex m_mutex;
    boost::condition_variable m_changed;
    bool m_done = false;
    std::atomic<std::int64_t> m_count{0};
    std::atomic<std::int64_t> m_target{0};
};

// --- The smallest kernel a module initialises with. ---
class CBus : public Kernel::IBusResource {
public:
    bool Send(const Kernel::IMessagePtr&, const Kernel::ISubscriber::UserContextPtr&) override {
        return true;
    }
    void Subscribe(const Kernel::ISubscriberPtr& subscriber, Kernel::MessageType) override {
        this->subscriber = subscriber;
    }
    Kernel::ISubscriberPtr subscriber;
};
class CLogger : public Kernel::ILoggerResource {
public:
    void SetLogLevel(std::int32_t) override {}
    void Log(const std::string&, std::int32_t, const std::string&) override {}
    void Flush() override {}
    std::int32_t GetLogLevel() const override { return 4; }
};
class CIdGenerator : public Kernel::IIdGeneratorResource {
public:
    std::uint32_t GenerateId() override { return 1; }
};
class CInstallConfiguration : public Kernel::IInstallConfigurationResource {
public:
    std::string GetInstallationUuid() const override { return ""; }
    std::int32_t GetInstallationKind() const override { return 1; }
};
class CConfiguration : public Kernel::IConfigurationResource {};
class CProvider : public Kernel::IResourceProvider {
public:
    Kernel::IResourcePtr GetResource(std::int32_t type) override { return resources[type]; }
    std::map<std::int32_t, Kernel::IResourcePtr> resources;
};

// A module with one trivial handler for type 2.
class CBenchModule : public Module::CCommonModule {
public:
    explicit CBenchModule(CCompletion& completion)
        : CCommonModule("Bench"), m_completion(completion) {}
    void Handle(const Kernel::IMessagePtr&) { m_completion.Handled(); }

protected:
    void OnInitialize(const Kernel::IResourceProviderPtr&) override {
        const auto processor = boost::make_shared<Module::CFunctionCallMessageProcessor>();
        processor->RegisterFunctionCall(
            Kernel::MessageTypeCleanupLogs,
            boost::make_shared<Module::CProcedureCall<CBenchModule, CBenchMessage>>(
                this, &CBenchModule::Handle));
        SubscribeMessageTypes(processor->GetMessageTypes(), processor);
    }

private:
    CCompletion& m_completion;
};

void ModuleHandOff(benchmark::State& state) {
    const std::vector<Pair>& pairs = Pairs();
    CCompletion completion;
    const auto bus = boost::make_shared<CBus>();
    const auto provider = boost::make_shared<CProvider>();
    provider->resources[Kernel::ResourceTypeBus] = bus;
    provider->resources[Kernel::ResourceTypeLogger] = boost::make_shared<CLogger>();
    provider->resources[Kernel::ResourceTypeIdGenerator] = boost::make_shared<CIdGenerator>();
    provider->resources[Kernel::ResourceTypeInstallConfiguration] =
        boost::make_shared<CInstallConfiguration>();
    provider->resources[Kernel::ResourceTypeConfiguration] = boost::make_shared<CConfiguration>();
    CBenchModule module(completion);
    module.Initialize(provider);
    module.Start();
    Kernel::ISubscriber& subscriber = *bus->subscriber;

    for (auto _ : state) {
        completion.Expect(static_cast<std::int64_t>(pairs.size()));
        for (const Pair& pair : pairs) {
            subscriber.OnMessage(pair.first, pair.second);
        }
        completion.Wait();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
    module.Stop(true);
}

void BareHandOff(benchmark::State& state) {
    const std::vector<Pair>& pairs = Pairs();
    CCompletion completion;
    boost::mutex mutex;
    boost::condition_variable wakeUp;
    std::list<Pair> queue;
    bool stop = false;
    boost::thread consumer([&] {
        boost::unique_lock<boost::mutex> lock(mutex);
        for (;;) {
            while (queue.empty() && !stop) {
                wakeUp.wait(lock);
            }
            if (queue.empty()) {
                return;
            }
            Pair pair = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            benchmark::DoNotOptimize(pair.first.get());
            completion.Handled();
            lock.lock();
        }
    });

    for (auto _ : state) {
        completion.Expect(static_cast<std::int64_t>(pairs.size()));
        for (const Pair& pair : pairs) {
            boost::lock_guard<boost::mutex> lock(mutex);
            queue.push_back(pair);
            wakeUp.notify_one();
        }
        completion.Wait();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
    {
        boost::lock_guard<boost::mutex> lock(mutex);
        stop = true;
        wakeUp.notify_one();
    }
    consumer.join();
}

BENCHMARK(BareHandOff)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ModuleHandOff)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
