#include "support/scripted_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace ovx::testing {

struct ScriptedPeer::Impl {
    Responder responder;
    ScriptResponder script;
    Reply written;
    int master = -1;
    int slave = -1; // held open so the master never sees a hang-up between the tool's opens
    std::string path;
    std::thread thread;
    std::atomic<bool> stop{false};
    mutable std::mutex mutex;
    std::vector<link::FrameBytes> requests;
    std::vector<std::chrono::steady_clock::time_point> requestTimes;

    void Serve() {
        std::vector<std::uint8_t> pending;
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
                continue;
            }
            std::uint8_t buf[512];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) {
                continue;
            }
            pending.insert(pending.end(), buf, buf + n);
            while (pending.size() >= link::kFrameBytes) {
                link::FrameBytes request{};
                std::memcpy(request.data(), pending.data(), link::kFrameBytes);
                pending.erase(pending.begin(), pending.begin() + link::kFrameBytes);
                Answer(request);
            }
        }
    }

    void Answer(const link::FrameBytes& request) {
        {
            const std::lock_guard lock(mutex);
            requests.push_back(request);
            requestTimes.push_back(std::chrono::steady_clock::now());
        }
        if (!script) {
            Write(responder(request));
            return;
        }
        using Clock = std::chrono::steady_clock;
        constexpr auto kByteTime = std::chrono::nanoseconds(10 * 1'000'000'000LL / 19200);
        auto due = Clock::now() + link::kFrameBytes * kByteTime; // the request on the line
        for (const Piece& piece : script(request)) {
            due += std::chrono::microseconds(piece.pauseUs);
            for (const std::uint8_t byte : piece.bytes) {
                due += kByteTime;
                std::this_thread::sleep_until(due);
                Write({byte});
            }
        }
    }

    void Write(const Reply& reply) {
        std::size_t done = 0;
        while (done < reply.size()) {
            const ssize_t n = write(master, reply.data() + done, reply.size() - done);
            if (n <= 0) {
                return;
            }
            done += static_cast<std::size_t>(n);
        }
        const std::lock_guard lock(mutex);
        written.insert(written.end(), reply.begin(), reply.end());
    }
};

ScriptedPeer::ScriptedPeer(Responder responder) : impl_(std::make_unique<Impl>()) {
    impl_->responder = std::move(responder);
}

ScriptedPeer::ScriptedPeer(ScriptResponder responder) : impl_(std::make_unique<Impl>()) {
    impl_->script = std::move(responder);
}

ScriptedPeer::~ScriptedPeer() {
    impl_->stop = true;
    if (impl_->thread.joinable()) {
        impl_->thread.join();
    }
    if (impl_->slave >= 0) {
        close(impl_->slave);
    }
    if (impl_->master >= 0) {
        close(impl_->master);
    }
}

bool ScriptedPeer::Start(std::string& error) {
    impl_->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (impl_->master < 0 || grantpt(impl_->master) != 0 || unlockpt(impl_->master) != 0) {
        error = std::string("cannot create a pty: ") + std::strerror(errno);
        return false;
    }
    impl_->path = ptsname(impl_->master);
    impl_->slave = open(impl_->path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    if (impl_->slave < 0 || tcgetattr(impl_->slave, &t) != 0) {
        error = "cannot open " + impl_->path;
        return false;
    }
    cfmakeraw(&t);
    tcsetattr(impl_->slave, TCSANOW, &t);
    impl_->thread = std::thread([this] { impl_->Serve(); });
    return true;
}

const std::string& ScriptedPeer::DevicePath() const {
    return impl_->path;
}

std::vector<link::FrameBytes> ScriptedPeer::Requests() const {
    const std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

std::vector<std::chrono::steady_clock::time_point> ScriptedPeer::RequestTimes() const {
    const std::lock_guard lock(impl_->mutex);
    return impl_->requestTimes;
}

ScriptedPeer::Reply ScriptedPeer::Written() const {
    const std::lock_guard lock(impl_->mutex);
    return impl_->written;
}

std::vector<int> ScriptedPeer::Orders() const {
    std::vector<int> orders;
    for (const auto& r : Requests()) {
        orders.push_back(link::FrameOrder(r));
    }
    return orders;
}

ScriptedPeer::Reply ScriptedPeer::Frame(int order, std::initializer_list<std::uint16_t> words) {
    const auto f = link::EncodeFrame(link::kSyncWord, order,
                                     std::span<const std::uint16_t>(words.begin(), words.size()));
    return Reply(f.begin(), f.end());
}

} // namespace ovx::testing
