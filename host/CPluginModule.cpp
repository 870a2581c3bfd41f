#include "host/CPluginModule.h"

#include <stdexcept>

#include <Poco/Exception.h>

namespace Kol {
namespace Host {

CPluginModule::CPluginModule(const std::string& libraryPath, const std::string& className)
    : m_path(libraryPath) {
    try {
        m_loader.loadLibrary(libraryPath);
    } catch (const Poco::Exception& e) {
        throw std::runtime_error("cannot load plug-in " + libraryPath + ": " + e.displayText());
    }
    try {
        m_module.reset(m_loader.create(className));
    } catch (const Poco::Exception& e) {
        m_loader.unloadLibrary(libraryPath);
        throw std::runtime_error("plug-in " + libraryPath + " does not publish " + className +
                                 ": " + e.displayText());
    } catch (const std::exception& e) {
        m_loader.unloadLibrary(libraryPath);
        throw std::runtime_error("plug-in " + libraryPath + " cannot create " + className + ": " +
                                 e.what());
    }
}

CPluginModule::~CPluginModule() {
    Destroy();
    try {
        m_loader.unloadLibrary(m_path);
    } catch (const Poco::Exception&) {
        // Nothing to unload.
    }
}

void CPluginModule::Initialize(const Common::Kernel::IResourceProviderPtr& provider) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_module) {
        m_module->Initialize(provider);
    }
}

void CPluginModule::Start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_module) {
        m_module->Start();
    }
}

void CPluginModule::RequestStop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_module) {
        m_module->RequestStop();
    }
}

bool CPluginModule::Stop(bool force) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_module ? m_module->Stop(force) : true;
}

std::string CPluginModule::GetName() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_module ? m_module->GetName() : std::string();
}

void CPluginModule::Destroy() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_module.reset();
}

}  // namespace Host
}  // namespace Kol
