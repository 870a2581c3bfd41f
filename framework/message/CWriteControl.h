#pragma once

namespace Kol {
namespace Common {
namespace Message {

// The read-only guard of a message. A message is writable from construction
// until SetReadOnly(); from then on it stays read-only. Every setter of a
// derived message calls CheckWritable() before it stores anything.
//
// No locks: the flag is written by the creating thread before the message is
// published, and only read afterwards.
class CWriteControl {
public:
    CWriteControl() = default;
    CWriteControl(const CWriteControl&) = delete;
    CWriteControl& operator=(const CWriteControl&) = delete;
    virtual ~CWriteControl();

    virtual bool IsReadOnly() const;

    // Sets the flag; there is no way back. An override sets the flag first
    // (by calling this) and then freezes what it owns.
    virtual void SetReadOnly();

    // Returns quietly while writable; throws std::runtime_error
    // "Message is read only" once read-only.
    virtual void CheckWritable() const;

private:
    bool m_readOnly = false;
};

}  // namespace Message
}  // namespace Common
}  // namespace Kol
