#include "tests/stress/CMessageLedger.h"

namespace Kol {
namespace Testing {

namespace {

template <typename T>
std::unique_ptr<std::atomic<T>[]> Zeroed(std::size_t count) {
    std::unique_ptr<std::atomic<T>[]> values(new std::atomic<T>[count]);
    for (std::size_t i = 0; i < count; ++i) {
        values[i].store(0, std::memory_order_relaxed);
    }
    return values;
}

}  // namespace

CMessageLedger::CMessageLedger(std::size_t producers, std::size_t perProducer,
                               std::size_t maxGenerations)
    : m_producers(producers),
      m_perProducer(perProducer),
      m_messages(producers * perProducer),
      m_generation(Zeroed<std::uint32_t>(m_messages)),
      m_handledOrder(Zeroed<std::uint64_t>(m_messages)),
      m_handled(Zeroed<std::uint8_t>(m_messages)),
      m_mapperCalls(Zeroed<std::uint8_t>(m_messages)),
      m_interrupted(Zeroed<std::uint8_t>(m_messages)),
      m_queued(Zeroed<std::uint8_t>(m_messages)),
      m_maxGenerations(maxGenerations),
      m_inMapper(Zeroed<std::int32_t>(maxGenerations)),
      m_stopped(Zeroed<std::uint8_t>(maxGenerations)) {}

void CMessageLedger::NoteSent(std::uint32_t message, std::uint32_t generation) {
    m_generation[message].store(generation, std::memory_order_relaxed);
}

void CMessageLedger::NoteHandled(std::uint32_t message) {
    if (message >= m_messages) {
        NoteAnomaly("handled an unknown message " + std::to_string(message));
        return;
    }
    m_handled[message].fetch_add(1);
    m_handledOrder[message].store(m_nextOrder.fetch_add(1));
    const std::uint32_t generation = m_generation[message].load();
    if (generation < m_maxGenerations && m_stopped[generation].load() != 0) {
        NoteAnomaly("generation " + std::to_string(generation) +
                    " handled a request after its forced stop");
    }
}

void CMessageLedger::NoteStopped(std::uint32_t generation) {
    if (generation < m_maxGenerations) {
        m_stopped[generation].store(1);
    }
}

void CMessageLedger::NoteInterrupted(std::uint32_t message) {
    if (message < m_messages) {
        m_interrupted[message].fetch_add(1);
    }
}

void CMessageLedger::EnterMapper(std::uint32_t message) {
    if (message >= m_messages) {
        NoteAnomaly("mapper called for an unknown message " + std::to_string(message));
        return;
    }
    m_mapperCalls[message].fetch_add(1);
    const std::uint32_t generation = m_generation[message].load();
    if (generation < m_maxGenerations && m_inMapper[generation].fetch_add(1) != 0) {
        NoteAnomaly("module generation " + std::to_string(generation) +
                    " ran two handlers at once");
    }
}

void CMessageLedger::LeaveMapper(std::uint32_t message) {
    if (message < m_messages) {
        const std::uint32_t generation = m_generation[message].load();
        if (generation < m_maxGenerations) {
            m_inMapper[generation].fetch_sub(1);
        }
    }
}

void CMessageLedger::NoteQueued(std::uint32_t message) {
    if (message >= m_messages) {
        NoteAnomaly("an unknown message is queued: " + std::to_string(message));
        return;
    }
    m_queued[message].fetch_add(1);
}

void CMessageLedger::NoteAnomaly(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_anomalyCount;
    if (m_anomalies.size() < 20) {
        m_anomalies.push_back(text);
    }
}

std::vector<std::string> CMessageLedger::Verify(std::size_t limit) const {
    std::vector<std::string> problems;
    auto add = [&](const std::string& text) {
        if (problems.size() < limit) {
            problems.push_back(text);
        }
    };
    for (std::size_t i = 0; i < m_messages; ++i) {
        const unsigned handled = m_handled[i].load();
        const unsigned queued = m_queued[i].load();
        const unsigned mapper = m_mapperCalls[i].load();
        const unsigned interrupted = m_interrupted[i].load();
        const std::string name = "message " + std::to_string(i);
        if (handled + queued != 1) {
            add(name + ": handled " + std::to_string(handled) + " times, queued " +
                std::to_string(queued) + " times");
        }
        if (mapper + interrupted != handled) {
            add(name + ": handled " + std::to_string(handled) + " times, reached the mapper " +
                std::to_string(mapper) + " times, interrupted " + std::to_string(interrupted) +
                " times");
        }
    }
    // Per producer and generation: one queue, first in first out.
    for (std::size_t p = 0; p < m_producers; ++p) {
        std::vector<std::uint64_t> lastOrder;  // per generation
        std::vector<std::uint8_t> sawQueued;   // per generation
        for (std::size_t s = 0; s < m_perProducer; ++s) {
            const std::size_t i = p * m_perProducer + s;
            const std::uint32_t generation = m_generation[i].load();
            if (generation >= lastOrder.size()) {
                lastOrder.resize(generation + 1, 0);
                sawQueued.resize(generation + 1, 0);
            }
            const std::uint64_t order = m_handledOrder[i].load();
            if (order == 0) {
                sawQueued[generation] = 1;
                continue;
            }
            if (sawQueued[generation]) {
                add("message " + std::to_string(i) + " was handled although an earlier message" +
                    " of its producer to generation " + std::to_string(generation) +
                    " was not handled");
            }
            if (order < lastOrder[generation]) {
                add("message " + std::to_string(i) + " was handled before an earlier message of" +
                    " its producer to generation " + std::to_string(generation));
            }
            lastOrder[generation] = order;
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_anomalyCount != 0) {
        add(std::to_string(m_anomalyCount) + " anomalies, the first:");
        for (const std::string& anomaly : m_anomalies) {
            add("  " + anomaly);
        }
    }
    return problems;
}

std::size_t CMessageLedger::GetHandled() const {
    std::size_t total = 0;
    for (std::size_t i = 0; i < m_messages; ++i) {
        total += m_handled[i].load();
    }
    return total;
}

std::size_t CMessageLedger::GetQueued() const {
    std::size_t total = 0;
    for (std::size_t i = 0; i < m_messages; ++i) {
        total += m_queued[i].load();
    }
    return total;
}

std::size_t CMessageLedger::GetInterrupted() const {
    std::size_t total = 0;
    for (std::size_t i = 0; i < m_messages; ++i) {
        total += m_interrupted[i].load();
    }
    return total;
}

}  // namespace Testing
}  // namespace Kol
