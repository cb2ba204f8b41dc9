#pragma once
// The foundation's exceptions, thrown by value and caught as qel::Exception.

#include "foundation/String.h"

#include <exception>
#include <string>

namespace qel {

class Exception : public std::exception {
public:
    explicit Exception(String message);
    const String& getMessage() const { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    String message_;
    std::string utf8_;
};

// A block could not be allocated (an array that cannot grow, for one).
class NullPointer : public Exception {
public:
    explicit NullPointer(String message) : Exception(std::move(message)) {}
};

class SerializationFailed : public Exception {
public:
    explicit SerializationFailed(String message) : Exception(std::move(message)) {}
};

class IndexOutOfBounds : public Exception {
public:
    IndexOutOfBounds(int low, int high, int index);
    int getLow() const { return low_; }
    int getHigh() const { return high_; }
    int getIndex() const { return index_; }

private:
    int low_;
    int high_;
    int index_;
};

} // namespace qel
