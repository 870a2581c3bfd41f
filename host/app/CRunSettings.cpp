#include "host/app/CRunSettings.h"

#include <algorithm>
#include <exception>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "contracts/datadefinition/Cleanup.pb.h"
#include "host/app/CRefusal.h"
#include "host/cli/CCommandLine.h"
#include "host/cli/ExitStatus.h"
#include "host/mappers/CEventLogsMapper.h"
#include "host/store/CStoreFactory.h"
#include "host/store/IStore.h"

namespace Kol {
namespace Host {

namespace {

const std::array<std::uint16_t, 5> kDefaultRetention = {30, 90, 180, 365, 730};

}  // namespace

std::string CRunSettings::NewUuid() {
    static boost::uuids::random_generator generate;
    return boost::uuids::to_string(generate());
}

CRunSettings::CRunSettings(const CHostOptions& options)
    : m_options(options), m_storeName(CStoreFactory::DisplayName(options.db)) {}

std::string CRunSettings::JoinDays(const std::array<std::uint16_t, 5>& days) {
    std::string text;
    for (const std::uint16_t day : days) {
        text += (text.empty() ? "" : ",") + std::to_string(day);
    }
    return text;
}

StoreOptions CRunSettings::ForStore(const boost::function<bool()>& stopWaiting) const {
    StoreOptions store;
    store.db = m_options.db;
    store.backup = m_options.backup;
    store.create = (m_options.create || m_options.seedRows) && !m_options.dryRun;
    store.dryRun = m_options.dryRun;
    store.allowOtherOwner = m_options.allowOtherOwner;
    store.wait = std::chrono::seconds(m_options.waitSeconds);
    store.stopWaiting = stopWaiting;
    store.busyTimeout = std::chrono::seconds(m_options.busyTimeoutSeconds);
    store.lockTimeout = m_options.lockTimeout;
    store.vfs = m_options.vfs;
    return store;
}

CRunSettings::Identity CRunSettings::Check(IStore& store) const {
    Identity identity;
    try {
        identity = Read(store);
    } catch (const std::exception& e) {
        throw CRefusal(kExitUnusable, "cannot use store " + m_storeName + ": " + e.what());
    }
    if (m_options.seedRows && store.HasTable("logs")) {
        const std::int64_t logs = store.QueryInt64("SELECT count(*) FROM logs");
        if (logs > 0) {
            throw CRefusal(kExitUsage, "--seed-demo: " + m_storeName + " already holds " +
                                           std::to_string(logs) +
                                           " logs; seed only a new or empty store");
        }
    }
    return identity;
}

std::string CRunSettings::Given(const char* name, const std::string& otherwise) const {
    const auto source = m_options.sources.find(name);
    return source != m_options.sources.end() ? source->second : otherwise;
}

CRunSettings::Identity CRunSettings::Read(IStore& store) const {
    Identity identity;
    identity.retention = kDefaultRetention;
    const bool hasSettings = store.HasTable("settings");
    auto setting = [&store, hasSettings](const std::string& key) {
        return hasSettings ? store.GetSetting(key) : boost::optional<std::string>();
    };
    const std::vector<std::int32_t>& operations = m_options.operations;
    if (std::find(operations.begin(), operations.end(),
                  Common::DataDefinition::Cleanup::EVENT_LOGS) != operations.end()) {
        CEventLogsMapper::ParseKeepCount(setting("max_event_logs_per_type"));
    }
    identity.uuidSource = Given("installation-uuid", "");
    identity.retentionSource = Given("retention", "");
    if (m_options.installationUuid) {
        identity.installationUuid = *m_options.installationUuid;
    } else if (const boost::optional<std::string> kept = setting("installation_uuid")) {
        identity.installationUuid =
            CCommandLine::NormalizeUuid(*kept, "store setting installation_uuid");
        identity.uuidSource = "store setting installation_uuid";
    } else {
        identity.installationUuid = NewUuid();
        identity.newInstallationUuid = true;
        identity.uuidSource = m_options.dryRun ? "new, not kept: dry run"
                                               : "new, kept in store setting installation_uuid";
    }
    if (m_options.retentionDays) {
        identity.retention = *m_options.retentionDays;
        return identity;
    }
    std::string settings;
    std::size_t found = 0;
    for (std::size_t k = 0; k < identity.retention.size(); ++k) {
        const std::string key = "retention_days_" + std::to_string(k + 1);
        if (const boost::optional<std::string> days = setting(key)) {
            identity.retention[k] = CCommandLine::ParseDays(*days, "store setting " + key);
            settings += (settings.empty() ? "" : ", ") + key;
            ++found;
        }
    }
    identity.retentionSource = found == 0 ? "built-in default"
                               : found == identity.retention.size()
                                   ? "store settings " + settings
                                   : "store settings " + settings + ", else built-in default";
    return identity;
}

std::vector<std::string> CRunSettings::Sources(
    const Identity& identity, const std::array<std::string, 3>& requestUuids) const {
    const std::string byDefault = "built-in default";
    const SizeLimits& limits = m_options.sizeLimits;
    const struct {
        const char* name;
        std::string value;
        std::string source;
    } values[] = {
        {"db", m_storeName, Given("db", byDefault)},
        {"module", m_options.module, Given("module", byDefault)},
        {"output", m_options.output == CHostOptions::Output::kJson ? "json" : "text",
         Given("output", byDefault)},
        {"log-level", std::to_string(m_options.logLevel), Given("log-level", byDefault)},
        {"dry-run", m_options.dryRun ? "true" : "false", Given("dry-run", byDefault)},
        {"installation-kind", std::to_string(m_options.installationKind),
         Given("installation-kind", byDefault)},
        {"installation-uuid", identity.installationUuid, identity.uuidSource},
        {"retention", JoinDays(identity.retention), identity.retentionSource},
        {"request", requestUuids[0] + "," + requestUuids[1] + "," + requestUuids[2],
         m_options.requestUuids ? Given("request", byDefault) : "random"},
        {"batch-rows", std::to_string(m_options.batchRows), Given("batch-rows", byDefault)},
        {"max-size", limits.maxSize ? std::to_string(*limits.maxSize) : "none",
         Given("max-size", byDefault)},
        {"keep-free", limits.keepFree ? std::to_string(*limits.keepFree) : "none",
         Given("keep-free", byDefault)},
        {"min-age", std::to_string(limits.minAgeDays), Given("min-age", byDefault)},
    };
    std::vector<std::string> lines = {"configuration file: " + (m_options.config.empty()
                                                                    ? std::string("none")
                                                                    : m_options.config)};
    for (const auto& value : values) {
        lines.push_back(std::string("--") + value.name + " " + value.value + " (" + value.source +
                        ")");
    }
    return lines;
}

}  // namespace Host
}  // namespace Kol
