// 8 producers send cleanup requests into the real module (loaded from the
// plug-in) while another thread cycles Start, graceful Stop and forced Stop
// over generations of it. At the end every request was handled exactly once
// or is still queued, in order, one at a time per module.
//
// CLEANUP_STRESS_MESSAGES sets the requests per producer (default 100000);
// the sanitizer runs lower it.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <vector>

#include <Poco/ClassLoader.h>
#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include "contracts/database/IMapper.h"
#include "contracts/kernel/IResource.h"
#include "framework/security/CUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CleanupRequest.h"
#include "tests/kernel/WaitUntil.h"
#include "tests/stress/CCountingLogger.h"
#include "tests/stress/CCountingStaticObjectsMapper.h"
#include "tests/stress/CMessageLedger.h"
#include "tests/stress/CModuleCycler.h"
#include "tests/stress/CStressUser.h"

namespace Kol {
namespace Testing {
namespace {

const std::size_t kProducers = 8;
const std::size_t kMaxGenerations = 400;
// A producer waits while the current queue is this long, so that a forced
// stop strands a bounded number of requests and memory stays small.
const std::uint64_t kHighWater = 1000;
const std::size_t kBurst = 500;  // requests between a producer's short pauses
const std::chrono::milliseconds kBound(120000);

std::size_t MessagesPerProducer() {
    const char* const text = std::getenv("CLEANUP_STRESS_MESSAGES");
    if (text == nullptr || *text == '\0') {
        return 100000;
    }
    const long value = std::strtol(text, nullptr, 10);
    return value > 0 ? static_cast<std::size_t>(value) : 100000;
}

void Produce(std::size_t producer, std::size_t perProducer, CModuleCycler& cycler,
             CMessageLedger& ledger, const Common::Kernel::IMessagePtr& request) {
    for (std::size_t sequence = 0; sequence < perProducer; ++sequence) {
        const auto number = static_cast<std::uint32_t>(producer * perProducer + sequence);
        const auto context = boost::make_shared<Common::Security::CUserContext>(
            boost::make_shared<CStressUser>(number));
        CModuleCycler::Target target = cycler.Current();
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (target.subscriber->GetQueueSize() >= kHighWater) {
            if (std::chrono::steady_clock::now() > deadline) {
                ledger.NoteAnomaly("producer " + std::to_string(producer) +
                                   " waited too long for a queue to shrink");
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            target = cycler.Current();
        }
        ledger.NoteSent(number, target.generation);
        target.subscriber->OnMessage(request, context);
        if (sequence % kBurst == kBurst - 1) {
            // Lets the queue run dry now and then, so graceful stops succeed.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

TEST(ModuleStress, EveryRequestIsHandledOnceOrStaysQueuedWhileTheModuleCycles) {
    const std::size_t perProducer = MessagesPerProducer();
    CMessageLedger ledger(kProducers, perProducer, kMaxGenerations);

    Poco::ClassLoader<Common::Kernel::IModule> loader;
    loader.loadLibrary(CLEANUP_PLUGIN_PATH);
    {
        CTestKernel kernel;
        // Kind 2 sends no status events: the bus records nothing per request.
        kernel.installConfiguration->kind = 2;
        const auto logger = boost::make_shared<CCountingLogger>(ledger);
        kernel.provider->SetResource(Common::Kernel::ResourceTypeLogger, logger);
        kernel.database->SetMapper(Common::Database::MapperIdStaticObjects,
                                   boost::make_shared<CCountingStaticObjectsMapper>(ledger));
        const Common::Kernel::IMessagePtr request = MakeCleanupRequest({14});  // STATIC_OBJECTS

        CModuleCycler::Counts counts;
        {
            CModuleCycler cycler(loader, kernel.provider, kernel.bus, ledger, kMaxGenerations);
            cycler.Begin();

            std::atomic<std::size_t> producersDone{0};
            std::atomic<bool> cyclerDone{false};
            std::vector<std::thread> threads;
            for (std::size_t p = 0; p < kProducers; ++p) {
                threads.emplace_back([&, p] {
                    try {
                        Produce(p, perProducer, cycler, ledger, request);
                    } catch (const std::exception& error) {
                        ledger.NoteAnomaly("producer " + std::to_string(p) + ": " + error.what());
                    }
                    ++producersDone;
                });
            }
            threads.emplace_back([&] {
                try {
                    // At least one whole generation, so that a forced stop
                    // always happens.
                    do {
                        cycler.RunGeneration(40, std::chrono::microseconds(4000));
                    } while (producersDone < kProducers);
                } catch (const std::exception& error) {
                    ledger.NoteAnomaly(std::string("cycler: ") + error.what());
                }
                cyclerDone = true;
            });
            if (!WaitUntil([&] { return producersDone == kProducers && cyclerDone; }, kBound)) {
                // A deadlock: nothing can be joined or counted safely.
                std::cerr << "ModuleStress: producers or cycler still running after "
                          << kBound.count() << " ms; handled so far " << ledger.GetHandled()
                          << std::endl;
                std::abort();
            }
            for (std::thread& thread : threads) {
                thread.join();
            }
            ASSERT_TRUE(cycler.Drain(std::chrono::milliseconds(60000)))
                << "the running module did not take its last "
                << cycler.Current().subscriber->GetQueueSize() << " requests";
            for (const auto& subscriber : cycler.GetSubscribers()) {
                subscriber->ForEachQueued(
                    [&](const Common::Kernel::ISubscriber::QueueEntry& entry) {
                        const auto user =
                            entry.second
                                ? boost::dynamic_pointer_cast<CStressUser>(entry.second->GetUser())
                                : boost::shared_ptr<CStressUser>();
                        if (user && entry.first == request) {
                            ledger.NoteQueued(user->GetMessageNumber());
                        } else {
                            ledger.NoteAnomaly("a queue holds something that was never sent");
                        }
                    });
            }
            counts = cycler.GetCounts();
        }
        kernel.bus->DropSubscriptions();

        const std::vector<std::string> problems = ledger.Verify();
        std::string report;
        for (const std::string& problem : problems) {
            report += problem + "\n";
        }
        EXPECT_TRUE(problems.empty()) << report;
        EXPECT_EQ(ledger.GetHandled() + ledger.GetQueued(), ledger.GetMessageCount());
        EXPECT_GE(counts.generations, 2u);
        EXPECT_GE(counts.forcedStops, 1u);
        EXPECT_GE(counts.gracefulStops, 1u);
        // A forced stop reports what it leaves behind; more may arrive later
        // from producers that had picked the old subscriber.
        EXPECT_LE(logger->GetLeftUnprocessedMessages(), ledger.GetQueued());
        std::cout << "ModuleStress: " << ledger.GetMessageCount() << " requests, "
                  << ledger.GetHandled() << " handled (" << ledger.GetInterrupted()
                  << " at the interruption check), " << ledger.GetQueued() << " left queued; "
                  << counts.generations << " generations, " << counts.gracefulStops
                  << " graceful stops, " << counts.refusedStops << " refused, "
                  << counts.forcedStops << " forced" << std::endl;
    }
    loader.unloadLibrary(CLEANUP_PLUGIN_PATH);
}

}  // namespace
}  // namespace Testing
}  // namespace Kol
