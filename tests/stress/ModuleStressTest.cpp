// 8 producers send cleanup requests into the real module (loaded from the
// plug-in) while another thread cycles Start, graceful Stop and forced Stop
// over generations of it. At the end every request was handled exactly once
// or is still queued, in order, one at a time per module.
//
// CLEANUP_STRESS_MESSAGES sets the requests per producer (default 100000);
// the sanitizer runs lower it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include <Poco/ClassLoader.h>
#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include "contracts/database/ICleanupStaticObjectsMapper.h"
#include "contracts/kernel/IModule.h"
#include "contracts/kernel/MessageType.h"
#include "framework/module/CSubscriber.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CTestUser.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Testing {
namespace {

using Common::Kernel::IModule;
using Common::Module::CSubscriberPtr;

const std::size_t kProducers = 8;
const std::size_t kMaxGenerations = 400;
// A producer waits while the current queue is this long, so that a forced
// stop strands a bounded number of requests and memory stays small.
const std::uint64_t kHighWater = 1000;
const std::size_t kBurst = 500;  // requests between a producer's short pauses
const std::chrono::milliseconds kBound(120000);

std::size_t MessagesPerProducer() {
    const char* const text = std::getenv("CLEANUP_STRESS_MESSAGES");
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? static_cast<std::size_t>(value) : 100000;
}

// The number of the stress message whose sender `context` holds, or -1. The
// processing thread adopts the sender's context while it handles a message,
// so the logger and the mapper learn which message is being handled.
std::int64_t MessageOf(const Common::Security::CUserContextPtr& context) {
    const auto user = context ? boost::dynamic_pointer_cast<CTestUser>(context->GetUser())
                              : boost::shared_ptr<CTestUser>();
    return user ? user->number : -1;
}

// What happened to each message, numbered producer * perProducer + sequence:
// the generation it was sent to, how often it was handled (its re-scheduling
// line) and in which order, whether the handler reached the mapper or stopped
// at the interruption check, and whether it was found queued at the end. It
// is the modules' logger and static objects mapper, so it books those under
// the message being handled; the lines a module writes outside requests are
// counted, any other line is an anomaly. Also watches that one module never
// runs two handlers at once, nor any after its forced stop. Thread-safe;
// Verify once every thread has finished.
class CLedger : public Common::Kernel::ILoggerResource,
                public Common::Database::ICleanupStaticObjectsMapper {
public:
    CLedger(std::size_t perProducer, std::size_t generations)
        : m_perProducer(perProducer),
          m_messages(kProducers * perProducer),
          m_generations(generations) {}

    struct Message {
        std::atomic<std::uint32_t> generation;
        std::atomic<std::uint64_t> handledOrder;  // 0: not handled
        std::atomic<std::uint8_t> handled, mapperCalls, interrupted, queued;
    };
    struct Generation {
        std::atomic<std::int32_t> inMapper;
        std::atomic<std::uint8_t> stopped;
    };

    // The message, or nullptr after an anomaly for a number out of range.
    Message* Find(std::int64_t number, const std::string& what) {
        if (number >= 0 && static_cast<std::size_t>(number) < m_messages.size()) {
            return &m_messages[static_cast<std::size_t>(number)];
        }
        NoteAnomaly(what + " outside a stress request (" + std::to_string(number) + ")");
        return nullptr;
    }
    // The message being handled on this thread, or nullptr after an anomaly.
    Message* Current(const std::string& what) {
        return Find(MessageOf(Common::Security::GetCurrentUserContext()), what);
    }
    Generation& GenerationOf(const Message& message) {
        return m_generations[std::min<std::size_t>(message.generation, m_generations.size() - 1)];
    }
    void NoteStopped(std::uint32_t generation) { m_generations.at(generation).stopped = 1; }
    // Anything that must not happen; the first 20 are kept for the report.
    void NoteAnomaly(const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_anomalyCount++ < 20) {
            m_anomalies.push_back(text);
        }
    }

    void SetLogLevel(std::int32_t) override {}
    std::int32_t GetLogLevel() const override { return 1; }
    void Flush() override {}
    void Log(const std::string& text, std::int32_t level, const std::string& module) override {
        const std::string where = " (level " + std::to_string(level) + ", " + module + ")";
        const bool rescheduled =
            text == "Failed to re-schedule a cleanup: operation {STATIC_OBJECTS} is not registered";
        const bool interrupted = text == "The module is stopping. Cleanup process interrupted.";
        unsigned long long left = 0;
        if (module != "CCleanupModule") {
            NoteAnomaly("line from another module: " + text + where);
        } else if (rescheduled || interrupted) {
            Message* const message = Current(text + where);
            if (message && level != (rescheduled ? 2 : 3)) {
                NoteAnomaly("wrong level: " + text + where);
            } else if (message && rescheduled) {
                ++message->handled;
                message->handledOrder = m_nextOrder++;
                if (GenerationOf(*message).stopped) {
                    NoteAnomaly("generation " + std::to_string(message->generation) +
                                " handled a request after its forced stop");
                }
            } else if (message) {
                ++message->interrupted;
            }
        } else if (level == 2 &&
                   (text == "Initiating static objects cleanup" ||
                    text == "Finished static objects cleanup" || text == "Module initialized")) {
        } else if (level == 1 && std::sscanf(text.c_str(), "There were %llu", &left) == 1 &&
                   text == "There were " + std::to_string(left) +
                               " messages left unprocessed in a queue") {
            leftMessages += left;
        } else {
            NoteAnomaly("unexpected line: " + text + where);
        }
    }

    void Cleanup() override {
        Message* const message = Current("static objects mapper called");
        if (message) {
            ++message->mapperCalls;
            if (GenerationOf(*message).inMapper++ != 0) {
                NoteAnomaly("module generation " + std::to_string(message->generation) +
                            " ran two handlers at once");
            }
            // Widens the window in which a second handler would be caught.
            std::this_thread::yield();
            --GenerationOf(*message).inMapper;
        }
    }

    // The broken rules, as anomalies (the first 20 shown): each message
    // handled exactly once or still queued, never both; a handled message
    // reached the mapper or was interrupted, exactly one of the two; per
    // producer and generation the handled messages are a prefix, handled in
    // sending order.
    std::string Verify() {
        for (std::size_t i = 0; i < m_messages.size(); ++i) {
            const Message& m = m_messages[i];
            if (m.handled + m.queued != 1 || m.mapperCalls + m.interrupted != m.handled) {
                NoteAnomaly("message " + std::to_string(i) + ": handled " +
                            std::to_string(m.handled) + ", queued " + std::to_string(m.queued) +
                            ", reached the mapper " + std::to_string(m.mapperCalls) +
                            ", interrupted " + std::to_string(m.interrupted) + " times");
            }
        }
        // Per producer and generation: one queue, first in first out.
        for (std::size_t first = 0; first < m_messages.size(); first += m_perProducer) {
            std::vector<std::uint64_t> lastOrder(m_generations.size(), 0);
            std::vector<bool> sawQueued(m_generations.size(), false);
            for (std::size_t i = first; i < first + m_perProducer; ++i) {
                const std::size_t generation = m_messages[i].generation;
                const std::uint64_t order = m_messages[i].handledOrder;
                if (order == 0) {
                    sawQueued[generation] = true;
                } else if (sawQueued[generation] || order < lastOrder[generation]) {
                    NoteAnomaly("message " + std::to_string(i) +
                                " was handled out of its producer's order to generation " +
                                std::to_string(generation));
                }
                lastOrder[generation] = std::max(lastOrder[generation], order);
            }
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string report = m_anomalyCount ? std::to_string(m_anomalyCount) + " anomalies:\n" : "";
        for (const std::string& anomaly : m_anomalies) {
            report += "  " + anomaly + "\n";
        }
        return report;
    }

    std::size_t Total(std::atomic<std::uint8_t> Message::*field) const {
        return std::accumulate(m_messages.begin(), m_messages.end(), std::size_t(0),
                               [&](std::size_t sum, const Message& m) { return sum + (m.*field); });
    }

    // The sum of N over the "There were N messages left unprocessed" lines.
    std::atomic<std::uint64_t> leftMessages{0};

private:
    const std::size_t m_perProducer;
    std::vector<Message> m_messages;        // zeroed at construction
    std::vector<Generation> m_generations;  // zeroed at construction
    std::atomic<std::uint64_t> m_nextOrder{1};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_anomalies;  // guarded by m_mutex
    std::size_t m_anomalyCount = 0;        // guarded by m_mutex
};

// Drives generations of the real module the way a kernel may: creates one
// from the plug-in, initialises and starts it, stops it gracefully and starts
// it again a number of times, then hands over to a successor and stops it by
// force, starts it once more (which must start nothing) and deletes it.
// Producers ask for the current generation's subscriber, as the bus would
// deliver to it. Current from any thread; the rest from one driving thread.
class CModuleCycler {
public:
    struct Target {
        CSubscriberPtr subscriber;
        std::uint32_t generation = 0;
    };

    CModuleCycler(Poco::ClassLoader<IModule>& loader, CTestKernel& kernel, CLedger& ledger)
        : m_loader(loader), m_kernel(kernel), m_ledger(ledger) {
        m_module = Create();
        m_current.subscriber = subscribers.back();
    }
    ~CModuleCycler() { m_module->Stop(true); }

    Target Current() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_current;
    }

    // `cycles` graceful stops, each after `pause`, each followed by a Start
    // when it succeeded; then a successor takes over and this generation is
    // stopped by force and deleted (unless the last generation is reached).
    void RunGeneration(std::size_t cycles, std::chrono::microseconds pause) {
        for (std::size_t i = 0; i < cycles; ++i) {
            std::this_thread::sleep_for(pause);
            if (m_module->Stop(false)) {
                ++gracefulStops;
                // Messages arriving now wait for the next Start.
                std::this_thread::sleep_for(pause / 4);
                m_module->Start();
            }
        }
        if (subscribers.size() >= kMaxGenerations) {
            return;
        }
        std::unique_ptr<IModule> successor = Create();
        std::uint32_t stopping = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_current.subscriber = subscribers.back();
            stopping = m_current.generation++;
        }
        // Producers that picked the old subscriber a moment ago still deliver
        // to it; those messages stay queued there.
        if (!m_module->Stop(true)) {
            throw std::runtime_error("a forced Stop returned false");
        }
        ++forcedStops;
        m_ledger.NoteStopped(stopping);
        // After a forced stop no thread starts again, whatever arrives.
        m_module->Start();
        m_module = std::move(successor);
    }

    // Waits, without calling Start, until the running generation has taken
    // every queued request (a lost wake-up would leave some), then stops it
    // gracefully. False if that did not happen within `bound`.
    bool Drain(std::chrono::milliseconds bound) {
        const CSubscriberPtr subscriber = Current().subscriber;
        const bool drained = WaitUntil(
            [&] { return subscriber->GetQueueSize() == 0 && m_module->Stop(false); }, bound);
        gracefulStops += drained ? 1 : 0;
        return drained;
    }

    std::vector<CSubscriberPtr> subscribers;         // of every generation; driving thread only
    std::size_t gracefulStops = 0, forcedStops = 0;  // driving thread only

private:
    std::unique_ptr<IModule> Create() {
        std::unique_ptr<IModule> module(m_loader.create("Kol::Cleanup::Agent::CCleanupModule"));
        module->Initialize(m_kernel.provider);
        // One subscription per generation, the new one last.
        const auto subscriptions = m_kernel.bus->Subscriptions();
        const auto subscriber = subscriptions.size() == subscribers.size() + 1
                                    ? boost::dynamic_pointer_cast<Common::Module::CSubscriber>(
                                          subscriptions.back().first)
                                    : CSubscriberPtr();
        if (!subscriber || subscriptions.back().second != Common::Kernel::MessageTypeCleanupLogs) {
            throw std::runtime_error("a new module did not subscribe to cleanup requests once");
        }
        subscribers.push_back(subscriber);
        module->Start();
        return module;
    }

    Poco::ClassLoader<IModule>& m_loader;
    CTestKernel& m_kernel;
    CLedger& m_ledger;
    std::unique_ptr<IModule> m_module;  // driving thread only
    mutable std::mutex m_mutex;
    Target m_current;  // guarded by m_mutex
};

void Produce(std::size_t producer, std::size_t perProducer, CModuleCycler& cycler, CLedger& ledger,
             const Common::Kernel::IMessagePtr& request) {
    for (std::size_t sequence = 0; sequence < perProducer; ++sequence) {
        const auto number = static_cast<std::uint32_t>(producer * perProducer + sequence);
        const auto context = boost::make_shared<Common::Security::CUserContext>(
            boost::make_shared<CTestUser>("stress", number));
        CModuleCycler::Target target;
        const auto shortQueue = [&] {
            target = cycler.Current();
            return target.subscriber->GetQueueSize() < kHighWater;
        };
        if (!WaitUntil(shortQueue, kBound)) {
            throw std::runtime_error("waited too long for a queue to shrink");
        }
        ledger.Find(number, "sent")->generation = target.generation;
        target.subscriber->OnMessage(request, context);
        if (sequence % kBurst == kBurst - 1) {
            // Lets the queue run dry now and then, so graceful stops succeed.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

TEST(ModuleStress, EveryRequestIsHandledOnceOrStaysQueuedWhileTheModuleCycles) {
    const std::size_t perProducer = MessagesPerProducer();
    const auto keeper = boost::make_shared<CLedger>(perProducer, kMaxGenerations);
    CLedger& ledger = *keeper;
    typedef CLedger::Message M;

    Poco::ClassLoader<IModule> loader;
    loader.loadLibrary(CLEANUP_PLUGIN_PATH);
    {
        CTestKernel kernel;
        // Kind 2 sends no status events: the bus records nothing per request.
        kernel.installConfiguration->kind = 2;
        kernel.provider->Set(Common::Kernel::ResourceTypeLogger, keeper);
        kernel.database->Set(Common::Database::MapperIdStaticObjects, keeper);
        const Common::Kernel::IMessagePtr request = MakeCleanupRequest({14});  // STATIC_OBJECTS
        {
            CModuleCycler cycler(loader, kernel, ledger);
            std::atomic<std::size_t> done{0};  // threads ended
            std::vector<std::thread> threads;
            // Runs `body` on a thread of its own; a failure is an anomaly.
            const auto spawn = [&](const std::string& who, std::function<void()> body) {
                threads.emplace_back([&ledger, &done, who, body] {
                    try {
                        body();
                    } catch (const std::exception& error) {
                        ledger.NoteAnomaly(who + ": " + error.what());
                    }
                    ++done;
                });
            };
            for (std::size_t p = 0; p < kProducers; ++p) {
                spawn("producer " + std::to_string(p),
                      [&, p] { Produce(p, perProducer, cycler, ledger, request); });
            }
            // At least one whole generation, so that a forced stop always
            // happens; then on until every producer has ended.
            spawn("cycler", [&] {
                do {
                    cycler.RunGeneration(40, std::chrono::microseconds(4000));
                } while (done < kProducers);
            });
            if (!WaitUntil([&] { return done == kProducers + 1; }, kBound)) {
                // A deadlock: nothing can be joined or counted safely.
                std::cerr << "ModuleStress: producers or cycler still running after "
                          << kBound.count() << " ms; handled so far " << ledger.Total(&M::handled)
                          << std::endl;
                std::abort();
            }
            for (std::thread& thread : threads) {
                thread.join();
            }
            ASSERT_TRUE(cycler.Drain(std::chrono::milliseconds(60000)))
                << "the running module did not take its last "
                << cycler.Current().subscriber->GetQueueSize() << " requests";
            for (const CSubscriberPtr& subscriber : cycler.subscribers) {
                subscriber->ForEachQueued(
                    [&](const Common::Kernel::ISubscriber::QueueEntry& entry) {
                        M* const message = ledger.Find(MessageOf(entry.second), "queued");
                        if (message && entry.first == request) {
                            ++message->queued;
                        } else {
                            ledger.NoteAnomaly("a queue holds something that was never sent");
                        }
                    });
            }
            EXPECT_GE(cycler.subscribers.size(), 2u);
            EXPECT_GE(cycler.forcedStops, 1u);
            EXPECT_GE(cycler.gracefulStops, 1u);
        }

        // Also: every message was handled or is still queued.
        EXPECT_EQ(ledger.Verify(), "");
        const std::size_t handled = ledger.Total(&M::handled), queued = ledger.Total(&M::queued);
        // A forced stop reports what it leaves behind; more may arrive later
        // from producers that had picked the old subscriber.
        EXPECT_LE(ledger.leftMessages, queued);
        std::cout << "ModuleStress: " << kProducers * perProducer << " requests, " << handled
                  << " handled (" << ledger.Total(&M::interrupted)
                  << " at the interruption check), " << queued << " left queued" << std::endl;
    }
    loader.unloadLibrary(CLEANUP_PLUGIN_PATH);
}

}  // namespace
}  // namespace Kol::Testing
