// The name lookup of a networked port, bounded by the open's deadline. The system's lookup may
// block far longer than the 2 s an open may take (a name server that does not answer), and it
// cannot be cancelled: it runs on a thread of its own, and the open waits for its answer until
// the deadline. An answer that comes later is dropped by the thread that made it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/serial_os.h"

namespace ovx::platform::detail {

// One address the lookup found, as socket() and connect() take it.
struct Endpoint {
    int family = 0;
    int socketType = 0;
    int protocol = 0;
    std::vector<unsigned char> address; // the socket address, byte for byte
};

enum class LookupStatus {
    kFound,    // endpoints holds at least one address
    kNotFound, // the name is known to have no address
    kFailed,   // the lookup failed otherwise; why says how
    kNoAnswer, // no answer by the deadline
};

struct LookupResult {
    LookupStatus status = LookupStatus::kNoAnswer;
    std::vector<Endpoint> endpoints;
    std::string why;
};

using LookupFunction = std::function<LookupResult()>;

// Runs lookup on a thread of its own and waits for its answer until deadline; kNoAnswer when
// none came by then.
LookupResult LookupWithin(LookupFunction lookup, Deadline deadline);

// The system's lookup of a TCP stream to host (a name or a numeric address) and port (digits);
// one file per OS (net_port_posix.cpp, net_port_win32.cpp).
LookupResult LookupHost(const std::string& host, const std::string& port);

} // namespace ovx::platform::detail
