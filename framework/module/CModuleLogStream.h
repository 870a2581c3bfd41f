#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "contracts/kernel/ILoggerResource.h"

namespace Kol {
namespace Common {
namespace Module {

// Collects the pieces of one log line and hands the whole line to the kernel's
// logger when it goes out of scope: Log(text, level, moduleName), once, and
// only when something was written. Whether the line is wanted is decided once,
// at construction, by asking the logger's GetLogLevel(); a stream below the
// threshold buffers nothing.
//
// Building a line never throws: a piece that cannot be stored is dropped.
// A stream belongs to the thread that created it.
class CModuleLogStream {
public:
    // `logger` must outlive the stream (the module's handle keeps it alive); a
    // null logger makes a disabled stream.
    CModuleLogStream(Kernel::ILoggerResource* logger, std::int32_t level, std::string moduleName);
    ~CModuleLogStream();

    CModuleLogStream(const CModuleLogStream&) = delete;
    CModuleLogStream& operator=(const CModuleLogStream&) = delete;
    CModuleLogStream(CModuleLogStream&& other) noexcept;
    CModuleLogStream& operator=(CModuleLogStream&&) = delete;

    bool IsEnabled() const { return m_enabled; }
    // True once a piece has been buffered.
    bool HasBuffer() const { return m_buffer != nullptr; }

    CModuleLogStream& operator<<(const std::string& text);
    CModuleLogStream& operator<<(const char* text);
    // Written in decimal, no separators.
    CModuleLogStream& operator<<(std::uint64_t number);

private:
    template <typename T>
    void Write(const T& piece) noexcept;

    Kernel::ILoggerResource* m_logger;
    std::int32_t m_level;
    std::string m_moduleName;
    bool m_enabled;
    std::unique_ptr<std::ostringstream> m_buffer;  // created on the first write
};

}  // namespace Module
}  // namespace Common
}  // namespace Kol
