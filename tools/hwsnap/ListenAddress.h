#pragma once
// Where `hwsnap --listen` serves.

#include <optional>
#include <string>

namespace hwsnap {

struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 0;
};

// "ADDR:PORT", "[V6ADDR]:PORT", ":PORT" or "PORT" (loopback then); nullopt when malformed.
std::optional<ListenAddress> parseListenAddress(const std::string& text);

} // namespace hwsnap
