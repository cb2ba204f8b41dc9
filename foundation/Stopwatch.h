#pragma once

namespace qel {

// Elapsed seconds on the platform's monotonic clock (a simulated machine controls it).
class Stopwatch {
public:
    Stopwatch();
    void reset();
    double getElapsed() const;

private:
    double start_;
};

} // namespace qel
