#pragma once
// The snapshot as a metrics exposition for a monitoring engine to scrape or a textfile collector
// to read: one family per measured quantity, in base units, labelled by what identifies a series.

#include "devicetree/Device.h"

#include <string>
#include <string_view>

namespace hwsnap {

enum class Exposition {
    OpenMetrics,    // application/openmetrics-text; version=1.0.0, ends with "# EOF"
    PrometheusText, // text/plain; version=0.0.4, the same lines without "# EOF"
};

// Families appear only where the tree has a value; snapshotSeconds is how long the snapshot took.
std::string formatOpenMetrics(const systemmonitor::Device& root, double snapshotSeconds,
                              Exposition flavor = Exposition::OpenMetrics);

// A label value as the exposition requires it: backslash, quote and newline escaped, other
// control characters and bytes that are not UTF-8 replaced by U+FFFD.
std::string escapeLabelValue(std::string_view text);

// A number in the exposition's syntax ("NaN", "+Inf", "-Inf", or the shortest round-trip form).
std::string formatSampleValue(double value);

// Megabytes (2^20 bytes) as the exact byte count they were made from.
double megabytesToBytes(double megabytes);

} // namespace hwsnap
