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

TEST_F(LogTest, LoggersAreSharedByName) {
    Logger* first = nullptr;
    Logger* again = nullptr;
    Logger* other = nullptr;
    LogFactory::createLogger("libOSWindows.WindowsDrive", first);
    LogFactory::createLogger("libOSWindows.WindowsDrive", again);
    LogFactory::createLogger("libOSWindows.WindowsDrivE", other);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    EXPECT_EQ(first->getName(), "libOSWindows.WindowsDrive");
}

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
        {kPriorityWarning, -1, kPriorityError, true},
        {kPriorityWarning, -1, kPriorityInfo, false},          // threshold above P
        {kPriorityDebug, kPriorityInfo, kPriorityInfo, false}, // level not below P
        {kPriorityDebug, kPriorityInfo, kPriorityWarning, true},
        {kPriorityTrace, kPriorityFatal, kPriorityFatal, false},
        {kPriorityFatal, -1, kPriorityError, false},
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

TEST_F(LogTest, WithoutASinkMessagesAreDropped) {
    Logger* logger = nullptr;
    LogFactory::createLogger("test.dropped", logger);
    const LogSink mine = LogFactory::setSink(nullptr);
    LoggerStream stream;
    stream.append("lost");
    logger->log(kPriorityError, stream);
    EXPECT_TRUE(static_cast<bool>(mine)) << "setSink gives back the previous sink";
    LogFactory::setSink(mine);
    EXPECT_TRUE(messages.empty()) << "a message logged without a sink was kept";
    logger->log(kPriorityError, stream);
    EXPECT_EQ(messages.size(), 1u);
}

} // namespace
} // namespace qel
