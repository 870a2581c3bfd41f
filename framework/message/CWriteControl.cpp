#include "framework/message/CWriteControl.h"

#include <stdexcept>

namespace Kol {
namespace Common {
namespace Message {

CWriteControl::~CWriteControl() = default;

bool CWriteControl::IsReadOnly() const {
    return m_readOnly;
}

void CWriteControl::SetReadOnly() {
    m_readOnly = true;
}

void CWriteControl::CheckWritable() const {
    if (m_readOnly) {
        throw std::runtime_error("Message is read only");
    }
}

}  // namespace Message
}  // namespace Common
}  // namespace Kol
