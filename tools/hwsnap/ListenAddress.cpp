#include "tools/hwsnap/ListenAddress.h"

#include <charconv>

namespace hwsnap {

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
    ListenAddress address;
    std::string port = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        std::string host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        } else if (host.find(':') != std::string::npos) {
            return std::nullopt; // an IPv6 address needs its brackets
        }
        if (!host.empty()) {
            address.host = host;
        }
    }
    const auto result = std::from_chars(port.data(), port.data() + port.size(), address.port);
    if (port.empty() || result.ec != std::errc() || result.ptr != port.data() + port.size() ||
        address.port < 0 || address.port > 65535) {
        return std::nullopt;
    }
    return address;
}

} // namespace hwsnap
