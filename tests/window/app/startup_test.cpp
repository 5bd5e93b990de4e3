// Start state, title text, the panels' own callbacks, the port ring, and the ovextar program
// itself run as a subprocess (exit code without a panel file, the traced start-up on the wire).
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/OVEXTAR1V12.h"
#include "app/about.h"
#include "app/datacurve.h"
#include "app/gui.h"
#include "app/leds.h"
#include "app/panel_handles.h"
#include "app/paramfile.h"
#include "app/portring.h"
#include "app/runloop.h"
#include "app/strip.h"
#include "build_info.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "sim/device_model.h"
#include "support/tool_fixture.h"
#include "ui/help.h"
#include "ui/panel.h"
#include "ui/ring.h"

namespace ovx::app {
namespace {

namespace fs = std::filesystem;

int Value(int panel, int control) {
    int v = -1;
    ui::GetCtrlVal(panel, control, &v);
    return v;
}

QWidget* Window(int panel) {
    return static_cast<QWidget*>(ui::PanelWidget(panel));
}

class StartStateTest : public testing::PanelFixture {};

TEST_F(StartStateTest, InitVarsResetsTheStartStateAndReadsTheParametersFromThePanel) {
    link::com = 4;
    link::order = 9;
    link::rx_flag = 0;
    live::stop_flag = 0;
    params::type = 0;
    params::target = params::DATFILE;
    live::refTHD = 7;
    app::arrayRAW[5] = 99;
    app::arrayNORM[8] = 99;
    app::xArray[200] = 0;
    link::yArrayA[3] = 5;
    link::yArrayB[255] = 5;
    ui::SetCtrlVal(app::panelHandle, params::PANEL_REFERENCE, 1234);
    ui::SetCtrlVal(app::panelHandle, params::PANEL_TOLERANCE, 111);
    ui::SetCtrlVal(app::panelHandle, params::PANEL_STATUS, "something else");

    InitVars();

    EXPECT_EQ(StatusText(), "InitVars");
    EXPECT_EQ(link::com, 1);
    EXPECT_EQ(link::sync, 85);
    EXPECT_EQ(link::order, 1);
    EXPECT_EQ(link::rx_flag, 1);
    EXPECT_EQ(live::stop_flag, 1);
    EXPECT_EQ(params::type, 1);
    EXPECT_EQ(params::target, params::RAM);
    // Parameters come from the panel, the thresholds from the start values.
    EXPECT_EQ(params::reference, 1234);
    EXPECT_EQ(params::tolerance, 111);
    EXPECT_EQ(live::refTHD, 2048);
    EXPECT_EQ(live::upTHD, 2560);
    EXPECT_EQ(live::lowTHD, 1536);
    EXPECT_TRUE(std::all_of(std::begin(app::arrayRAW), std::end(app::arrayRAW),
                            [](double v) { return v == 0.0; }));
    for (int k = 0; k < app::kHistoryPoints; ++k) {
        ASSERT_EQ(app::arrayNORM[4 * k], 2560);
        ASSERT_EQ(app::arrayNORM[4 * k + 1], 1536);
        ASSERT_EQ(app::arrayNORM[4 * k + 2], 2048);
        ASSERT_EQ(app::arrayNORM[4 * k + 3], 0);
    }
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(app::xArray[i], i);
        ASSERT_EQ(link::yArrayA[i], 0);
        ASSERT_EQ(link::yArrayB[i], 0);
    }
}

// The title is the one text message of the panel that carries the title text.
int FindTitle(int panel) {
    for (int id = 1; id < 1000; ++id) {
        char text[128] = {};
        if (ui::GetCtrlVal(panel, id, text, sizeof text) == 0 &&
            std::string(text) == "O-VEX-TAR-Zidoz V1.2 ") {
            return id;
        }
    }
    return -1;
}

TEST_F(StartStateTest, TitleTextIsCreatedWithItsColoursSizeAndPlace) {
    const int id = FindTitle(app::panelHandle);
    ASSERT_GT(id, 0);
    int colour = -1;
    ui::GetCtrlAttribute(app::panelHandle, id, ui::kAttrTextBgColor, &colour);
    EXPECT_EQ(colour, 0x0080FF);
    ui::GetCtrlAttribute(app::panelHandle, id, ui::kAttrTextColor, &colour);
    EXPECT_EQ(colour, 0xFFFFFF);
    int size = -1;
    ui::GetCtrlAttribute(app::panelHandle, id, ui::kAttrTextPointSize, &size);
    EXPECT_EQ(size, 18);
    const auto* title = static_cast<QWidget*>(ui::CtrlWidget(app::panelHandle, id));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->x(), 30);
    EXPECT_EQ(title->y(), 19);
}

TEST_F(StartStateTest, ClosingThePopupHidesItAndSwitchesTheToggleOff) {
    ui::SetCtrlVal(app::panelPopUp, params::POPUP_SDELAY, 777);
    ui::SetCtrlVal(app::panelHandle, params::PANEL_TOGBTNPARAII, 1);
    ui::DisplayPanel(app::panelPopUp);
    ASSERT_TRUE(Window(app::panelPopUp)->isVisible());
    Window(app::panelPopUp)->close();
    EXPECT_FALSE(Window(app::panelPopUp)->isVisible());
    EXPECT_EQ(Value(app::panelHandle, params::PANEL_TOGBTNPARAII), 0);
    // The toggle shows it again with the values it held.
    ui::SetCtrlVal(app::panelHandle, params::PANEL_TOGBTNPARAII, 1);
    app::CC_TOGBTNparaII(app::panelHandle, params::PANEL_TOGBTNPARAII, ui::kEventValueChanged,
                         nullptr, 0, 0);
    EXPECT_TRUE(Window(app::panelPopUp)->isVisible());
    EXPECT_EQ(Value(app::panelPopUp, params::POPUP_SDELAY), 777);
}

TEST_F(StartStateTest, PanelCallbacksIgnoreEveryEventButClose) {
    ui::DisplayPanel(app::panelPopUp);
    ui::SetCtrlVal(app::panelHandle, params::PANEL_TOGBTNPARAII, 1);
    for (int event : {ui::kEventCommit, ui::kEventValueChanged, ui::kEventLeftClick}) {
        EXPECT_EQ(CC_POPUP(app::panelPopUp, event, nullptr, 0, 0), 0);
        EXPECT_EQ(CC_PANEL(app::panelHandle, event, nullptr, 0, 0), 0);
    }
    EXPECT_TRUE(Window(app::panelPopUp)->isVisible());
    EXPECT_EQ(Value(app::panelHandle, params::PANEL_TOGBTNPARAII), 1);
}

class ShutdownTest : public testing::ToolFixture {};

TEST_F(ShutdownTest, ClosingTheMainPanelClosesThePortAndEndsTheEventLoop) {
    StartTool();
    ASSERT_GE(platform::GetInQLen(link::com), 0);
    ui::DisplayPanel(app::panelHandle);
    ui::DisplayPanel(app::panelPopUp);
    QTimer::singleShot(0, [] { Window(app::panelHandle)->close(); });
    EXPECT_EQ(ui::RunUserInterface(), 0);
    EXPECT_EQ(platform::GetInQLen(link::com), platform::kComPortNotOpen);
}

TEST(PortLabel, ShowsNumberDeviceAndDescriptionWhereGiven) {
    EXPECT_EQ(PortLabel({1, "/dev/pts/3", "virtual controller"}),
              "COM1  /dev/pts/3 (virtual controller)");
    EXPECT_EQ(PortLabel({2, "/dev/ttyUSB0", ""}), "COM2  /dev/ttyUSB0");
    EXPECT_EQ(PortLabel({12, "", ""}), "COM12");
}

class PortRingTest : public testing::ToolFixture {};

TEST_F(PortRingTest, RingListsThePortsWithThePortNumberAsValueAndSelectsPort1) {
    platform::RegisterPort(7, "/dev/ovx-test-port7");
    FillPortRing(app::panelHandle, params::PANEL_DROPDCOM, 1);
    const int count = ui::GetNumRingItems(app::panelHandle, params::PANEL_DROPDCOM);
    std::vector<std::string> labels;
    for (int i = 0; i < count; ++i) {
        char label[300] = {};
        ui::GetRingItemLabel(app::panelHandle, params::PANEL_DROPDCOM, i, label, sizeof label);
        labels.emplace_back(label);
    }
    EXPECT_NE(std::find(labels.begin(), labels.end(),
                        "COM1  " + Sim().DevicePath() + " (virtual controller)"),
              labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "COM7  /dev/ovx-test-port7"), labels.end());
    EXPECT_EQ(Value(app::panelHandle, params::PANEL_DROPDCOM), 1);
    ui::SetCtrlVal(app::panelHandle, params::PANEL_DROPDCOM, 7);
    EXPECT_EQ(Value(app::panelHandle, params::PANEL_DROPDCOM), 7);
}

// ---- The program as a subprocess ---------------------------------------------------------

fs::path ProgramDir() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

struct ProgramRun {
    int exitCode = -1000;
    std::string err;
};

// How the child starts besides its arguments: extra environment ("NAME=value") and a user.
struct ChildSetup {
    std::vector<std::string> env;
    uid_t uid = 0; // 0: as the test runs
    gid_t gid = 0;
};

// Runs ovextar offscreen in dir with args; stops it (SIGTERM) once its output (stderr and
// stdout) holds until, or after timeoutSeconds.
ProgramRun RunProgram(const fs::path& program, const fs::path& dir, std::vector<std::string> args,
                      const std::string& until = "", double timeoutSeconds = 20.0,
                      ChildSetup setup = {}) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        if (chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1); // never the user's settings
        for (auto& e : setup.env) {
            putenv(e.data());
        }
        if (setup.uid != 0 &&
            (setgroups(0, nullptr) != 0 || setgid(setup.gid) != 0 || setuid(setup.uid) != 0)) {
            _exit(126);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    ProgramRun run;
    const double start = platform::Timer();
    bool signalled = false;
    for (;;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char buf[4096];
            const ssize_t n = read(pipeFds[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            run.err.append(buf, static_cast<std::size_t>(n));
        }
        const bool found = !until.empty() && run.err.find(until) != std::string::npos;
        if (!signalled && (found || platform::Timer() - start > timeoutSeconds)) {
            kill(pid, SIGTERM);
            signalled = true;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return run;
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        program_ = ProgramDir() / "ovextar";
        ASSERT_TRUE(fs::exists(program_)) << program_;
        dir_ = fs::temp_directory_path() / ("ovx-startup-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        fs::copy_file(program_, dir_ / "ovextar", fs::copy_options::overwrite_existing);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path program_, dir_;
};

TEST_F(ProgramTest, MissingPanelFileEndsWithExitCodeMinus1AndAReason) {
    const ProgramRun run = RunProgram(dir_ / "ovextar", dir_, {});
    EXPECT_EQ(run.exitCode, 255); // -1
    EXPECT_NE(run.err.find("ovextar: cannot load panel file OVEXTAR1V12.uir: "), std::string::npos)
        << run.err;
}

TEST_F(ProgramTest, DamagedPanelFileEndsWithExitCodeMinus1) {
    std::ofstream(dir_ / "OVEXTAR1V12.uir") << "not a panel file\n";
    const ProgramRun run = RunProgram(dir_ / "ovextar", dir_, {});
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_NE(run.err.find("ovextar: cannot load panel file OVEXTAR1V12.uir: "), std::string::npos)
        << run.err;
}

TEST_F(ProgramTest, UnknownOptionPrintsTheUsageAndExits2) {
    const ProgramRun run = RunProgram(program_, dir_, {"--bogus"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("usage: ovextar"), std::string::npos) << run.err;
}

// Lines "S.mmm kind: text" of the trace, kind and text only.
std::vector<std::string> TraceLines(const std::string& err, const std::string& kind) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    const std::string key = " " + kind + ": ";
    while (at < err.size()) {
        const std::size_t end = std::min(err.find('\n', at), err.size());
        const std::string line = err.substr(at, end - at);
        if (const auto k = line.find(key); k != std::string::npos) {
            lines.push_back(line.substr(k + key.size()));
        }
        at = end + 1;
    }
    return lines;
}

TEST_F(ProgramTest, SimulatorStartUpIsTracedOnTheWireAndInTheStatusLine) {
    const std::string firmware = sim::DeviceModel::kFirmwareText;
    const ProgramRun run =
        RunProgram(program_, ProgramDir(), {"--simulator", "--no-line", "--trace"},
                   "status: " + firmware + "\n");
    const auto tx = TraceLines(run.err, "tx");
    ASSERT_EQ(tx.size(), 3u) << run.err;
    EXPECT_EQ(tx[0].substr(0, 8), "00550005");
    EXPECT_EQ(tx[1].substr(0, 8), "00550002");
    EXPECT_EQ(tx[2].substr(0, 8), "00550007");
    const auto status = TraceLines(run.err, "status");
    ASSERT_FALSE(status.empty()) << run.err;
    EXPECT_EQ(status.front(), "InitVars");
    EXPECT_EQ(status.back(), firmware);
    EXPECT_NE(std::find(status.begin(), status.end(), "Echo Check - Line Ok!"), status.end());
}

TEST(ProgramVersion, EveryProgramPrintsTheOneVersionAndExits0) {
    for (const std::string name : {"ovextar", "ovextar-sim"}) {
        const ProgramRun run = RunProgram(ProgramDir() / name, ProgramDir(), {"--version"});
        EXPECT_EQ(run.exitCode, 0) << name;
        EXPECT_EQ(run.err, name + " " + kVersion + "\n");
    }
    EXPECT_TRUE(std::string(kVersion).find_first_not_of("0123456789.") == std::string::npos &&
                std::count(kVersion, kVersion + std::strlen(kVersion), '.') == 2)
        << kVersion;
}

// The program in a tree as the package installs it (bin/ovextar, share/ovextar/the panel
// file), started from another directory, with HOME in the tree.
struct Install {
    const char* name;
    bool panelBesideProgram;
    bool damagedPanelInWorkingDir;
    bool expectUserFolder; // HOME/Documents/ovextar created, as the program directory
};

void PrintTo(const Install& row, std::ostream* os) {
    *os << row.name;
}

class InstalledProgram : public ProgramTest, public ::testing::WithParamInterface<Install> {};

TEST_P(InstalledProgram, FindsItsPanelFileAndChoosesItsProgramDirectory) {
    const Install& p = GetParam();
    const fs::path bin = dir_ / "bin", data = dir_ / "share" / "ovextar", home = dir_ / "home";
    const fs::path work = dir_ / "work";
    for (const fs::path& d : {bin, data, home, work}) {
        fs::create_directories(d);
    }
    fs::copy_file(dir_ / "ovextar", bin / "ovextar");
    fs::copy_file(ProgramDir() / "OVEXTAR1V12.uir", data / "OVEXTAR1V12.uir");
    if (p.panelBesideProgram) {
        fs::copy_file(ProgramDir() / "OVEXTAR1V12.uir", bin / "OVEXTAR1V12.uir");
    }
    if (p.damagedPanelInWorkingDir) {
        std::ofstream(work / "OVEXTAR1V12.uir") << "not a panel file\n";
    }
    const std::string firmware = sim::DeviceModel::kFirmwareText;
    ChildSetup setup;
    setup.env = {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string()};
    const ProgramRun run =
        RunProgram(bin / "ovextar", work, {"--simulator", "--no-line", "--trace"},
                   "status: " + firmware + "\n", 20.0, setup);
    EXPECT_NE(run.err.find("status: Echo Check - Line Ok!\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("status: " + firmware + "\n"), std::string::npos) << run.err;
    EXPECT_EQ(fs::is_directory(home / "Documents" / "ovextar"), p.expectUserFolder);
}

INSTANTIATE_TEST_SUITE_P(Layouts, InstalledProgram,
                         ::testing::Values(Install{"Installed", false, true, true},
                                           Install{"BuildFolderKeepsTheProgramsFolder", true, false,
                                                   false}),
                         [](const auto& row) { return std::string(row.param.name); });

// A port that exists but that this user may not open: the status text stays "Cannot open port",
// the trace names the group that owns the device and the fix. Opening as another user needs
// root (as in CI); the device is a pty set up like a serial port (group dialout, mode 0660).
TEST_F(ProgramTest, PortWithoutPermissionKeepsItsStatusAndTheTraceNamesTheGroup) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as another user";
    }
    const group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string device = ttyname(slave);
    ASSERT_EQ(chown(device.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(device.c_str(), 0660), 0);
    fs::copy_file(ProgramDir() / "OVEXTAR1V12.uir", dir_ / "OVEXTAR1V12.uir");
    fs::permissions(dir_, fs::perms::all);
    ChildSetup nobody{{"HOME=" + dir_.string()}, 65534, 65534};
    const ProgramRun run = RunProgram(dir_ / "ovextar", dir_, {"--port", "1=" + device, "--trace"},
                                      "status: Cannot open port\n", 20.0, nobody);
    close(slave);
    close(master);
    EXPECT_EQ(TraceLines(run.err, "status").back(), "Cannot open port") << run.err;
    const auto port = TraceLines(run.err, "port");
    ASSERT_EQ(port.size(), 1u) << run.err;
    EXPECT_EQ(port[0], "cannot open " + device +
                           ": permission denied. The device belongs to group dialout: add the "
                           "user to that group (sudo adduser nobody dialout) and log in again.");
}

class AboutBox : public testing::PanelFixture {
  protected:
    void TearDown() override {
        ui::SetMessageResponder({});
        testing::PanelFixture::TearDown();
    }
};

TEST_F(AboutBox, F1InEitherWindowNamesTheVersionAndTheProgramDirectory) {
    std::snprintf(proj_dir, sizeof proj_dir, "%s", "/home/op/Documents/ovextar");
    std::vector<std::string> shown;
    ui::SetMessageResponder([&](const std::string& title, const std::string& text) {
        shown.push_back(title + "|" + text);
    });
    ASSERT_EQ(ui::SetPanelShortcut(app::panelHandle, "F1", ShowAbout), 0);
    EXPECT_EQ(ui::SetPanelShortcut(app::panelHandle, "NoSuchKey", ShowAbout),
              platform::kUiInvalidArgument);
    EXPECT_EQ(ui::SetPanelShortcut(9999, "F1", ShowAbout), platform::kUiInvalidPanel);
    ui::DisplayPanel(app::panelHandle);
    ui::DisplayPanel(app::panelPopUp);
    // A key reaches the shortcuts of the active window only.
    for (const int panel : {app::panelHandle, app::panelPopUp}) {
        Window(panel)->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window(panel)));
        QTest::keyClick(Window(panel), Qt::Key_F1);
    }
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], shown[1]);
    EXPECT_EQ(shown[0].substr(0, shown[0].find('|')), "About ovextar");
    EXPECT_NE(shown[0].find(std::string("version ") + kVersion), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("\n/home/op/Documents/ovextar\n"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("TARconfig.dat"), std::string::npos) << shown[0];
}

} // namespace
} // namespace ovx::app
