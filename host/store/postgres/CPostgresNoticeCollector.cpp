#include "host/store/postgres/CPostgresNoticeCollector.h"

#include <exception>

#include "host/store/postgres/CPostgresUri.h"

namespace Kol {
namespace Host {

bool CPostgresNoticeCollector::operator()(const char message[]) noexcept {
    try {
        std::string line = CPostgresUri::OneLine(message);
        const std::string::size_type colon = line.find(":  ");
        if (colon != std::string::npos && colon < 8) {  // WARNING, NOTICE, INFO
            line = line.substr(colon + 3);
        }
        m_notices.push_back(line);
    } catch (const std::exception&) {
        // Out of memory: the notice is lost, the statement goes on.
    }
    return false;
}

}  // namespace Host
}  // namespace Kol
