#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"

namespace Kol {
namespace Common {
namespace Module {

// Base of response messages: carries the identifier of the request it
// answers. A concrete response adds its type, name and content; like every
// message it is filled, frozen and only read afterwards, from any thread.
class CResponse : public Kernel::IMessage {
public:
    explicit CResponse(std::uint32_t requestId);
    ~CResponse() override;

    std::uint32_t GetRequestId() const { return m_requestId; }

private:
    const std::uint32_t m_requestId;
};

typedef boost::shared_ptr<CResponse> CResponsePtr;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
