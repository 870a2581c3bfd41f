#include "framework/module/CModuleLogStream.h"
#include "framework/module/LogLevel.h"

#include <gtest/gtest.h>

#include "tests/kernel/CTestLogger.h"

namespace Kol::Common::Module {
namespace {

using Testing::CTestLogger;
typedef std::vector<CTestLogger::Record> Records;

TEST(CModuleLogStream, ThresholdDecidesOnceAtConstruction) {
    CTestLogger logger(3);
    {
        CModuleLogStream info(&logger, Information, "CCleanupModule");
        info << "dropped";
        EXPECT_FALSE(info.IsEnabled());
        EXPECT_FALSE(info.HasBuffer());
        CModuleLogStream error(&logger, Error, "CCleanupModule");
        error << "kept";
        // Lowering the threshold now does not wake the disabled stream.
        logger.SetLogLevel(1);
        info << " still dropped";
    }
    ASSERT_EQ(logger.Records().size(), 1u);
    EXPECT_EQ(logger.Records()[0], (CTestLogger::Record{"kept", Error, "CCleanupModule"}));
    EXPECT_EQ(logger.GetLevelQueries(), 2u);

    // The threshold itself is wanted.
    logger.Clear();
    logger.SetLogLevel(Warning);
    { CModuleLogStream(&logger, Warning, "M") << "at threshold"; }
    EXPECT_EQ(logger.Records(), (Records{{"at threshold", Warning, "M"}}));
}

TEST(CModuleLogStream, OneLinePerStreamWithNothingAdded) {
    CTestLogger logger(1);
    {
        CModuleLogStream stream(&logger, Debug, "CCleanupModule");
        stream << "There were " << static_cast<std::uint64_t>(5)
               << " messages left unprocessed in a queue";
    }
    ASSERT_EQ(logger.Records().size(), 1u);
    EXPECT_EQ(logger.Records()[0],
              (CTestLogger::Record{"There were 5 messages left unprocessed in a queue", Debug,
                                   "CCleanupModule"}));

    logger.Clear();
    { CModuleLogStream(&logger, Error, "M") << std::string("a") << "b" << 18446744073709551615ull; }
    EXPECT_EQ(logger.Records(), (Records{{"ab18446744073709551615", Error, "M"}}));
}

TEST(CModuleLogStream, EmptyOrDisabledStreamWritesNothing) {
    CTestLogger logger(1);
    { CModuleLogStream stream(&logger, Error, "M"); }
    { CModuleLogStream(&logger, Error, "M") << ""; }
    { CModuleLogStream(nullptr, Error, "M") << "no logger"; }
    EXPECT_TRUE(logger.Records().empty());
}

TEST(CModuleLogStream, MovedStreamWritesOnce) {
    CTestLogger logger(1);
    {
        CModuleLogStream first(&logger, Information, "M");
        first << "one ";
        CModuleLogStream second(std::move(first));
        second << "line";
        first << "ignored";
    }
    EXPECT_EQ(logger.Records(), (Records{{"one line", Information, "M"}}));
}

}  // namespace
}  // namespace Kol::Common::Module
