#include "platform/net_address.h"

#include <array>
#include <cctype>
#include <string_view>
#include <utility>

namespace ovx::platform::detail {
namespace {

constexpr std::array<std::pair<std::string_view, NetProtocol>, 2> kSchemes{{
    {"tcp://", NetProtocol::kRawTcp},
    {"rfc2217://", NetProtocol::kRfc2217},
}};

constexpr long kMaxPortNumber = 65535;

bool AllDigits(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

// A host name or IPv4 address: letters, digits, dots, hyphens, underscores.
bool PlainHost(const std::string& host) {
    for (const char c : host) {
        const bool ok =
            std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return !host.empty();
}

bool Ipv6Host(const std::string& host) {
    for (const char c : host) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0 && c != ':' && c != '.') {
            return false;
        }
    }
    return host.find(':') != std::string::npos;
}

// Splits "HOST:PORT" or "[V6]:PORT"; false with error set.
bool SplitHostPort(const std::string& rest, NetAddress& address, std::string& error) {
    std::size_t colon = std::string::npos;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) {
            error = "unclosed [ around the host";
            return false;
        }
        address.host = rest.substr(1, close - 1);
        if (!Ipv6Host(address.host)) {
            error = "no IPv6 address in the brackets";
            return false;
        }
        colon = close + 1 < rest.size() && rest[close + 1] == ':' ? close + 1 : std::string::npos;
    } else {
        colon = rest.rfind(':');
        address.host = rest.substr(0, colon);
        if (address.host.empty()) {
            error = "no host";
            return false;
        }
        if (!PlainHost(address.host)) {
            error = "the host \"" + address.host + "\" is no host name or address";
            return false;
        }
    }
    if (colon == std::string::npos || colon + 1 == rest.size()) {
        error = "no port number";
        return false;
    }
    address.port = rest.substr(colon + 1);
    if (!AllDigits(address.port) || address.port.size() > 5 || std::stol(address.port) < 1 ||
        std::stol(address.port) > kMaxPortNumber) {
        error = "the port must be a number 1 to 65535";
        return false;
    }
    return true;
}

} // namespace

bool IsNetAddress(const std::string& text) {
    for (const auto& [scheme, protocol] : kSchemes) {
        if (text.starts_with(scheme)) {
            return true;
        }
    }
    return false;
}

bool ParseNetAddress(const std::string& text, NetAddress& address, std::string& error) {
    for (const auto& [scheme, protocol] : kSchemes) {
        if (!text.starts_with(scheme)) {
            continue;
        }
        address = {};
        address.protocol = protocol;
        if (SplitHostPort(text.substr(scheme.size()), address, error)) {
            return true;
        }
        error += " in " + text + " (" + std::string(scheme) + "HOST:PORT)";
        return false;
    }
    error = text + " is no network address (tcp://HOST:PORT or rfc2217://HOST:PORT)";
    return false;
}

} // namespace ovx::platform::detail
