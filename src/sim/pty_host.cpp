#include "sim/pty_host.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "sim/line_timing.h"
#include "sim/pty.h"
#include "sim/request_framer.h"

namespace ovx::sim {

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kIdlePoll = std::chrono::milliseconds(200);
constexpr auto kHangupWait = std::chrono::milliseconds(20); // no client: look again later
// Before an unplug: longer than the 20 ms of quiet line that the tool waits out after a reply
// of bare bytes, so that what it sends next always leaves before the line closes, however
// quickly or slowly its system schedules it.
constexpr auto kSettle = std::chrono::milliseconds(60);
constexpr auto kDrainWait = std::chrono::milliseconds(500);
constexpr auto kLateRestart = std::chrono::milliseconds(5);
// Bytes written at once on the emulated line (4.2 ms of it). Every multiple of 8 bytes of a reply
// stands in the queue for a byte's time before more come, 64 and 128 among them: a stray byte
// ahead of a bare-byte answer still shows a full-looking answer before its last byte.
constexpr std::size_t kPaceChunk = 8;

void LogOrder(const link::FrameBytes& f) {
    char line[160];
    int n = std::snprintf(line, sizeof line, "sim: order %d [", link::FrameOrder(f));
    for (std::size_t i = 0; i < f.size() && n < static_cast<int>(sizeof line) - 4; ++i) {
        n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n),
                           i ? " %02x" : "%02x", f[i]);
    }
    std::fprintf(stderr, "%s]\n", line);
}

} // namespace

struct PtyHost::Impl {
    explicit Impl(HostOptions o)
        : options(std::move(o)), faults(options.faults), framer(ResyncGap(options.lineEmulation)) {}

    HostOptions options;
    Pty pty;
    DeviceModel model;
    std::mutex modelMutex;
    std::mutex faultsMutex;
    Faults faults;
    int liveCount = 0; // order-8 requests since the faults were set (guarded by faultsMutex)
    std::atomic<int> requests{0};
    mutable std::mutex logMutex;
    std::vector<link::FrameBytes> log; // every request received (guarded by logMutex)
    std::atomic<bool> stop{false};
    std::atomic<bool> unplugged{false};
    std::mutex waitMutex;
    std::condition_variable wakeUp;
    std::thread thread;
    Clock::time_point start;
    RequestFramer framer;
    std::minstd_rand garbage{20240611};
    bool symlinked = false;

    void Run();
    void Serve(const RequestFramer::Request& request);
    bool ApplyFaults(int order, Bytes& reply);
    void Transmit(const Bytes& bytes, Clock::time_point at);
    bool SleepUntil(Clock::time_point t);
    void CheckUnplug();
    int ReadTimeoutMs() const;
    bool Link(std::string& error);
    void Unlink();
};

int PtyHost::Impl::ReadTimeoutMs() const {
    auto until = Clock::now() + kIdlePoll;
    if (const auto deadline = framer.Deadline(); deadline && *deadline < until) {
        until = *deadline + std::chrono::milliseconds(1);
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::max<long long>(ms, 0));
}

void PtyHost::Impl::Run() {
    Pty::WakeOnTime();
    std::array<std::uint8_t, 512> buffer{};
    std::vector<RequestFramer::Request> received;
    while (!stop) {
        CheckUnplug();
        if (unplugged) {
            SleepUntil(Clock::now() + kIdlePoll); // nothing left to serve; wait for Stop
            continue;
        }
        const auto r = pty.Read(buffer, ReadTimeoutMs());
        const auto now = Clock::now();
        if (r.status == Pty::ReadStatus::kData) {
            framer.Feed(std::span(buffer.data(), r.count), now, received);
        } else if (r.status == Pty::ReadStatus::kHangup || r.status == Pty::ReadStatus::kError) {
            SleepUntil(now + kHangupWait);
        } else {
            framer.Expire(now);
        }
        for (const auto& request : received) {
            if (stop || unplugged) {
                break;
            }
            {
                std::lock_guard lock(logMutex);
                log.push_back(request.bytes);
            }
            ++requests;
            Serve(request);
            CheckUnplug();
        }
        received.clear();
    }
    Pty::WakeOnTimeEnds();
}

void PtyHost::Impl::CheckUnplug() {
    int after = -1;
    {
        std::lock_guard lock(faultsMutex);
        after = faults.unplugAfterFrames;
    }
    if (!unplugged && after >= 0 && requests >= after) {
        // Let the client take the last reply first: a hang-up discards what it has not read.
        // The kernel moves written bytes to the client's queue a moment later, so look after
        // the settling time.
        SleepUntil(Clock::now() + kSettle);
        const auto giveUp = Clock::now() + kDrainWait;
        while (pty.ClientPending() > 0 && Clock::now() < giveUp && !stop) {
            SleepUntil(Clock::now() + std::chrono::milliseconds(1));
        }
        pty.Unplug();
        unplugged = true;
        std::fprintf(stderr, "sim: line closed after %d requests\n", requests.load());
    }
}

void PtyHost::Impl::Serve(const RequestFramer::Request& request) {
    const int order = link::FrameOrder(request.bytes);
    if (options.logOrders) {
        LogOrder(request.bytes);
    }
    int slowMs = 0;
    int rejectFlashAt = -1;
    {
        std::lock_guard lock(faultsMutex);
        if (faults.silent) {
            return;
        }
        slowMs = faults.slowMs;
        rejectFlashAt = faults.rejectFlashAtBlock;
    }
    Bytes reply;
    {
        std::lock_guard lock(modelMutex);
        model.rejectFlashAtBlock = rejectFlashAt;
        const double t = std::chrono::duration<double>(request.lastByte - start).count();
        reply = model.HandleRequest(request.bytes, t);
        if (order == link::kOrderWriteEeprom && !options.eepromFile.empty() &&
            !model.SaveEeprom(options.eepromFile)) {
            std::fprintf(stderr, "sim: cannot save the EEPROM to %s\n", options.eepromFile.c_str());
        }
    }
    if (!ApplyFaults(order, reply)) {
        return;
    }
    // The reply cannot start before the request has crossed the line and been thought over.
    auto at = request.lastByte + std::chrono::milliseconds(slowMs) +
              std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double, std::milli>(options.replyLatencyMs));
    if (options.lineEmulation) {
        Transmit(reply, at + kRequestLineTime);
    } else if (SleepUntil(at)) {
        pty.Write(reply);
    }
}

// Shapes the model's reply by the faults; false when nothing is to be sent.
bool PtyHost::Impl::ApplyFaults(int order, Bytes& reply) {
    std::lock_guard lock(faultsMutex);
    if (order == link::kOrderEcho && faults.noEcho) {
        return false;
    }
    if (order == link::kOrderEcho && faults.echoAck >= 0 && reply.size() >= 6) {
        link::PutWord(std::span(reply).subspan(4), 0, static_cast<std::uint16_t>(faults.echoAck));
    }
    if (order == link::kOrderFlashAddress && faults.flashAddressAck >= 0 && reply.size() >= 6) {
        link::PutWord(std::span(reply).subspan(4), 0,
                      static_cast<std::uint16_t>(faults.flashAddressAck));
    }
    if (order == link::kOrderFlashBlock && faults.flashBlockAnswer >= 0 && reply.size() >= 6) {
        link::PutWord(std::span(reply).subspan(4), 0,
                      static_cast<std::uint16_t>(faults.flashBlockAnswer));
    }
    if (order == link::kOrderLiveSample && faults.dropEveryKthLive > 0 &&
        ++liveCount % faults.dropEveryKthLive == 0) {
        return false;
    }
    if (faults.cutReplyTo >= 0 && reply.size() > static_cast<std::size_t>(faults.cutReplyTo)) {
        reply.resize(static_cast<std::size_t>(faults.cutReplyTo));
    }
    if (faults.garbageBytes > 0) {
        Bytes noise(static_cast<std::size_t>(faults.garbageBytes));
        for (auto& b : noise) {
            b = static_cast<std::uint8_t>(garbage() & 0xFF);
        }
        reply.insert(reply.begin(), noise.begin(), noise.end());
    }
    return !reply.empty();
}

// Sends the bytes as the line would bring them, counted from the planned start at so that the
// average rate is exact: a chunk of kPaceChunk bytes leaves when its last byte would have
// crossed the line, so no byte comes early and the thread wakes once per chunk, not per byte.
void PtyHost::Impl::Transmit(const Bytes& bytes, Clock::time_point at) {
    const auto now = Clock::now();
    const auto t0 = now - at > kLateRestart ? now : at;
    for (std::size_t sent = 0; sent < bytes.size();) {
        const std::size_t end = std::min(sent + kPaceChunk, bytes.size());
        if (!SleepUntil(t0 + LineTime(static_cast<long long>(end)))) {
            return; // stopped
        }
        if (pty.Write(std::span(bytes).subspan(sent, end - sent)) < 0) {
            return; // the master is gone
        }
        sent = end;
    }
}

// Waits until t unless Stop() comes first; true if t was reached. A time already past costs no
// wait (a reply without line time or think time is due at once).
bool PtyHost::Impl::SleepUntil(Clock::time_point t) {
    if (Clock::now() >= t) {
        return !stop;
    }
    std::unique_lock lock(waitMutex);
    return !wakeUp.wait_until(lock, t, [this] { return stop.load(); });
}

bool PtyHost::Impl::Link(std::string& error) {
    namespace fs = std::filesystem;
    const fs::path link(options.symlink);
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(link, ec))) {
        fs::remove(link, ec);
    } else if (fs::exists(fs::symlink_status(link, ec))) {
        error = options.symlink + " exists and is not a symlink; not replaced";
        return false;
    }
    fs::create_symlink(pty.SlavePath(), link, ec);
    if (ec) {
        error = "cannot make the link " + options.symlink + ": " + ec.message();
        return false;
    }
    symlinked = true;
    return true;
}

void PtyHost::Impl::Unlink() {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (symlinked && fs::read_symlink(options.symlink, ec) == fs::path(pty.SlavePath())) {
        fs::remove(options.symlink, ec);
    }
    symlinked = false;
}

PtyHost::PtyHost(HostOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

PtyHost::~PtyHost() {
    Stop();
}

bool PtyHost::Start(std::string& error) {
    Impl& h = *impl_;
    if (h.thread.joinable() || h.pty.IsOpen()) {
        error = "the virtual controller is already running";
        return false;
    }
    const std::string& eeprom = h.options.eepromFile;
    if (!eeprom.empty() && std::filesystem::exists(eeprom)) {
        std::lock_guard lock(h.modelMutex);
        if (!h.model.LoadEeprom(eeprom)) {
            error = "EEPROM file " + eeprom + " is not 16 numbers from 0 to 65535";
            return false;
        }
        h.model.ram = h.model.eeprom; // power-up: RAM starts as a copy of the EEPROM
    }
    if (!h.pty.Open(error) || (!h.options.symlink.empty() && !h.Link(error))) {
        h.pty.Unplug();
        return false;
    }
    h.stop = false;
    h.unplugged = false;
    h.start = Clock::now();
    h.thread = std::thread([&h] { h.Run(); });
    return true;
}

void PtyHost::Stop() {
    Impl& h = *impl_;
    {
        std::lock_guard lock(h.waitMutex);
        h.stop = true;
    }
    h.wakeUp.notify_all();
    h.pty.Wake();
    if (h.thread.joinable()) {
        h.thread.join();
    }
    h.Unlink();
    h.pty.Unplug();
}

const std::string& PtyHost::DevicePath() const {
    return impl_->pty.SlavePath();
}

void PtyHost::SetFaults(const Faults& faults) {
    {
        std::lock_guard lock(impl_->faultsMutex);
        impl_->faults = faults;
        impl_->liveCount = 0;
    }
    impl_->pty.Wake(); // an unplug fault takes effect without waiting for a request
}

DeviceModel& PtyHost::Model() {
    return impl_->model;
}

std::mutex& PtyHost::ModelMutex() {
    return impl_->modelMutex;
}

int PtyHost::RequestCount() const {
    return impl_->requests.load();
}

std::vector<link::FrameBytes> PtyHost::Requests() const {
    std::lock_guard lock(impl_->logMutex);
    return impl_->log;
}

bool PtyHost::IsUnplugged() const {
    return impl_->unplugged.load();
}

} // namespace ovx::sim
