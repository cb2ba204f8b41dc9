#pragma once
// `hwsnap --listen`: serves GET /metrics over HTTP for a monitoring engine to scrape.

#include "tools/hwsnap/ListenAddress.h"
#include "tools/hwsnap/OpenMetricsFormat.h"

#include <functional>
#include <string>

namespace hwsnap {

// Takes a snapshot and formats it; never called by two requests at once.
using ExpositionSource = std::function<std::string(Exposition)>;

// Serves until SIGINT or SIGTERM; returns the exit status (1 when the address cannot be bound).
int serveMetrics(const ListenAddress& address, const ExpositionSource& source);

} // namespace hwsnap
