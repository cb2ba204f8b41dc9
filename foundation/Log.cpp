#include "foundation/Log.h"

#include "foundation/Mutex.h"

#include <map>
#include <memory>

namespace qel {
namespace {

struct LogState {
    Mutex mutex;
    int threshold = kPriorityTrace;
    LogSink sink;
    std::map<std::u16string, std::unique_ptr<Logger>> loggers;
};

LogState& state() {
    static LogState instance;
    return instance;
}

} // namespace

bool Logger::isEnabled(int messagePriority) const {
    return LogFactory::getPriority() <= messagePriority && priority < messagePriority;
}

void Logger::log(int messagePriority, const LoggerStream& stream) const {
    LogSink sink;
    {
        AutoMutex lock(state().mutex);
        sink = state().sink;
    }
    if (sink) {
        sink(name_, messagePriority, stream.getText());
    }
}

int LogFactory::getPriority() {
    AutoMutex lock(state().mutex);
    return state().threshold;
}

void LogFactory::setPriority(int priority) {
    AutoMutex lock(state().mutex);
    state().threshold = priority;
}

void LogFactory::createLogger(const String& name, Logger*& logger) {
    AutoMutex lock(state().mutex);
    auto& slot = state().loggers[name.u16()];
    if (!slot) {
        slot = std::make_unique<Logger>(name);
    }
    logger = slot.get();
}

LogSink LogFactory::setSink(LogSink sink) {
    AutoMutex lock(state().mutex);
    std::swap(state().sink, sink);
    return sink;
}

} // namespace qel
