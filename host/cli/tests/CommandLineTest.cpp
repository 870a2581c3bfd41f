#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/cli/CCommandLine.h"
#include "host/cli/COperationCatalog.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::CCommandLine;
using Kol::Host::CHostOptions;
using Kol::Host::COperationCatalog;
using Kol::Host::Testing::CTestStore;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::ThrowsMessage;

const char* const kModule = "/opt/agent/libCleanupAgent.so";

CCommandLine::Setup MakeSetup(const std::string& defaultConfig = "") {
    CCommandLine::Setup setup;
    setup.defaultModule = kModule;
    setup.defaultConfig = defaultConfig;
    return setup;
}

CHostOptions Parse(const std::vector<std::string>& arguments) {
    return CCommandLine::Parse(arguments, MakeSetup());
}

// The words of `text`, split at spaces.
std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

TEST(CommandLine, DefaultsWithoutArguments) {
    const CHostOptions o = Parse({});
    EXPECT_EQ(std::tie(o.db, o.module, o.installationKind, o.logLevel, o.batchRows, o.config),
              std::make_tuple("agent.db", kModule, 1, 2, 10000u, ""));
    EXPECT_FALSE(o.help || o.installationUuid || o.retentionDays || o.requestUuids || o.dryRun ||
                 o.seedRows || !o.operations.empty() || !o.sources.empty());
}

TEST(CommandLine, OperationWordsByNumberNameDashedNameAndAll) {
    const struct {
        std::vector<std::string> words;
        std::vector<std::int32_t> operations;
    } cases[] = {
        {{"7"}, {7}},
        {{"OLD_LOGS"}, {7}},
        {{"Old-Logs"}, {7}},
        {{"old_logs"}, {7}},
        {{"25", "0", "--", "-3"}, {25, 0, -3}},
        {{"2147483647", "--", "-2147483648"}, {2147483647, -2147483647 - 1}},
        {{"all"}, {1, 2, 3, 4, 5, 7, 12, 13, 14, 6}},
        {{"ALL", "indexes"}, {1, 2, 3, 4, 5, 7, 12, 13, 14, 6, 12}},
        {{"3", "3"}, {3, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(c.words).operations, c.operations) << c.words.front();
    }
    // Every name of the table, as the host prints it and as the library
    // spells it, means its number (the printed names themselves, in number
    // order: the "unknown operation" text below).
    for (const COperationCatalog::Operation& operation : COperationCatalog::All()) {
        EXPECT_EQ(Parse({operation.name, operation.enumeration}).operations,
                  std::vector<std::int32_t>(2, operation.number))
            << operation.name;
        EXPECT_EQ(COperationCatalog::NameOf(operation.number), operation.name);
    }
    EXPECT_EQ(COperationCatalog::NameOf(25), "25");
}

TEST(CommandLine, ValuesAreParsedAndUuidsLowerCased) {
    const CHostOptions o =
        Parse(Words("--db /tmp/x.db --module /m.so --installation-kind -7 --installation-uuid "
                    "0123ABCD-4567-89ab-CDEF-0123456789AB --retention 0,1,30,365,65535 "
                    "--log-level 4 --request 00000000-0000-0000-0000-000000000001,"
                    "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE,ffffffff-ffff-ffff-ffff-ffffffffffff "
                    "--seed-demo 200000 --batch-rows 1 --create --wait 30 --busy-timeout 0 "
                    "storage"));
    EXPECT_EQ(std::tie(o.db, o.module, o.installationKind, o.logLevel, *o.seedRows, o.batchRows,
                       o.create, o.waitSeconds, o.busyTimeoutSeconds, *o.retentionDays),
              std::make_tuple("/tmp/x.db", "/m.so", -7, 4, 200000u, 1u, true, 30u, 0u,
                              std::array<std::uint16_t, 5>{0, 1, 30, 365, 65535}));
    EXPECT_EQ(*o.installationUuid, "0123abcd-4567-89ab-cdef-0123456789ab");
    EXPECT_EQ(*o.requestUuids,
              (std::array<std::string, 3>{"00000000-0000-0000-0000-000000000001",
                                          "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee",
                                          "ffffffff-ffff-ffff-ffff-ffffffffffff"}));
    EXPECT_EQ(o.operations, std::vector<std::int32_t>{6});
}

TEST(CommandLine, UsageErrorsNameTheCulprit) {
    const std::string kUuid = "00000000-0000-0000-0000-000000000001";
    // The named operations; the placeholders, which only a number tells apart, by range.
    const std::string kValid =
        "replicated-logs, obsolete-delta-logs, event-logs, abandoned-logs, ignored-logs, "
        "storage, old-logs, indexes, enrollment-tombstones, static-objects, operation-N for "
        "8-11, 15-24, all, or a number";
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"backup"}, "unknown operation \"backup\"; valid: " + kValid},
        // A near miss gets the one name it likely meant (a swap is one edit).
        {{"old-log"},
         "unknown operation \"old-log\" (did you mean \"old-logs\"?); valid: " + kValid},
        {{"Storgae"},
         "unknown operation \"Storgae\" (did you mean \"storage\"?); valid: " + kValid},
        {{"al"}, "unknown operation \"al\" (did you mean \"all\"?); valid: " + kValid},
        {{"--retension", "1"}, "unrecognised option '--retension'; did you mean '--retention'?"},
        {{"--dry-rn"}, "unrecognised option '--dry-rn'; did you mean '--dry-run'?"},
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
        {{"--backup", ""}, "--backup: the file name is empty"},
        {{"--frobnicate"}, "unrecognised option '--frobnicate'"},
        {{"--db"}, "the required argument for option '--db' is missing"},
        {{"--wait", "86401"}, "--wait: \"86401\" is not a number of seconds from 0 to 86400"},
        {{"--busy-timeout", "-1"},
         "--busy-timeout: \"-1\" is not a number of seconds from 0 to 86400"},
        {{"--lock-timeout", "0"},
         "--lock-timeout: \"0\" is not a number of milliseconds from 1 to 60000"},
        {{"-q", "-v"}, "--quiet, --verbose and --log-level exclude each other (command line)"},
        {{"--dry-run", "--seed-demo", "1000"}, "--dry-run and --seed-demo exclude each other"},
        {{"--output", "xml"}, "--output: \"xml\" is not text or json"},
        {{"--inject-write-faults", "1,1"}, "unrecognised option '--inject-write-faults'"},
        {{"--config", "/nonexistent/x.conf"}, "--config: cannot read /nonexistent/x.conf"},
    };
    for (const auto& c : cases) {
        EXPECT_THAT([&] { Parse(c.arguments); }, ThrowsMessage<std::invalid_argument>(c.message))
            << c.arguments.front();
    }
}

TEST(CommandLine, HelpListsEveryOptionAndOperationWithinEightyColumns) {
    CCommandLine::Setup setup = MakeSetup();
    const std::string product = CCommandLine::Usage(setup);
    setup.testOptions.push_back(
        {"test-only", 0, "N", "for tests", CCommandLine::Section::kTest, nullptr, false});
    const std::string test = CCommandLine::Usage(setup);
    EXPECT_THAT(product, Not(HasSubstr("test-only")));
    EXPECT_THAT(test, HasSubstr("\nTest options (test build only):\n      --test-only N"));
    EXPECT_THAT(product, HasSubstr("\nAdvanced options:\n      --batch-rows N "));
    for (const CCommandLine::Option& option : CCommandLine::Options()) {
        EXPECT_THAT(product, HasSubstr(std::string("--") + option.name));
    }
    for (const char* line :
         {"  -h, --help ", "  -V, --version ", "  -q, --quiet ", "  -v, --verbose ",
          "\n   7  old-logs               OLD_LOGS\n        removes logs older than ",
          "\n  13  enrollment-tombstones  ENROLLMENT_TOMBSTONES\n        removes ",
          "\n   8  operation-8            OPERATION_8\n        not handled: fails\n",
          "\n  15  operation-15           OPERATION_15\n        a hook this module leaves "
          "empty\n"}) {
        EXPECT_THAT(product, HasSubstr(line));
    }
    std::istringstream lines(test);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        EXPECT_TRUE(line.empty() || line.back() != ' ') << line;
    }
}

// The command line wins over the file; -v logs the sources.
TEST(CommandLine, ConfigurationFileGivesDefaultsThatTheCommandLineOverrides) {
    const Kol::Host::Testing::CScratchDirectory directory;
    const std::string file = directory.path + "/cleanup-agent.conf";
    CTestStore::WriteFile(file,
                          "# comment\nretention = 1,2,3,4,5\nbatch-rows = 50\nverbose = true\n"
                          "dry-run = yes\ninstallation-kind = 2\n");
    const std::string from = "configuration file " + file;
    const CHostOptions o = CCommandLine::Parse(
        {"--config", file, "--batch-rows", "7", "--log-level", "3", "old-logs"}, MakeSetup());
    EXPECT_EQ(
        std::tie(o.config, *o.retentionDays, o.batchRows, o.logLevel, o.dryRun, o.installationKind),
        std::make_tuple(file, std::array<std::uint16_t, 5>{1, 2, 3, 4, 5}, 7u, 3, true, 2));
    const std::string cl = "command line";
    const std::map<std::string, std::string> sources = {
        {"batch-rows", cl}, {"config", cl},      {"dry-run", from}, {"installation-kind", from},
        {"log-level", cl},  {"retention", from}, {"verbose", from}};
    EXPECT_EQ(o.sources, sources);
    // The default file is read only when it exists; --help never reads it.
    EXPECT_EQ(CCommandLine::Parse({}, MakeSetup(file)).batchRows, 50u);
    EXPECT_EQ(CCommandLine::Parse({}, MakeSetup(file + ".absent")).batchRows, 10000u);
    CTestStore::WriteFile(file, "batch-rows = 0\n");
    EXPECT_TRUE(CCommandLine::Parse({"-h"}, MakeSetup(file)).help);
    // Every mistake is told at its line, blanks and comments counted.
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"# x\n\nwait = 1\nbatch-rows = 0\n",
         ":4: --batch-rows: \"0\" is not a number of rows from 1 to 10000"},
        {"wait = 1\nfrobnicate = 1\n", ":2: unrecognised option 'frobnicate'"},
        {"wait = 1 # a\n  retension = 1\n",
         ":2: unrecognised option 'retension'; did you mean 'retention'?"},
        {"help = true\n", ":1: unrecognised option 'help'"},
        {"dry-run = maybe\n", ":1: --dry-run: \"maybe\" is not true or false"},
        {"quiet = true\n#\nverbose = true\n",
         ":3: --quiet, --verbose and --log-level exclude each other"},
        {"wait = 1\nwait = 2\n", ":2: option 'wait' cannot be specified more than once"},
        {"wait = 1\n[x]\nwait = 2\n", ":3: unrecognised option 'x.wait'; did you mean 'wait'?"},
        {"wait = 1\nretention\n",
         ":2: the options configuration file contains an invalid line 'retention'"},
    };
    for (const auto& c : cases) {
        CTestStore::WriteFile(file, c.text);
        EXPECT_THAT([&] { CCommandLine::Parse({}, MakeSetup(file)); },
                    ThrowsMessage<std::invalid_argument>(file + c.message));
    }
    // The shipped example: each key it shows, set, is valid (except the
    // exclusive level keys, which it shows together).
    const std::string example = CTestStore::ReadFile(CLEANUP_CONFIG_EXAMPLE);
    const std::regex key(R"(\n#(?!quiet |verbose )([a-z-]+ = ))");
    EXPECT_EQ(std::distance(std::sregex_iterator(example.begin(), example.end(), key),
                            std::sregex_iterator()),
              19);
    CTestStore::WriteFile(file, std::regex_replace(example, key, "\n$1"));
    EXPECT_EQ(*CCommandLine::Parse({"--config", file}, MakeSetup()).retentionDays,
              (std::array<std::uint16_t, 5>{30, 90, 180, 365, 730}));
}

// A --module without a slash is a plug-in of the default one's folder: NAME,
// else libNAME.so; a path is taken as it is.
TEST(CommandLine, ABareModuleNameIsFoundInThePlugInFolder) {
    const Kol::Host::Testing::CScratchDirectory directory;
    const std::string folder = directory.path;
    CTestStore::WriteFile(folder + "/libHello.so", "");
    CTestStore::WriteFile(folder + "/Plain", "");
    CTestStore::WriteFile(folder + "/libPlain.so", "");
    CCommandLine::Setup setup = MakeSetup();
    setup.defaultModule = folder + "/libCleanupAgent.so";
    const struct {
        std::string module;
        std::string found;
    } cases[] = {
        {"Hello", folder + "/libHello.so"},   {"libHello.so", folder + "/libHello.so"},
        {"Plain", folder + "/Plain"},         {"Absent", folder + "/libAbsent.so"},
        {"absent.so", folder + "/absent.so"}, {"./Hello", "./Hello"},
        {"lib/Hello", "lib/Hello"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CCommandLine::Parse({"--module", c.module}, setup).module, c.found);
    }
    const std::string file = folder + "/a.conf";
    CTestStore::WriteFile(file, "module = Hello\n");
    EXPECT_EQ(CCommandLine::Parse({"--config", file}, setup).module, folder + "/libHello.so");
}

}  // namespace
