#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/ILoggerResource.h"
#include "contracts/kernel/IMessage.h"
#include "contracts/kernel/ISubscriber.h"
#include "contracts/logs/ISymbolContainer.h"

namespace Kol {
namespace Common {
namespace Message {
namespace Logs {
class CEventLog;
}
}  // namespace Message
}  // namespace Common

namespace Host {

class CRunReport;
class IStore;

// Receives what the module sends on the bus. Every event log message (the
// status events, type 10368) is stored in status_events with both forms of
// its symbols (the binary symbol format and the protobuf form), announced in
// one host line and its progress code given to the report.
//
// Called on the sending thread (the module's processing thread).
class CStatusEventRecorder {
public:
    CStatusEventRecorder(const boost::shared_ptr<IStore>& store,
                         const Common::Kernel::ILoggerResourcePtr& logger,
                         const boost::shared_ptr<CRunReport>& report);

    // Never throws: a message that cannot be stored is logged as an error and
    // marks the run as failed.
    void OnSent(const Common::Kernel::IMessagePtr& message,
                const Common::Kernel::ISubscriber::UserContextPtr& userContext);

private:
    // Inserts one row in its own transaction and returns its row id. Throws
    // std::runtime_error with the store's message.
    std::int64_t Store(const Common::Message::Logs::CEventLog& event,
                       const Common::Logs::ISymbolContainer& symbols);

    const boost::shared_ptr<IStore> m_store;
    const Common::Kernel::ILoggerResourcePtr m_logger;
    const boost::shared_ptr<CRunReport> m_report;
};

}  // namespace Host
}  // namespace Kol
