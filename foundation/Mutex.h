#pragma once

#include <mutex>

namespace qel {

class Mutex {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

// Holds a mutex locked for its own lifetime.
class AutoMutex {
public:
    explicit AutoMutex(Mutex& mutex) : mutex_(mutex) { mutex_.lock(); }
    ~AutoMutex() { mutex_.unlock(); }
    AutoMutex(const AutoMutex&) = delete;
    AutoMutex& operator=(const AutoMutex&) = delete;

private:
    Mutex& mutex_;
};

// Locking policy of a shared pointer: each handle locks its own mutex.
struct AutoMutexLockingPolicy {
    using Lock = AutoMutex;
};

} // namespace qel
