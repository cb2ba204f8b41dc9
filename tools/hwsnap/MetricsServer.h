#pragma once
// `hwsnap --listen`: serves GET /metrics over HTTP for a monitoring engine to scrape.

#include "tools/hwsnap/OpenMetricsFormat.h"

#include <functional>
#include <optional>
#include <string>

namespace hwsnap {

struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 0;
};

// "ADDR:PORT", "[V6ADDR]:PORT", ":PORT" or "PORT" (loopback then); nullopt when malformed.
std::optional<ListenAddress> parseListenAddress(const std::string& text);

// Takes a snapshot and formats it; never called by two requests at once.
using ExpositionSource = std::function<std::string(Exposition)>;

// Serves until SIGINT or SIGTERM; returns the exit status (1 when the address cannot be bound).
int serveMetrics(const ListenAddress& address, const ExpositionSource& source);

} // namespace hwsnap
