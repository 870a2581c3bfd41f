#pragma once

#include <stdexcept>
#include <string>

namespace Kol {
namespace Host {

// A run refused before anything was written, with the exit status it calls
// for (ExitStatus.h) and the whole one-line message.
class CRefusal : public std::runtime_error {
public:
    CRefusal(int status, const std::string& message)
        : std::runtime_error(message), m_status(status) {}

    int Status() const { return m_status; }

private:
    int m_status;
};

}  // namespace Host
}  // namespace Kol
