#include <cstdint>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "contracts/logs/CleanupStatusSymbol.h"
#include "framework/message/CEventLog.h"
#include "host/kernel/CHostLogger.h"
#include "host/kernel/CStatusEventRecorder.h"
#include "host/report/CRunReport.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Common::Message::Logs::CEventLog;
using Kol::Host::CRunReport;
using Kol::Host::Testing::CTestStore;

// An event log of `type` with a level and, from 0 up, a progress code.
boost::shared_ptr<CEventLog> Event(Kol::Common::Kernel::MessageType type, std::int64_t progress) {
    const auto event = boost::make_shared<CEventLog>(type);
    event->GetSymbols()->AddSymbol(Kol::Common::Logs::CleanupStatusLevelCode, std::int32_t(2));
    if (progress >= 0) {
        event->GetSymbols()->AddSymbol(Kol::Common::Logs::CleanupStatusProgressCode, progress);
    }
    event->SetReadOnly();
    return event;
}

// Each event log becomes one row (its bytes and a refused one are checked end
// to end), a status event's progress goes to the report; a status event
// without one is stored yet fails the run, since the result is unknown.
TEST(StatusEventRecorder, StoresEachEventLogAndFailsTheRunOnAStatusWithoutProgress) {
    const Kol::Host::Testing::CScratchDirectory scratch;
    const std::string path = scratch.path + "/agent.db";
    std::ostringstream out;
    const auto report = boost::make_shared<CRunReport>();
    Kol::Host::CStatusEventRecorder recorder(
        CTestStore::OpenStore(path), boost::make_shared<Kol::Host::CHostLogger>(out, 1), report);
    for (const auto& event : {Event(Kol::Common::Kernel::MessageTypeCleanupStatusEvent, 20),
                              Event(Kol::Common::Kernel::MessageTypeServiceStateEvent, -1),
                              Event(Kol::Common::Kernel::MessageTypeCleanupStatusEvent, -1),
                              boost::shared_ptr<CEventLog>()}) {
        recorder.OnSent(event, nullptr);
    }
    EXPECT_EQ(std::regex_replace(out.str(), std::regex("\\S+Z "), ""),
              "INFO host: status event 10368 EventLog_CLEANUP_STATUS stored as row 1: progress 20, "
              "level 2\nINFO host: status event 10370 EventLog_SERVICE_STATE stored as row 2, "
              "level 2\nERROR host: message EventLog_CLEANUP_STATUS was not stored: it has no "
              "progress code\nWARNING host: message (none) was not stored: it is not an event "
              "log\n");
    EXPECT_EQ(CTestStore(path).Ints("SELECT message_type FROM status_events ORDER BY id"),
              (std::vector<std::int64_t>{10368, 10370, 10368}));
    ASSERT_EQ(report->GetStatusEvents().size(), 1u);
    EXPECT_EQ(report->GetStatusEvents()[0].progress, 20);
    EXPECT_EQ(report->GetStatusEventFailure(), "it has no progress code");
    EXPECT_TRUE(report->HasFailed(false));
}

}  // namespace
