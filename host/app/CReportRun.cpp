#include "host/app/CReportRun.h"

#include <ctime>
#include <memory>
#include <stdexcept>

#include <boost/shared_ptr.hpp>

#include "host/app/CRefusal.h"
#include "host/app/CRunSettings.h"
#include "host/cli/ExitStatus.h"
#include "host/health/CStoreReport.h"
#include "host/health/CStoreReportWriter.h"
#include "host/kernel/CHostLogger.h"
#include "host/store/CStoreFactory.h"
#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CReportRun::CReportRun(const CHostOptions& options, std::ostream& out, std::ostream& err)
    : m_options(options), m_out(out), m_err(err) {}

int CReportRun::Run() {
    const CRunSettings settings(m_options);
    int status = kExitUnusable;
    try {
        StoreOptions storeOptions = settings.ForStore([] { return false; });
        storeOptions.readOnly = true;
        storeOptions.create = false;
        const boost::shared_ptr<IStore> store = CStoreFactory::Open(storeOptions);
        const CRunSettings::Identity identity = settings.Check(*store);
        status = kExitFailed;  // from here on the store is usable, reading it failed
        CStoreReport::Context context;
        context.name = settings.StoreName();
        context.installationUuid = identity.newInstallationUuid
                                       ? "none yet (the first real run makes one)"
                                       : identity.installationUuid;
        context.installationKind = m_options.installationKind;
        context.retention = identity.retention;
        context.now = static_cast<std::int64_t>(std::time(nullptr));
        context.sizeLimits = m_options.sizeLimits;
        const CStoreReport::Figures figures = CStoreReport::Take(*store, context);
        m_out << (m_options.output == CHostOptions::Output::kJson
                      ? CStoreReportWriter::Json(figures)
                      : CStoreReportWriter::Text(figures));
        return kExitSucceeded;
    } catch (const CRefusal& e) {
        status = e.Status();
        m_err << CHostLogger::ErrorPrefix(m_err)
              << "cleanup-agent: --report: " << CHostLogger::Escape(e.what()) << std::endl;
    } catch (const std::exception& e) {
        m_err << CHostLogger::ErrorPrefix(m_err)
              << "cleanup-agent: --report: " << CHostLogger::Escape(e.what()) << std::endl;
    }
    return status;
}

}  // namespace Host
}  // namespace Kol
