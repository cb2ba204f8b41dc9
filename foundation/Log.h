#pragma once
// Named loggers with a process-wide threshold. A library must not write to its host's streams:
// messages go to the sink a host installs, and are dropped when there is none.
// Priorities grow with severity (kDebug < kInfo < kWarning < kError < kFatal).

#include "foundation/String.h"

#include <functional>

namespace qel {

inline constexpr int kPriorityTrace = 0;
inline constexpr int kPriorityDebug = 1;
inline constexpr int kPriorityInfo = 2;
inline constexpr int kPriorityWarning = 3;
inline constexpr int kPriorityError = 4;
inline constexpr int kPriorityFatal = 5;

// One message, built from appended pieces.
class LoggerStream {
public:
    LoggerStream& append(const String& piece) {
        text_.append(piece);
        return *this;
    }
    const String& getText() const { return text_; }

private:
    String text_;
};

class Logger {
public:
    explicit Logger(String name) : name_(std::move(name)) {}
    const String& getName() const { return name_; }
    // The logger's own level: it logs only priorities above it.
    int priority = -1;
    // The gate a caller checks before building a message: the process-wide threshold is at most
    // `messagePriority` and the logger's own level is below it.
    bool isEnabled(int messagePriority) const;
    // Hands the message to the sink without checking the gate.
    void log(int messagePriority, const LoggerStream& stream) const;

private:
    String name_;
};

using LogSink = std::function<void(const String& logger, int priority, const String& message)>;

class LogFactory {
public:
    // The process-wide threshold: a message of priority P is logged only when this is <= P.
    static int getPriority();
    static void setPriority(int priority);
    // Fills `logger` with the process-wide logger of that name, created on first use.
    static void createLogger(const String& name, Logger*& logger);
    // The host's sink; an empty one drops messages. Returns the previous sink.
    static LogSink setSink(LogSink sink);
};

} // namespace qel
