#include "foundation/Log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qel {
namespace {

struct Message {
    std::u16string logger;
    int priority;
    std::u16string text;
};

// Installs a recording sink and a threshold for one test, and puts back what was there.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPriority_ = LogFactory::getPriority();
        savedSink_ =
            LogFactory::setSink([this](const String& logger, int priority, const String& text) {
                messages.push_back({logger.u16(), priority, text.u16()});
            });
    }
    void TearDown() override {
        LogFactory::setSink(savedSink_);
        LogFactory::setPriority(savedPriority_);
    }

    std::vector<Message> messages;

private:
    int savedPriority_ = 0;
    LogSink savedSink_;
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
        {kPriorityWarning, -1, kPriorityWarning, true}, // threshold equal to P
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
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].logger, u"test.sink");
    EXPECT_EQ(messages[0].priority, kPriorityWarning);
    EXPECT_EQ(messages[0].text, u"5 volume \u00FC not listed");
}

} // namespace
} // namespace qel
