#include "framework/module/CResponse.h"

namespace Kol {
namespace Common {
namespace Module {

CResponse::CResponse(std::uint32_t requestId) : m_requestId(requestId) {}

CResponse::~CResponse() = default;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
