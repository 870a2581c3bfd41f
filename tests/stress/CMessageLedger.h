#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace Kol {
namespace Testing {

// What happened to each stress message, numbered producer * perProducer +
// sequence: the module generation it was sent to, how often the module
// handled it (its re-scheduling line), whether the handler reached the mapper
// or stopped at the interruption check, and whether it was found queued at
// the end. Also watches that one module never runs two handlers at once.
//
// Note* may be called from any thread at once (atomics only, except anomalies
// under m_mutex); Verify and the totals once every thread has finished.
class CMessageLedger {
public:
    CMessageLedger(std::size_t producers, std::size_t perProducer, std::size_t maxGenerations);

    CMessageLedger(const CMessageLedger&) = delete;
    CMessageLedger& operator=(const CMessageLedger&) = delete;

    std::size_t GetMessageCount() const { return m_messages.size(); }

    // Producer, before handing the message to the generation's subscriber.
    void NoteSent(std::uint32_t message, std::uint32_t generation);
    // Processing thread: the request's re-scheduling line (one per handled
    // request); stamps the order of handling.
    void NoteHandled(std::uint32_t message);
    void NoteInterrupted(std::uint32_t message);
    // Driving thread, once a forced Stop of the generation has returned: its
    // thread has ended, so it must never handle anything again.
    void NoteStopped(std::uint32_t generation);
    void EnterMapper(std::uint32_t message);
    void LeaveMapper(std::uint32_t message);
    // End of the run: the message sits in a subscriber's queue.
    void NoteQueued(std::uint32_t message);
    // Anything that must not happen; the first 20 are kept for the report.
    void NoteAnomaly(const std::string& text);

    // Every broken rule, at most `limit` of them: each message handled exactly
    // once or still queued, never both; a handled message reached the mapper
    // or was interrupted, exactly one of the two; per producer and generation
    // the handled messages are a prefix, handled in sending order; and the
    // anomalies.
    std::vector<std::string> Verify(std::size_t limit = 20) const;

    std::size_t GetHandled() const { return Total(&Message::handled); }
    std::size_t GetQueued() const { return Total(&Message::queued); }
    std::size_t GetInterrupted() const { return Total(&Message::interrupted); }

private:
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
    Message* Find(std::uint32_t message, const char* what);
    Generation* GenerationOf(const Message& message);
    std::size_t Total(std::atomic<std::uint8_t> Message::*field) const;

    const std::size_t m_perProducer;
    std::vector<Message> m_messages;        // zeroed at construction
    std::vector<Generation> m_generations;  // zeroed at construction
    std::atomic<std::uint64_t> m_nextOrder{1};

    mutable std::mutex m_mutex;
    std::vector<std::string> m_anomalies;  // guarded by m_mutex
    std::size_t m_anomalyCount = 0;        // guarded by m_mutex
};

}  // namespace Testing
}  // namespace Kol
