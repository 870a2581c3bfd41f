#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IBusResource.h"
#include "contracts/kernel/IConfigurationResource.h"
#include "contracts/kernel/IIdGeneratorResource.h"
#include "contracts/kernel/IInstallConfigurationResource.h"
#include "contracts/kernel/ILoggerResource.h"
#include "contracts/kernel/IMessage.h"
#include "contracts/kernel/IModule.h"
#include "framework/module/CModuleLogStream.h"
#include "framework/module/LogLevel.h"

namespace Kol {
namespace Common {
namespace Module {

class CReplyProcessor;
class IMessageProcessor;

// Framework base of every agent module: takes the kernel resources, owns the
// message processing threads and the reply processor, and offers hooks with
// empty default bodies to the derived module.
//
// The kernel calls the IModule operations from its own threads, one at a time;
// the module adds no lock around them.
class CCommonModule : public Kernel::IModule {
public:
    class CMessageProcessorThreadHolder;
    typedef boost::shared_ptr<CMessageProcessorThreadHolder> ThreadHolderPtr;

    // `name` is the concrete module's name: GetName, the module name of its log
    // lines and the name of its subscribers.
    explicit CCommonModule(std::string name);
    // Releases the thread holders (interrupting and joining their threads),
    // the reply processor, then the resources in reverse order of acquisition.
    ~CCommonModule() override;

    CCommonModule(const CCommonModule&) = delete;
    CCommonModule& operator=(const CCommonModule&) = delete;

    // Takes the bus (1), logger (3), identifier generator (4), installation
    // configuration (2) and configuration (11) resources in this order, creates
    // the reply processor, then calls OnInitialize. Throws std::runtime_error
    // "Bad cast to Kol::Common::Kernel::I...Resource" for the first one that is
    // missing or of another type; later ones are then not requested.
    void Initialize(const Kernel::IResourceProviderPtr& provider) override;

    // Under the system user: arms the processing threads (a thread starts at
    // once for queued messages, otherwise with the next message), then calls
    // OnStart. Passes on boost::thread_resource_error when no thread can be
    // created.
    void Start() override;

    // Runs OnStopRequested under the system user.
    void RequestStop() override;

    // Under the system user; false without any change when CanStop refuses.
    // Forced: disables every holder, interrupts and joins its thread (which
    // logs how many messages it leaves queued) and returns true; no thread
    // starts again. Graceful: returns true when every queue is empty and
    // nothing is being processed, after the threads have left; arriving
    // messages then wait for the next Start. Otherwise re-arms, calls OnStart
    // and returns false. Throws boost::thread_resource_error "boost thread:
    // trying joining itself" when called on a processing thread of this module.
    bool Stop(bool force) override;

    // The name given at construction.
    std::string GetName() const override;

    // Writes `text` at level 4 at once, whatever the logger's threshold.
    void LogError(const std::string& text) const;

    // Streams for one log line at the given level (see CModuleLogStream).
    CModuleLogStream LogStream(std::int32_t level) const;
    CModuleLogStream LogInfo() const { return LogStream(Information); }
    CModuleLogStream LogErrorStream() const { return LogStream(Error); }

    // Sends `message` on the bus with the calling thread's current user
    // context (an empty context is made if the thread has none). Any thread;
    // requires a successful Initialize (std::logic_error otherwise).
    void SendMessage(const Kernel::IMessagePtr& message);

    // The holders of the processing threads, in subscription order. For
    // diagnostics and tests; the list is fixed once Initialize has returned.
    const std::list<ThreadHolderPtr>& GetThreadHolders() const { return m_threadHolders; }

protected:
    virtual void OnInitialize(const Kernel::IResourceProviderPtr& provider);
    virtual void OnStart();
    virtual void OnStopRequested();
    virtual bool CanStop(bool force);

public:
    virtual Kernel::ILoggerResourcePtr GetLoggerResource() const;

protected:
    // Creates a subscriber and a thread holder for `processor`, subscribes
    // every type in `types` on the bus, in list order, and keeps the holder.
    // Starts no thread. Called from OnInitialize; passes on what the bus's
    // Subscribe throws.
    void SubscribeMessageTypes(const std::vector<std::int32_t>& types,
                               const boost::shared_ptr<IMessageProcessor>& processor);

    const std::string m_name;  // GetName
    Kernel::IBusResourcePtr m_busResource;
    Kernel::ILoggerResourcePtr m_loggerResource;
    Kernel::IIdGeneratorResourcePtr m_idGeneratorResource;
    Kernel::IInstallConfigurationResourcePtr m_installConfigurationResource;
    Kernel::IConfigurationResourcePtr m_configurationResource;
    boost::shared_ptr<CReplyProcessor> m_replyProcessor;
    std::list<ThreadHolderPtr> m_threadHolders;

private:
    // Start's work on every holder, in order.
    void ArmThreads();
};

}  // namespace Module
}  // namespace Common
}  // namespace Kol
