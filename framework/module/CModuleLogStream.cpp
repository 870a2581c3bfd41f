#include "framework/module/CModuleLogStream.h"

#include <utility>

namespace Kol {
namespace Common {
namespace Module {

CModuleLogStream::CModuleLogStream(Kernel::ILoggerResource* logger, std::int32_t level,
                                   std::string moduleName)
    : m_logger(logger),
      m_level(level),
      m_moduleName(std::move(moduleName)),
      m_enabled(logger != nullptr && logger->GetLogLevel() <= level) {}

CModuleLogStream::CModuleLogStream(CModuleLogStream&& other) noexcept
    : m_logger(other.m_logger),
      m_level(other.m_level),
      m_moduleName(std::move(other.m_moduleName)),
      m_enabled(other.m_enabled),
      m_buffer(std::move(other.m_buffer)) {
    other.m_enabled = false;
}

CModuleLogStream::~CModuleLogStream() {
    if (!m_buffer) {
        return;
    }
    std::string text;
    try {
        text = m_buffer->str();
    } catch (...) {
        // Out of memory: the line is lost, the caller's work is not.
    }
    m_buffer.reset();
    if (!text.empty()) {
        // A logger must not throw; one that does ends the process here.
        m_logger->Log(text, m_level, m_moduleName);
    }
}

template <typename T>
void CModuleLogStream::Write(const T& piece) noexcept {
    if (!m_enabled) {
        return;
    }
    try {
        if (!m_buffer) {
            m_buffer.reset(new std::ostringstream());
        }
        *m_buffer << piece;
    } catch (...) {
        // Out of memory while logging: drop the piece, never the caller's work.
    }
}

CModuleLogStream& CModuleLogStream::operator<<(const std::string& text) {
    Write(text);
    return *this;
}

CModuleLogStream& CModuleLogStream::operator<<(const char* text) {
    Write(text);
    return *this;
}

CModuleLogStream& CModuleLogStream::operator<<(std::uint64_t number) {
    Write(number);
    return *this;
}

}  // namespace Module
}  // namespace Common
}  // namespace Kol
