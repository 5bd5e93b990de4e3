// Shared by the live-display benchmarks: the tool started as at start-up on a given serial
// device, and the virtual controller as a separate ovextar-sim process, so that the tool's own
// CPU use can be measured apart from the controller's.
#pragma once

#include <QTimer>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cpu_time.h"

#include "app/OVEXTAR1V12.h"
#include "app/panel_handles.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/serial.h"
#include "ui/panel.h"

extern char** environ;

namespace ovx::bench {

// The ovextar-sim program beside this one, started with the given options; its first output
// line is the pty path. Stopped with SIGTERM when this object goes.
class SimProcess {
  public:
    bool Start(const std::vector<std::string>& options) {
        char self[4096] = {};
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string program(self, n > 0 ? static_cast<std::size_t>(n) : 0);
        program = program.substr(0, program.rfind('/') + 1) + "ovextar-sim";
        int out[2];
        if (pipe(out) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& o : options) {
            argv.push_back(const_cast<char*>(o.c_str()));
        }
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (rc != 0) {
            close(out[0]);
            pid_ = -1;
            std::fprintf(stderr, "cannot start %s (build the ovextar-sim target)\n",
                         program.c_str());
            return false;
        }
        FILE* in = fdopen(out[0], "r");
        char line[256] = {};
        const bool ok = in != nullptr && std::fgets(line, sizeof line, in) != nullptr;
        if (in != nullptr) {
            std::fclose(in);
        }
        path_ = line;
        while (!path_.empty() && (path_.back() == '\n' || path_.back() == '\r')) {
            path_.pop_back();
        }
        return ok && !path_.empty();
    }

    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    const std::string& Path() const { return path_; }

  private:
    pid_t pid_ = -1;
    std::string path_;
};

// Engine, panels, start state, then start-up on port 1 mapped to device.
inline bool StartTool(const std::string& device, int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (ui::InitEngine(argc, argv) < 0) {
        return false;
    }
    app::RegisterAllCallbacks();
    app::panelHandle = ui::LoadPanel(0, params::kPanelFile, params::PANEL);
    app::panelPopUp = ui::LoadPanel(0, params::kPanelFile, params::POPUP);
    if (app::panelHandle < 0 || app::panelPopUp < 0) {
        std::fprintf(stderr, "cannot load the panel file\n");
        return false;
    }
    app::ShowStatusOnPanel();
    app::InitVars();
    platform::RegisterPort(1, device);
    link::InitRS232(1);
    ui::DisplayPanel(app::panelHandle);
    return true;
}

// Runs the window's event loop for the given time.
inline void RunEventLoopFor(double seconds) {
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), [] { ui::QuitUserInterface(0); });
    ui::RunUserInterface();
}

// Lets the window finish what showing it or a pane of it left to do (its first paint, the
// layout around a pane just opened) before a measurement starts.
inline void Settle(double seconds = 1.0) {
    RunEventLoopFor(seconds);
}

} // namespace ovx::bench
