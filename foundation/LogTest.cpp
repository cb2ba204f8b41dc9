#include "foundation/Log.h"

#include "foundation/testing/CapturedLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qel {
namespace {

// The sink and the threshold are put back after each test.
class LogTest : public ::testing::Test {
protected:
    test::CapturedLog log;
};

TEST_F(LogTest, Gate) {
    Logger* logger = nullptr;
    LogFactory::createLogger("test.gate", logger);
    struct Case {
        int threshold;
        int level;
        int priority;
        bool enabled;
    };
    const Case cases[] = {
        {kPriorityWarning, -1, kPriorityWarning, true},        // threshold equal to P
        {kPriorityWarning, -1, kPriorityInfo, false},          // threshold above P
        {kPriorityDebug, kPriorityInfo, kPriorityInfo, false}, // level not below P
        {kPriorityDebug, kPriorityInfo, kPriorityWarning, true},
        {kPriorityTrace, kPriorityFatal, kPriorityFatal, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "threshold " << c.threshold << " level " << c.level << " P " << c.priority);
        LogFactory::setPriority(c.threshold);
        logger->priority = c.level;
        EXPECT_EQ(logger->isEnabled(c.priority), c.enabled);
    }
    logger->priority = -1;
}

TEST_F(LogTest, SinkReceivesLoggerPriorityAndText) {
    Logger* logger = nullptr;
    LogFactory::createLogger("test.sink", logger);
    LoggerStream stream;
    stream.append("5 ").append("volume \xC3\xBC not listed");
    logger->log(kPriorityWarning, stream);
    EXPECT_EQ(log.lines, std::vector<std::string>{"test.sink 3 5 volume \xC3\xBC not listed"});
}

} // namespace
} // namespace qel
