// The serial OS interface on termios. The fd is non-blocking and raw; termios VMIN is the
// count of queued bytes at which poll() (and so the readable notifier) reports the fd ready,
// so it is never 0 (read() would then return 0 on an empty queue, which means hang-up here).
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/net_address.h"
#include "platform/net_port.h"
#include "platform/net_port_posix.h"
#include "platform/port_watch.h"
#include "platform/serial_os.h"

namespace ovx::platform::detail {
namespace {

constexpr std::array<std::pair<long, speed_t>, 18> kBaudRates = {{
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
}};

bool FindSpeed(long baudRate, speed_t& speed) {
    for (const auto& [rate, code] : kBaudRates) {
        if (rate == baudRate) {
            speed = code;
            return true;
        }
    }
    return false;
}

int MapOpenErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        return kComNoPortFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
    case EROFS:
        return kComCannotOpenPort;
    default:
        return kComUnknownSystemError;
    }
}

// For a device that exists but may not be opened: who may open it, and the usual fix.
std::string PermissionHint(const std::string& device) {
    std::string text = "permission denied.";
    struct stat st {};
    if (stat(device.c_str(), &st) != 0) {
        return text;
    }
    const group* g = getgrgid(st.st_gid);
    const std::string groupName = g != nullptr ? g->gr_name : std::to_string(st.st_gid);
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        const passwd* pw = getpwuid(geteuid());
        const std::string user = pw != nullptr ? pw->pw_name : "$USER";
        return text + " The device belongs to group " + groupName +
               ": add the user to that group (sudo adduser " + user + " " + groupName +
               ") and log in again.";
    }
    return text + " The device gives its group " + groupName +
           " no read and write access: ask the administrator for access to it.";
}

// One line for the trace: why device cannot be opened.
std::string OpenFailureReason(const std::string& device, int err) {
    const std::string head = "cannot open " + device + ": ";
    if (err == EACCES || err == EPERM) {
        return head + PermissionHint(device);
    }
    if (err == EBUSY || err == EWOULDBLOCK) {
        return head + "in use by another program.";
    }
    return head + std::strerror(err) + ".";
}

constexpr tcflag_t DataBitsFlag(int dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

void ApplyLineSettings(termios& tio, const LineSettings& s, speed_t speed) {
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | DataBitsFlag(s.dataBits);
    if (s.parity != 0) {
        tio.c_cflag |= PARENB | (s.parity == 1 ? PARODD : 0);
        tio.c_iflag |= INPCK;
    }
    if (s.stopBits == 2) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
}

timespec Remaining(Deadline deadline) {
    const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

// Polls fd for events until the deadline; returns revents, 0 on time-out.
short PollUntil(int fd, short events, Deadline deadline) {
    pollfd p{fd, events, 0};
    for (;;) {
        const timespec ts = Remaining(deadline);
        const int r = ppoll(&p, 1, &ts, nullptr);
        if (r > 0) {
            return p.revents;
        }
        if (r == 0 || errno != EINTR) {
            return 0;
        }
    }
}

void SleepUntil(Deadline deadline) {
    while (Clock::now() < deadline) {
        const timespec ts = Remaining(deadline);
        ppoll(nullptr, 0, &ts, nullptr);
    }
}

// The interrupt of WaitForCount: a flag, and a pipe whose read end a waiting poll() watches.
// Both are set up before main runs, so that a signal handler only stores and writes.
volatile std::sig_atomic_t waitsInterrupted = 0;
std::array<int, 2> interruptPipe{-1, -1};
const bool kInterruptPipeMade = pipe2(interruptPipe.data(), O_NONBLOCK | O_CLOEXEC) == 0;

// Polls fd for events (or, with fd < 0, nothing) and the interrupt pipe until the deadline;
// returns fd's revents, 0 on time-out or interrupt.
short PollInterruptible(int fd, Deadline deadline, short events = POLLIN) {
    std::array<pollfd, 2> p{pollfd{interruptPipe[0], POLLIN, 0}, pollfd{fd, events, 0}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    while (waitsInterrupted == 0) {
        const timespec ts = Remaining(deadline);
        const int r = ppoll(p.data(), count, &ts, nullptr);
        if (r > 0) {
            return p[0].revents != 0 ? 0 : p[1].revents;
        }
        if (r == 0 || errno != EINTR) {
            return 0;
        }
    }
    return 0;
}

// What the watch's handler owns: it outlives the port when the hook closes the port.
using HookState = std::function<void()>;

class PosixPort final : public OsPort {
  public:
    PosixPort(int fd, const termios& tio) : fd_(fd), tio_(tio) {}
    ~PosixPort() override;

    int Read(std::span<char> buffer, Deadline deadline) override;
    int Write(std::span<const char> bytes, Deadline deadline) override;
    int InQueueLength() override;
    void WaitForMoreThan(int have, Deadline deadline) override;
    int WaitForCount(int count, Deadline deadline) override;
    int FlushIn() override { return Flush(TCIFLUSH); }
    int FlushOut() override { return Flush(TCOFLUSH); }
    int SetHandshake(bool on) override;
    bool HungUp() const override { return hungUp_; }
    void SetReadableHook(std::function<void()> hook) override;
    void SetReadableCount(int count) override;
    void EnableReadableHook(bool on) override;

  private:
    int Flush(int queue);
    void SetMin(int count);
    void RestoreMin() { SetMin(restMin_); }
    int LineGone();
    // Waits until count more bytes can be read; false on time-out or a dead line.
    bool WaitReadable(int count, Deadline deadline);

    int fd_;
    termios tio_;
    int restMin_ = 1;
    bool hungUp_ = false;
    std::shared_ptr<HookState> hookState_ = std::make_shared<HookState>();
    int watch_ = 0; // the readable watch (events.h), made with the first hook
};

PosixPort::~PosixPort() {
    RemoveWatch(watch_);
    ioctl(fd_, TIOCNXCL);
    close(fd_);
}

int PosixPort::LineGone() {
    hungUp_ = true;
    EnableWatch(watch_, false);
    return kComUnknownIoError;
}

void PosixPort::SetMin(int count) {
    const auto vmin = static_cast<cc_t>(std::clamp(count, 1, kMaxWaitCount));
    if (tio_.c_cc[VMIN] == vmin || hungUp_) {
        return;
    }
    tio_.c_cc[VMIN] = vmin;
    tcsetattr(fd_, TCSANOW, &tio_);
}

bool PosixPort::WaitReadable(int count, Deadline deadline) {
    SetMin(count);
    const short revents = PollUntil(fd_, POLLIN, deadline);
    RestoreMin();
    if ((revents & (POLLERR | POLLNVAL)) != 0) {
        LineGone();
        return false;
    }
    return revents != 0; // POLLHUP: the next read() sees the end of the line
}

int PosixPort::Read(std::span<char> buffer, Deadline deadline) {
    std::size_t got = 0;
    while (got < buffer.size() && !hungUp_) {
        const ssize_t r = read(fd_, buffer.data() + got, buffer.size() - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        } else if (r == 0) {
            LineGone(); // VMIN >= 1, so 0 bytes means the device side hung up
        } else if (errno == EAGAIN) {
            const int left =
                static_cast<int>(std::min<std::size_t>(buffer.size() - got, kMaxWaitCount));
            if (!WaitReadable(left, deadline)) {
                break;
            }
        } else if (errno != EINTR) {
            LineGone();
        }
    }
    if (got == 0 && hungUp_) {
        return kComUnknownIoError;
    }
    return static_cast<int>(got);
}

int PosixPort::Write(std::span<const char> bytes, Deadline deadline) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = write(fd_, bytes.data() + done, bytes.size() - done);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0 && errno != EAGAIN) {
            return LineGone();
        }
        const short revents = PollUntil(fd_, POLLOUT, deadline);
        if ((revents & (POLLERR | POLLNVAL | POLLHUP)) != 0 && (revents & POLLOUT) == 0) {
            return LineGone();
        }
        if (revents == 0) {
            break;
        }
    }
    if (done == 0 && !bytes.empty()) {
        return kComTimeout;
    }
    return static_cast<int>(done);
}

int PosixPort::InQueueLength() {
    int n = 0;
    if (hungUp_ || ioctl(fd_, FIONREAD, &n) != 0) {
        return LineGone();
    }
    return n;
}

void PosixPort::WaitForMoreThan(int have, Deadline deadline) {
    if (hungUp_ || have < 0 || have >= kMaxWaitCount) {
        SleepUntil(deadline);
        return;
    }
    if (!WaitReadable(have + 1, deadline) || InQueueLength() < 0) {
        SleepUntil(deadline); // a dead line reports ready at once: never spin on it
    }
}

int PosixPort::WaitForCount(int count, Deadline deadline) {
    int queued = InQueueLength();
    if (queued >= count || waitsInterrupted != 0) {
        return queued;
    }
    if (queued >= 0) {
        SetMin(count);
        const short revents = PollInterruptible(fd_, deadline);
        RestoreMin();
        if ((revents & (POLLERR | POLLNVAL)) != 0) {
            LineGone();
        }
        queued = InQueueLength();
        if (queued >= count || (revents & POLLHUP) == 0) {
            return queued;
        }
        LineGone(); // hung up with too few bytes: nothing more will come
    }
    PollInterruptible(-1, deadline); // a dead line is slept out, as a live one that stays silent
    return kComUnknownIoError;
}

int PosixPort::Flush(int queue) {
    if (hungUp_) {
        return kComUnknownIoError;
    }
    if (tcflush(fd_, queue) != 0) {
        return errno == EIO ? LineGone() : kComUnknownSystemError;
    }
    return 0;
}

int PosixPort::SetHandshake(bool on) {
    if (hungUp_) {
        return kComUnknownIoError;
    }
    termios tio = tio_;
    tio.c_cflag = on ? (tio.c_cflag | CRTSCTS) : (tio.c_cflag & ~CRTSCTS);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return errno == EIO ? LineGone() : kComUnknownSystemError;
    }
    tio_ = tio;
    return 0;
}

void PosixPort::SetReadableHook(std::function<void()> hook) {
    if (!hook) {
        EnableWatch(watch_, false);
        *hookState_ = nullptr;
        SetReadableCount(1);
        return;
    }
    *hookState_ = std::move(hook);
    if (watch_ == 0) {
        watch_ = AddWatch(fd_, [state = hookState_] {
            const auto current = *state; // the hook may destroy the port and replace the hook
            if (current) {
                current();
            }
        });
    }
}

void PosixPort::SetReadableCount(int count) {
    restMin_ = std::clamp(count, 1, kMaxWaitCount);
    SetMin(restMin_);
}

void PosixPort::EnableReadableHook(bool on) {
    EnableWatch(watch_, on && !hungUp_ && *hookState_);
}

// Opens device non-blocking; the caller owns the fd or gets the error and its reason.
int OpenDevice(const std::string& device, int& fd, std::string& reason) {
    fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EISDIR) {
        reason = "cannot open " + device + ": not a serial port.";
        return kComNoPortFound; // a folder named as the port is no port, as a plain file
    }
    if (fd < 0) {
        const int err = errno;
        reason = OpenFailureReason(device, err);
        return MapOpenErrno(err);
    }
    if (isatty(fd) == 0) {
        close(fd);
        reason = "cannot open " + device + ": not a serial port.";
        return kComNoPortFound;
    }
    // The lock keeps out this and every other process; TIOCEXCL keeps out other programs.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        reason = OpenFailureReason(device, err);
        return MapOpenErrno(err);
    }
    ioctl(fd, TIOCEXCL);
    return 0;
}

} // namespace

short PollFd(int fd, short events, Deadline deadline) {
    return PollUntil(fd, events, deadline);
}

short PollFdInterruptible(int fd, short events, Deadline deadline) {
    return PollInterruptible(fd, deadline, events);
}

std::unique_ptr<OsPort> OpenOsPort(const std::string& device, const LineSettings& settings,
                                   int& error, std::string& reason) {
    reason.clear();
    if (IsNetAddress(device)) {
        return OpenNetPort(device, settings, error, reason);
    }
    speed_t speed = B0;
    if (!FindSpeed(settings.baudRate, speed)) {
        error = kComInvalidParameter;
        return nullptr;
    }
    int fd = -1;
    error = OpenDevice(device, fd, reason);
    if (error != 0) {
        return nullptr;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        ApplyLineSettings(tio, settings, speed);
        if (tcsetattr(fd, TCSANOW, &tio) == 0) {
            return std::make_unique<PosixPort>(fd, tio);
        }
    }
    const int err = errno;
    error = err == EINVAL ? kComInvalidParameter : kComUnknownSystemError;
    reason = "cannot set up " + device + ": " + std::strerror(err) + ".";
    ioctl(fd, TIOCNXCL);
    close(fd);
    return nullptr;
}

void InterruptWaits() {
    waitsInterrupted = 1;
    if (kInterruptPipeMade) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(interruptPipe[1], &byte, 1);
    }
    WakeEventWait(); // a command's wait for its reply without a window
}

bool WaitsInterrupted() {
    return waitsInterrupted != 0;
}

void ResumeWaits() {
    waitsInterrupted = 0;
    char drain[64];
    while (kInterruptPipeMade && read(interruptPipe[0], drain, sizeof drain) > 0) {
    }
}

void SleepUnlessInterrupted(Deadline deadline) {
    PollInterruptible(-1, deadline);
}

namespace {

// A file of the kernel's device tree, blanks at the ends dropped and runs of blanks made one.
std::string SysText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string text;
    std::string word;
    while (in >> word) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

// The USB ids of a device, "067b" read as 0x067b; false when the file holds none.
bool SysHex(const std::filesystem::path& file, unsigned& value) {
    const std::string text = SysText(file);
    char* end = nullptr;
    value = static_cast<unsigned>(std::strtoul(text.c_str(), &end, 16));
    return !text.empty() && end != nullptr && *end == '\0';
}

std::string Hex4(unsigned value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%04x", value);
    return text.data();
}

// Walks up from the tty's device folder to the USB device that holds it and takes its product
// text, ids and serial number.
void DescribeUsb(std::filesystem::path dir, SerialDevice& d) {
    for (; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        const std::string uevent = SysText(dir / "uevent");
        if (uevent.find("DEVTYPE=usb_device") == std::string::npos ||
            uevent.find("DRIVER=usb") == std::string::npos) {
            continue;
        }
        d.description = SysText(dir / "product");
        unsigned vendor = 0;
        unsigned product = 0;
        if (SysHex(dir / "idVendor", vendor) && SysHex(dir / "idProduct", product)) {
            std::string serial = SysText(dir / "serial");
            std::replace(serial.begin(), serial.end(), ' ', '_');
            const std::string ids = Hex4(vendor) + ":" + Hex4(product);
            d.description += (d.description.empty() ? "USB " : ", USB ") + ids;
            d.description += serial.empty() ? "" : " #" + serial;
            d.identity = ids + "#" + serial;
        }
        return;
    }
}

// The legacy ISA ports (ttyS0..ttyS31) always have a node; only those with a UART behind them
// are serial ports.
bool UartPresent(const std::string& device) {
    const int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    serial_struct info{};
    const bool present = ioctl(fd, TIOCGSERIAL, &info) != -1 && info.type != PORT_UNKNOWN;
    close(fd);
    return present;
}

// True when the tty of the kernel's class list is a serial port: one with a device behind it
// (virtual consoles and ptys have none), or a Bluetooth or USB-gadget port.
bool IsSerialTty(const std::filesystem::path& entry, const std::string& device) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string name = entry.filename().string();
    if (!fs::exists(entry / "device", ec)) {
        return name.rfind("rfcomm", 0) == 0 || name.rfind("ttyGS", 0) == 0;
    }
    const fs::path driver = fs::canonical(entry / "device" / "driver", ec);
    return ec || driver.filename() != "serial8250" || UartPresent(device);
}

} // namespace

std::vector<SerialDevice> ListSerialDevices(const std::string& sysClassTty) {
    namespace fs = std::filesystem;
    std::vector<SerialDevice> found;
    std::error_code ec;
    for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::replace(name.begin(), name.end(), '!', '/'); // a node in a subfolder of /dev
        SerialDevice d{"/dev/" + name, "", ""};
        if (!IsSerialTty(it->path(), d.device)) {
            continue;
        }
        std::error_code ec2;
        const fs::path target = fs::canonical(it->path(), ec2);
        if (!ec2 && target.string().find("usb") != std::string::npos) {
            DescribeUsb(target, d);
        }
        found.push_back(std::move(d));
    }
    return found;
}

int SystemPortNumber(const std::string& /*device*/) {
    return 0;
}

std::string SystemPortDevice(int /*port*/) {
    return {};
}

bool DeviceNodeExists(const std::string& device) {
    if (IsNetAddress(device)) {
        return true; // a connection has no node: only its hang-up tells that it is gone
    }
    struct stat st {};
    return stat(device.c_str(), &st) == 0;
}

} // namespace ovx::platform::detail
