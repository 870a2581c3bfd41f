#pragma once

#include <string>

namespace Kol {
namespace Testing {

// Gives the parameterless Cleanup() of one mapper interface its own name, so
// that a single mapper object can implement several interfaces that all
// declare Cleanup() and still tell which one was called: each adapter forwards
// to PerformCleanup with the name of its interface.
template <typename Interface>
class CCleanupAdapter : public Interface {
public:
    void Cleanup() final { PerformCleanup(m_callName); }

protected:
    explicit CCleanupAdapter(const char* callName) : m_callName(callName) {}

    virtual void PerformCleanup(const std::string& callName) = 0;

private:
    const std::string m_callName;
};

}  // namespace Testing
}  // namespace Kol
