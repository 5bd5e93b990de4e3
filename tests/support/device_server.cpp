#include "support/device_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ovx::testing {
namespace {

// A program of the build: beside the test program.
std::string BesideTestProgram(const std::string& name) {
    std::error_code ec;
    return (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / name).string();
}

// The inode of the socket that listens on port of 127.0.0.1, 0 when none does (the kernel's
// socket table: slot, local and remote address, state, queues, timer, retransmits, uid, timeout,
// inode).
unsigned long ListeningInode(int port) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        fields >> slot >> address >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> inode;
        if (address == local && state == "0A") {
            return inode;
        }
    }
    return 0;
}

bool HoldsSocket(pid_t pid, unsigned long inode) {
    const std::string socket = "socket:[" + std::to_string(inode) + "]";
    std::error_code ec;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        if (std::filesystem::read_symlink(fd.path(), ec).string() == socket) {
            return true;
        }
    }
    return false;
}

} // namespace

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

DeviceServer::~DeviceServer() {
    StopServer();
    sim_.Interrupt();
    sim_.Wait(5);
}

bool DeviceServer::Start(const std::vector<std::string>& simArgs, std::string& error) {
    if (!dir_.Valid()) {
        error = "no scratch folder";
        return false;
    }
    pty_ = dir_.File("ttyOVX");
    ChildProcess::Call sim{{BesideTestProgram("ovextar-sim"), "--link", pty_}};
    sim.argv.insert(sim.argv.end(), simArgs.begin(), simArgs.end());
    if (!sim_.Start(sim, error)) {
        return false;
    }
    if (!sim_.WaitForText("/dev/", 10)) {
        error = "ovextar-sim did not start: " + sim_.Err();
        return false;
    }
    return StartServer(error);
}

// The ports are free when chosen, but another program may take one before ser2net binds it:
// ser2net then serves the other port alone and the taken one answers as the other program does.
// A start whose ports are not both ser2net's is tried again on new ones; a restart keeps its ports.
bool DeviceServer::StartServer(std::string& error) {
    const bool restart = rawPort_ != 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!restart) {
            rawPort_ = FreeLoopbackPort();
            telnetPort_ = FreeLoopbackPort();
        }
        if (rawPort_ == telnetPort_) {
            error = "no two free ports of 127.0.0.1";
            continue; // ser2net would serve one of the two connections on the port
        }
        if (!StartServerOnPorts(error)) {
            return false;
        }
        if (ServerHolds(rawPort_) && ServerHolds(telnetPort_)) {
            return true;
        }
        StopServer();
        error = "another program took port " + std::to_string(rawPort_) + " or " +
                std::to_string(telnetPort_) + " before ser2net: " + server_->Err();
        if (restart) {
            return false;
        }
    }
    return false;
}

bool DeviceServer::StartServerOnPorts(std::string& error) {
    const std::string config = dir_.File("ser2net.yaml");
    std::ofstream(config) << "connection: &raw\n"
                          << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
                          << "  connector: serialdev," << pty_ << ",19200n81,local\n"
                          << "  options:\n    chardelay: false\n"
                          << "connection: &telnet\n"
                          << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnetPort_ << "\n"
                          << "  connector: serialdev," << pty_ << ",9600e72,local\n"
                          << "  options:\n    chardelay: false\n";
    server_.emplace();
    if (!server_->Start({{"ser2net", "-n", "-d", "-c", config}}, error)) {
        error = "ser2net did not start (scripts/ovx test installs it): " + error;
        return false;
    }
    // ser2net tells nothing when it listens: the kernel's table does.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ListeningInode(rawPort_) == 0 || ListeningInode(telnetPort_) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            error = "ser2net does not listen: " + server_->Err();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool DeviceServer::ServerHolds(int port) const {
    const unsigned long inode = ListeningInode(port);
    return inode != 0 && HoldsSocket(server_->Pid(), inode);
}

bool DeviceServer::RestartServer(std::string& error) {
    StopServer();
    return StartServer(error);
}

void DeviceServer::StopServer() {
    if (server_) {
        server_->Interrupt();
        server_->Wait(5);
    }
}

} // namespace ovx::testing
