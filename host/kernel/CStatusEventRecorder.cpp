#include "host/kernel/CStatusEventRecorder.h"

#include <ctime>
#include <stdexcept>
#include <string>

#include <boost/pointer_cast.hpp>

#include "contracts/logs/CleanupStatusSymbol.h"
#include "framework/message/CEventLog.h"
#include "framework/module/LogLevel.h"
#include "host/report/CRunReport.h"
#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CStatusEventRecorder::CStatusEventRecorder(const boost::shared_ptr<IStore>& store,
                                           const Common::Kernel::ILoggerResourcePtr& logger,
                                           const boost::shared_ptr<CRunReport>& report)
    : m_store(store), m_logger(logger), m_report(report) {}

std::int64_t CStatusEventRecorder::Store(const Common::Message::Logs::CEventLog& event,
                                         const Common::Logs::ISymbolContainer& symbols) {
    const std::string binary = symbols.SerializeBinary(symbols.GetBinarySize());
    std::string protobuf;
    symbols.Serialize(protobuf);
    return m_store->AddStatusEvent(static_cast<std::int64_t>(event.GetType()), event.GetName(),
                                   binary, protobuf, static_cast<std::int64_t>(std::time(nullptr)));
}

void CStatusEventRecorder::OnSent(const Common::Kernel::IMessagePtr& message,
                                  const Common::Kernel::ISubscriber::UserContextPtr&) {
    const bool statusEvent =
        message && message->GetType() == Common::Kernel::MessageTypeCleanupStatusEvent;
    try {
        const Common::Message::Logs::CEventLogPtr event =
            boost::dynamic_pointer_cast<Common::Message::Logs::CEventLog>(message);
        if (!event) {
            throw std::runtime_error("it is not an event log");
        }
        const Common::Logs::ISymbolContainerPtr symbols = event->GetSymbols();
        // Read before storing, so that the report knows which status a refused
        // event carried (the final one, typically) and can say why it is missing.
        const boost::optional<std::int64_t> progress =
            symbols->TryGetInt64(Common::Logs::CleanupStatusProgressCode);
        const boost::optional<std::int32_t> level =
            symbols->TryGetInt32(Common::Logs::CleanupStatusLevelCode);
        std::string line;
        try {
            line = "status event " + std::to_string(event->GetType()) + " " + event->GetName() +
                   (m_store->IsDryRun() ? " stored and rolled back (dry run) as row "
                                        : " stored as row ") +
                   std::to_string(Store(*event, *symbols));
        } catch (const std::exception& e) {
            if (statusEvent && progress) {
                m_report->AddStatusEvent(*progress, level, e.what());
            }
            throw;
        }
        if (progress) {
            line += ": progress " + std::to_string(*progress);
        }
        if (level) {
            line += ", level " + std::to_string(*level);
        }
        if (statusEvent) {
            if (!progress) {
                throw std::runtime_error("it has no progress code");
            }
            m_report->AddStatusEvent(*progress, level);
        }
        m_logger->Log(line, Common::Module::Information, "host");
    } catch (const std::exception& e) {
        if (statusEvent) {
            m_report->AddStatusEventFailure(e.what());
        }
        m_logger->Log("message " + (message ? message->GetName() : std::string("(none)")) +
                          " was not stored: " + e.what(),
                      statusEvent ? Common::Module::Error : Common::Module::Warning, "host");
    }
}

}  // namespace Host
}  // namespace Kol
