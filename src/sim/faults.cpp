#include "sim/faults.h"

#include <array>
#include <charconv>
#include <string_view>

namespace ovx::sim {

namespace {

enum class Value { kNone, kRequired };

struct FaultOption {
    std::string_view name;
    Value value;
    int min; // smallest value accepted
    int max;
    void (*apply)(Faults&, int);
};

constexpr std::array kOptions = {
    FaultOption{"--silent", Value::kNone, 0, 0, [](Faults& f, int) { f.silent = true; }},
    FaultOption{"--echo-ack", Value::kRequired, 0, 0xFFFF, [](Faults& f, int v) { f.echoAck = v; }},
    FaultOption{"--no-echo", Value::kNone, 0, 0, [](Faults& f, int) { f.noEcho = true; }},
    FaultOption{"--cut", Value::kRequired, 0, 1 << 16, [](Faults& f, int v) { f.cutReplyTo = v; }},
    FaultOption{"--garbage", Value::kRequired, 0, 4096,
                [](Faults& f, int v) { f.garbageBytes = v; }},
    FaultOption{"--slow", Value::kRequired, 0, 600000, [](Faults& f, int v) { f.slowMs = v; }},
    FaultOption{"--reject-flash-at", Value::kRequired, 0, 15,
                [](Faults& f, int v) { f.rejectFlashAtBlock = v; }},
    FaultOption{"--flash-ack", Value::kRequired, 0, 0xFFFF,
                [](Faults& f, int v) { f.flashAddressAck = v; }},
    FaultOption{"--flash-answer", Value::kRequired, 0, 0xFFFF,
                [](Faults& f, int v) { f.flashBlockAnswer = v; }},
    FaultOption{"--drop-live", Value::kRequired, 1, 1 << 30,
                [](Faults& f, int v) { f.dropEveryKthLive = v; }},
    FaultOption{"--unplug-after", Value::kRequired, 0, 1 << 30,
                [](Faults& f, int v) { f.unplugAfterFrames = v; }},
};

} // namespace

bool ParseFaultOption(const std::string& arg, Faults& faults, std::string& error) {
    error.clear();
    const std::string_view a(arg);
    const auto eq = a.find('=');
    const std::string_view name = a.substr(0, eq);
    for (const auto& o : kOptions) {
        if (name != o.name) {
            continue;
        }
        if (o.value == Value::kNone) {
            if (eq != std::string_view::npos) {
                error = std::string(name) + " takes no value";
                return false;
            }
            o.apply(faults, 0);
            return true;
        }
        const std::string_view given = eq == std::string_view::npos ? "" : a.substr(eq + 1);
        std::string_view text = given;
        const bool hex = text.starts_with("0x");
        if (hex) {
            text.remove_prefix(2);
        }
        int v = 0;
        const char* end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data(), end, v, hex ? 16 : 10);
        if (text.empty() || ec != std::errc() || ptr != end || v < o.min || v > o.max) {
            error = std::string(name) + " needs a number from " + std::to_string(o.min) + " to " +
                    std::to_string(o.max) + ", got \"" + std::string(given) + "\"";
            return false;
        }
        o.apply(faults, v);
        return true;
    }
    return false;
}

const char* FaultOptionsHelp() {
    return "Faults of the virtual controller:\n"
           "  --silent               answer nothing at all\n"
           "  --echo-ack=N           answer the echo check with word 0 = N (e.g. 0x01AA)\n"
           "  --no-echo              leave the echo check unanswered\n"
           "  --cut=N                cut every reply to N bytes\n"
           "  --garbage=N            send N random bytes before every reply\n"
           "  --slow=MS              delay every reply by MS milliseconds more\n"
           "  --reject-flash-at=K    reject the flash address of block K (0..15) of every page\n"
           "  --flash-ack=N          answer every flash address with word 0 = N\n"
           "  --flash-answer=N       answer every flash block with word 0 = N\n"
           "  --drop-live=K          leave every K-th live sample unanswered\n"
           "  --unplug-after=N       close the line after N requests\n";
}

} // namespace ovx::sim
