#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"
#include "contracts/kernel/IResourceProvider.h"
#include "framework/module/CCommonModule.h"
#include "framework/module/CFunctionCallMessageProcessor.h"

namespace Hello {

// A minimal agent module: it answers every cleanup request (message type 2)
// with log lines of its own and touches no data.
//
// The kernel calls Initialize, Start and Stop from its threads one at a time;
// requests arrive on the module's own processing thread.
class CHelloModule : public Kol::Common::Module::CCommonModule {
public:
    CHelloModule();
    ~CHelloModule() override;

    // Runs on the processing thread for each cleanup request.
    void ProcessCleanupRequest(const Kol::Common::Kernel::IMessagePtr& request);

protected:
    // Registers the request handler and subscribes its message type.
    void OnInitialize(const Kol::Common::Kernel::IResourceProviderPtr& provider) override;

private:
    boost::shared_ptr<Kol::Common::Module::CFunctionCallMessageProcessor> m_calls;
    std::uint64_t m_requests = 0;  // only touched on the processing thread
};

}  // namespace Hello
