#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/MessageType.h"
#include "contracts/logs/ISymbolContainer.h"
#include "framework/message/CLogMessage.h"

namespace Kol {
namespace Common {
namespace Message {
namespace Logs {

// One record of the agent's log store on the bus: an event or delta log,
// named by its message type, with its values in a symbol container and a
// second container that travels, is compared and is frozen with it.
// Everything about the type (event or delta, log type, required symbols) is
// asked of the log descriptor map each time.
//
// Fill on the creating thread (GetSymbols() and the container's adders),
// SetReadOnly(), then send; afterwards any thread may read it. No locks.
class CEventLog : public CLogMessage {
public:
    // Makes both containers empty. Throws std::runtime_error
    // "CEventLog: Message type <type> is not event or delta log" when `type`
    // is neither the event nor the delta message type of its descriptor, and
    // std::out_of_range "No log descriptor for message type <type>" when the
    // descriptor map does not know `type`.
    explicit CEventLog(Kernel::MessageType type);
    // Releases the second container, then the first.
    ~CEventLog() override;

    Kernel::MessageType GetType() const override;

    // "EventLog_" and the name of the record's log type (the delta log type for
    // a delta message type, the event log type otherwise).
    std::string GetName() const override;

    // False for another type or for a message of this type that is not a
    // CEventLog; otherwise true when both containers are equal to the other
    // message's (the second compared only if the first are equal).
    bool Equals(const Kernel::IMessage& other) const override;

    // Runs the validator on the first container against the descriptor and
    // log type of this message type, passing on its std::runtime_error.
    void Validate() const override;

    // Sets the read-only flag, then locks the first and the second container.
    void SetReadOnly() override;

    // The containers themselves (shared, not copied). Never empty. Writable
    // until SetReadOnly() locks them.
    Common::Logs::ISymbolContainerPtr GetSymbols() const;
    Common::Logs::ISymbolContainerPtr GetSecondSymbols() const;

    // Replace a container. Throw "Message is read only" once read-only and
    // std::invalid_argument "CEventLog: symbol container must not be null"
    // for an empty pointer; the message is unchanged then.
    void SetSymbols(const Common::Logs::ISymbolContainerPtr& symbols);
    void SetSecondSymbols(const Common::Logs::ISymbolContainerPtr& symbols);

    // Carried for the kernel side; this system only sets them on construction
    // (true and -1).
    bool GetFlag() const { return m_flag; }
    std::int64_t GetNumber() const { return m_number; }

private:
    Kernel::MessageType m_type;
    // Declared in this order so that the second container is released first.
    Common::Logs::ISymbolContainerPtr m_symbols;
    Common::Logs::ISymbolContainerPtr m_secondSymbols;
    bool m_flag;
    std::int64_t m_number;
};

typedef boost::shared_ptr<CEventLog> CEventLogPtr;

}  // namespace Logs
}  // namespace Message
}  // namespace Common
}  // namespace Kol
