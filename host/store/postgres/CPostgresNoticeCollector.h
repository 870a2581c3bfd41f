#pragma once

#include <string>
#include <vector>

#include <pqxx/pqxx>

namespace Kol {
namespace Host {

// Gathers the notices and warnings a server sends on `connection` while the
// collector lives (a VACUUM's "skipping ..."), each as one line without its
// "WARNING:  " or "NOTICE:  " prefix, into `notices`, which must outlive it.
// Same thread as the connection's statements; never throws (a notice that
// cannot be kept for want of memory is lost, the statement goes on).
class CPostgresNoticeCollector : public pqxx::errorhandler {
public:
    CPostgresNoticeCollector(pqxx::connection_base& connection, std::vector<std::string>& notices)
        : pqxx::errorhandler(connection), m_notices(notices) {}

    // Keeps `message`; false: no other handler needs to see it.
    bool operator()(const char message[]) noexcept override;

private:
    std::vector<std::string>& m_notices;
};

}  // namespace Host
}  // namespace Kol
