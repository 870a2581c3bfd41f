#include "tests/stress/CMessageLedger.h"

#include <algorithm>

namespace Kol {
namespace Testing {

CMessageLedger::CMessageLedger(std::size_t producers, std::size_t perProducer,
                               std::size_t maxGenerations)
    : m_perProducer(perProducer),
      m_messages(producers * perProducer),
      m_generations(maxGenerations) {}

CMessageLedger::Message* CMessageLedger::Find(std::uint32_t message, const char* what) {
    if (message < m_messages.size()) {
        return &m_messages[message];
    }
    NoteAnomaly(std::string(what) + " an unknown message " + std::to_string(message));
    return nullptr;
}

CMessageLedger::Generation* CMessageLedger::GenerationOf(const Message& message) {
    const std::uint32_t generation = message.generation.load();
    return generation < m_generations.size() ? &m_generations[generation] : nullptr;
}

void CMessageLedger::NoteSent(std::uint32_t message, std::uint32_t generation) {
    m_messages[message].generation.store(generation, std::memory_order_relaxed);
}

void CMessageLedger::NoteHandled(std::uint32_t message) {
    if (Message* const found = Find(message, "handled")) {
        found->handled.fetch_add(1);
        found->handledOrder.store(m_nextOrder.fetch_add(1));
        const Generation* const generation = GenerationOf(*found);
        if (generation && generation->stopped.load() != 0) {
            NoteAnomaly("generation " + std::to_string(found->generation) +
                        " handled a request after its forced stop");
        }
    }
}

void CMessageLedger::NoteInterrupted(std::uint32_t message) {
    if (Message* const found = Find(message, "interrupted")) {
        found->interrupted.fetch_add(1);
    }
}

void CMessageLedger::NoteStopped(std::uint32_t generation) {
    if (generation < m_generations.size()) {
        m_generations[generation].stopped.store(1);
    }
}

void CMessageLedger::EnterMapper(std::uint32_t message) {
    if (Message* const found = Find(message, "mapper called for")) {
        found->mapperCalls.fetch_add(1);
        Generation* const generation = GenerationOf(*found);
        if (generation && generation->inMapper.fetch_add(1) != 0) {
            NoteAnomaly("module generation " + std::to_string(found->generation) +
                        " ran two handlers at once");
        }
    }
}

void CMessageLedger::LeaveMapper(std::uint32_t message) {
    Message* const found = Find(message, "mapper left for");
    if (Generation* const generation = found ? GenerationOf(*found) : nullptr) {
        generation->inMapper.fetch_sub(1);
    }
}

void CMessageLedger::NoteQueued(std::uint32_t message) {
    if (Message* const found = Find(message, "queued")) {
        found->queued.fetch_add(1);
    }
}

void CMessageLedger::NoteAnomaly(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_anomalyCount++ < 20) {
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
    for (std::size_t i = 0; i < m_messages.size(); ++i) {
        const Message& m = m_messages[i];
        const std::string counts = "message " + std::to_string(i) + ": handled " +
                                   std::to_string(m.handled) + ", queued " +
                                   std::to_string(m.queued) + ", reached the mapper " +
                                   std::to_string(m.mapperCalls) + ", interrupted " +
                                   std::to_string(m.interrupted) + " times";
        if (m.handled + m.queued != 1 || m.mapperCalls + m.interrupted != m.handled) {
            add(counts);
        }
    }
    // Per producer and generation: one queue, first in first out.
    for (std::size_t first = 0; first < m_messages.size(); first += m_perProducer) {
        std::vector<std::uint64_t> lastOrder(m_generations.size() + 1, 0);  // per generation
        std::vector<bool> sawQueued(m_generations.size() + 1, false);       // per generation
        for (std::size_t i = first; i < first + m_perProducer; ++i) {
            const std::size_t generation =
                std::min<std::size_t>(m_messages[i].generation, m_generations.size());
            const std::uint64_t order = m_messages[i].handledOrder;
            if (order == 0) {
                sawQueued[generation] = true;
            } else if (sawQueued[generation] || order < lastOrder[generation]) {
                add("message " + std::to_string(i) + " was handled out of its producer's order" +
                    " to generation " + std::to_string(generation));
            }
            lastOrder[generation] = std::max(lastOrder[generation], order);
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

std::size_t CMessageLedger::Total(std::atomic<std::uint8_t> Message::*field) const {
    std::size_t total = 0;
    for (const Message& message : m_messages) {
        total += (message.*field).load();
    }
    return total;
}

}  // namespace Testing
}  // namespace Kol
