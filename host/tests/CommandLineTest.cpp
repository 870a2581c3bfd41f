#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/CCommandLine.h"

namespace {

using Kol::Host::CCommandLine;
using Kol::Host::CHostOptions;

const char* const kModule = "/opt/agent/libCleanupAgent.so";

CHostOptions Parse(const std::vector<std::string>& arguments) {
    return CCommandLine::Parse(arguments, kModule);
}

std::string ParseError(const std::vector<std::string>& arguments) {
    try {
        Parse(arguments);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(CommandLine, DefaultsWithoutArguments) {
    const CHostOptions options = Parse({});
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.db, "agent.db");
    EXPECT_EQ(options.module, kModule);
    EXPECT_EQ(options.installationKind, 1);
    EXPECT_FALSE(options.installationUuid);
    EXPECT_FALSE(options.retentionDays);
    EXPECT_EQ(options.logLevel, 2);
    EXPECT_FALSE(options.requestUuids);
    EXPECT_FALSE(options.dryRun);
    EXPECT_FALSE(options.seedRows);
    EXPECT_EQ(options.batchRows, 10000u);
    EXPECT_TRUE(options.operations.empty());
}

TEST(CommandLine, OperationWordsByNumberNameDashedNameAndAll) {
    const struct {
        std::vector<std::string> words;
        std::vector<std::int32_t> operations;
    } cases[] = {
        {{"7"}, {7}},
        {{"OLD_LOGS"}, {7}},
        {{"old-logs"}, {7}},
        {{"Old-Logs"}, {7}},
        {{"old_logs"}, {7}},
        {{"enrollment-tombstones", "static-objects"}, {13, 14}},
        {{"operation-8"}, {8}},
        {{"25", "0", "--", "-3"}, {25, 0, -3}},
        {{"2147483647", "--", "-2147483648"}, {2147483647, -2147483647 - 1}},
        {{"all"}, {1, 2, 3, 4, 5, 7, 12, 13, 14, 6}},
        {{"ALL", "indexes"}, {1, 2, 3, 4, 5, 7, 12, 13, 14, 6, 12}},
        {{"3", "3"}, {3, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(c.words).operations, c.operations) << c.words.front();
    }
}

TEST(CommandLine, ValuesAreParsedAndUuidsLowerCased) {
    const CHostOptions options =
        Parse({"--db",
               "/tmp/x.db",
               "--module",
               "/m.so",
               "--installation-kind",
               "-7",
               "--installation-uuid",
               "0123ABCD-4567-89ab-CDEF-0123456789AB",
               "--retention",
               "0,1,30,365,65535",
               "--log-level",
               "4",
               "--request",
               "00000000-0000-0000-0000-000000000001,AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE,"
               "ffffffff-ffff-ffff-ffff-ffffffffffff",
               "--dry-run",
               "--seed-demo",
               "200000",
               "--batch-rows",
               "1",
               "storage"});
    EXPECT_EQ(options.db, "/tmp/x.db");
    EXPECT_EQ(options.module, "/m.so");
    EXPECT_EQ(options.installationKind, -7);
    EXPECT_EQ(*options.installationUuid, "0123abcd-4567-89ab-cdef-0123456789ab");
    const std::array<std::uint16_t, 5> days = {0, 1, 30, 365, 65535};
    EXPECT_EQ(*options.retentionDays, days);
    EXPECT_EQ(options.logLevel, 4);
    const std::array<std::string, 3> uuids = {"00000000-0000-0000-0000-000000000001",
                                              "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee",
                                              "ffffffff-ffff-ffff-ffff-ffffffffffff"};
    EXPECT_EQ(*options.requestUuids, uuids);
    EXPECT_TRUE(options.dryRun);
    EXPECT_EQ(*options.seedRows, 200000u);
    EXPECT_EQ(options.batchRows, 1u);
    EXPECT_EQ(options.operations, std::vector<std::int32_t>{6});
}

TEST(CommandLine, UsageErrorsNameTheCulprit) {
    const std::string kUuid = "00000000-0000-0000-0000-000000000001";
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"frobnicate"},
         "unknown operation \"frobnicate\": expected a number, an operation name such as "
         "OLD_LOGS or old-logs, or all"},
        {{"old logs"},
         "unknown operation \"old logs\": expected a number, an operation name such as "
         "OLD_LOGS or old-logs, or all"},
        {{"2147483648"}, "operation 2147483648 is not a 32-bit value"},
        {{"--retention", "30,90,180,365,70000"},
         "--retention: \"70000\" is not a number of days from 0 to 65535"},
        {{"--retention", "30,-1,180,365,730"},
         "--retention: \"-1\" is not a number of days from 0 to 65535"},
        {{"--retention", "30,90,180,365"},
         "--retention needs five day counts separated by commas, got 4"},
        {{"--request", "a,b,c"},
         "--request: \"a\" is not a UUID (expected 8-4-4-4-12 hexadecimal digits)"},
        {{"--request", kUuid + "," + kUuid},
         "--request needs three UUIDs separated by commas, got 2"},
        {{"--request", kUuid + "," + kUuid + ",00000000-0000-0000-0000-00000000000g"},
         "--request: \"00000000-0000-0000-0000-00000000000g\" is not a UUID (expected "
         "8-4-4-4-12 hexadecimal digits)"},
        {{"--installation-uuid", "{00000000-0000-0000-0000-000000000001}"},
         "--installation-uuid: \"{00000000-0000-0000-0000-000000000001}\" is not a UUID "
         "(expected 8-4-4-4-12 hexadecimal digits)"},
        {{"--installation-kind", "one"}, "--installation-kind: \"one\" is not a 32-bit integer"},
        {{"--installation-kind", "4294967296"},
         "--installation-kind: \"4294967296\" is not a 32-bit integer"},
        {{"--log-level", "5"}, "--log-level: \"5\" is not a level from 1 to 4"},
        {{"--log-level", "0"}, "--log-level: \"0\" is not a level from 1 to 4"},
        {{"--seed-demo", "-3"}, "--seed-demo: \"-3\" is not a number of rows"},
        {{"--batch-rows", "10001"},
         "--batch-rows: \"10001\" is not a number of rows from 1 to 10000"},
        {{"--db", ""}, "--db: the file name is empty"},
        {{"--frobnicate"}, "unrecognised option '--frobnicate'"},
        {{"--db"}, "the required argument for option '--db' is missing"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseError(c.arguments), c.message) << c.arguments.front();
    }
}

TEST(CommandLine, UsageListsEveryOptionWithItsDefault) {
    const std::string usage = CCommandLine::Usage(kModule);
    const char* const options[] = {"--db FILE",
                                   "--module FILE",
                                   "--installation-kind N",
                                   "--installation-uuid UUID",
                                   "--retention D1,D2,D3,D4,D5",
                                   "--log-level N",
                                   "--request UUID1,UUID2,UUID3",
                                   "--dry-run",
                                   "--seed-demo ROWS",
                                   "--batch-rows N",
                                   "--create",
                                   "--wait SECONDS",
                                   "--inject-write-faults AFTER,COUNT"};
    for (const char* option : options) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    std::size_t defaults = 0;
    for (std::string::size_type at = usage.find("(default:"); at != std::string::npos;
         at = usage.find("(default:", at + 1)) {
        ++defaults;
    }
    EXPECT_EQ(defaults, 13u);
    EXPECT_NE(usage.find(kModule), std::string::npos) << usage;
}

}  // namespace
