#pragma once
// For tests: every message logged while it lives, as "logger priority text". The sink and the
// threshold it found are put back at its end.

#include "foundation/Log.h"

#include <string>
#include <vector>

namespace qel::test {

class CapturedLog {
public:
    CapturedLog() {
        previous_ = LogFactory::setSink([this](const String& logger, int priority,
                                               const String& text) {
            lines.push_back(logger.toUtf8() + " " + std::to_string(priority) + " " + text.toUtf8());
        });
    }
    ~CapturedLog() {
        LogFactory::setSink(previous_);
        LogFactory::setPriority(priority_);
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::vector<std::string> lines;

private:
    int priority_ = LogFactory::getPriority();
    LogSink previous_;
};

} // namespace qel::test
