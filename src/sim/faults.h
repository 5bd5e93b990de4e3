// Faults the virtual controller can be told to show, from the command line or the API.
#pragma once

#include <string>

namespace ovx::sim {

struct Faults {
    bool silent = false;         // answer nothing at all
    int echoAck = -1;            // >= 0: word 0 of the echo reply (instead of 0x00AA)
    bool noEcho = false;         // the echo request is not answered
    int cutReplyTo = -1;         // >= 0: every reply is cut to this many bytes
    int garbageBytes = 0;        // this many random bytes are sent before every reply
    int slowMs = 0;              // extra delay before every reply
    int rejectFlashAtBlock = -1; // >= 0: order 20 for block k of a page is rejected (0x0000)
    int flashAddressAck = -1;    // >= 0: word 0 of every order-20 reply (instead of 0x00AA)
    int flashBlockAnswer = -1;   // >= 0: word 0 of every order-21 reply (instead of 0, 1, 2)
    int dropEveryKthLive = 0;    // > 0: every k-th order-8 reply is left out
    int unplugAfterFrames = -1;  // >= 0: the line is closed after this many requests
};

// Parses one "--fault-name[=value]" option (see FaultOptionsHelp) into faults.
// Returns true when arg is a fault option and was taken. Returns false with error empty when
// arg is no fault option (the caller handles it), and false with a message in error when it is
// a fault option with a missing or malformed value.
bool ParseFaultOption(const std::string& arg, Faults& faults, std::string& error);
const char* FaultOptionsHelp();

} // namespace ovx::sim
