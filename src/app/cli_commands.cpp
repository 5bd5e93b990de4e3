#include "app/cli_commands.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/OVEXTAR1V12.h"
#include "app/cli_params.h"
#include "app/commands.h"
#include "app/embedded_sim.h"
#include "app/paramfile.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "link/flash.h"
#include "live/datacurve.h"
#include "live/runloop.h"
#include "live/strip.h"
#include "params/gui.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/panel.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/trace.h"

namespace ovx::app {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

constexpr const char* kProgram = "ovextar-cli";
constexpr std::array<int, 4> kFlashPages{4, 5, 6, 7};
constexpr std::array kPageOkTexts{
    "ok : D801 FLASH page4-write 255 words!", "ok : D801 FLASH page5-write 255 words!",
    "ok : D801 FLASH page6-write 255 words!", "ok : D801 FLASH page7-write 255 words!"};

std::string JsonText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// One JSON object, built field by field in order.
class JsonObject {
  public:
    JsonObject& Add(const char* name, const std::string& rawValue) {
        text_ += (text_.empty() ? "{" : ",") + JsonText(name) + ":" + rawValue;
        return *this;
    }
    JsonObject& Text(const char* name, std::string_view value) {
        return Add(name, JsonText(value));
    }
    JsonObject& Number(const char* name, double value) {
        char number[32];
        std::snprintf(number, sizeof number, "%.6g", value);
        return Add(name, number);
    }
    JsonObject& Bool(const char* name, bool value) { return Add(name, value ? "true" : "false"); }
    std::string Str() const { return text_.empty() ? "{}" : text_ + "}"; }

  private:
    std::string text_;
};

std::string NumberList(const std::vector<int>& values) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += (i == 0 ? "" : ",") + std::to_string(values[i]);
    }
    return text + "]";
}

int Error(const std::string& message, int code) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return code;
}

// Arguments of a command: flags, options with a value and plain words.
class Args {
  public:
    explicit Args(const std::vector<std::string>& args) : args_(args) {}

    // Takes every argument; false with a reason on one that is not known.
    bool Parse(const std::vector<std::string>& flags, const std::vector<std::string>& options,
               std::string& error) {
        for (std::size_t i = 0; i < args_.size(); ++i) {
            const std::string& a = args_[i];
            if (Contains(flags, a)) {
                flags_.push_back(a);
            } else if (Contains(options, a)) {
                if (i + 1 >= args_.size()) {
                    error = a + " needs a value";
                    return false;
                }
                values_.emplace_back(a, args_[++i]);
            } else if (a.size() > 1 && a[0] == '-') {
                error = "unknown option " + a;
                return false;
            } else {
                words_.push_back(a);
            }
        }
        return true;
    }
    bool Flag(const std::string& name) const { return Contains(flags_, name); }
    const std::string* Value(const std::string& name) const {
        for (const auto& [n, v] : values_) {
            if (n == name) {
                return &v;
            }
        }
        return nullptr;
    }
    const std::vector<std::string>& Words() const { return words_; }

  private:
    static bool Contains(const std::vector<std::string>& list, const std::string& s) {
        for (const std::string& x : list) {
            if (x == s) {
                return true;
            }
        }
        return false;
    }
    const std::vector<std::string>& args_;
    std::vector<std::string> flags_;
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> words_;
};

bool ParseCount(const std::string& text, long& value) {
    try {
        std::size_t used = 0;
        value = std::stol(text, &used);
        return used == text.size() && value > 0;
    } catch (...) {
        return false;
    }
}

void Click(int (*callback)(int, int, int, void*, int, int), int control) {
    callback(params::panelHandle, control, platform::kEventLeftClick, nullptr, 0, 0);
    callback(params::panelHandle, control, platform::kEventCommit, nullptr, 0, 0);
}

void SelectGraphSource(int source) {
    platform::SetCtrlVal(params::panelHandle, params::PANEL_RNGGRAPHSOURCE, source);
    params::CC_RNGGraphSource(params::panelHandle, params::PANEL_RNGGRAPHSOURCE,
                              platform::kEventCommit, nullptr, 0, 0);
}

int LedValue(int control) {
    int on = 0;
    platform::GetCtrlVal(params::panelHandle, control, &on);
    return on;
}

// An output file written whole: text goes to a temporary beside it, renamed at the end.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { // never closed: the old file stays, the temporary goes
        if (out_.is_open()) {
            out_.close();
            std::error_code ec;
            std::filesystem::remove(temp_, ec);
        }
    }
    // Empty, or why path is no file to write: a FIFO, a device (/dev/null) or a link to one is
    // never replaced by the renamed temporary.
    static std::string Refusal(const std::string& path) {
        return platform::RegularFileOrNone(path.c_str()) != 0
                   ? "cannot write " + path + ": not a regular file"
                   : std::string();
    }
    // Empty, or why path cannot be written.
    std::string Open(const std::string& path) {
        if (std::string why = Refusal(path); !why.empty()) {
            return why;
        }
        path_ = path;
        temp_ = path + ".part";
        out_.open(temp_, std::ios::trunc);
        return out_.is_open() ? std::string() : "cannot write " + path;
    }
    std::ostream& Stream() { return out_; }
    bool Close() {
        out_.close();
        std::error_code ec;
        std::filesystem::rename(temp_, path_, ec);
        return !out_.fail() && !ec;
    }

  private:
    std::string path_, temp_;
    std::ofstream out_;
};

class Cli {
  public:
    explicit Cli(const CliOptions& options) : o_(options), args_(options.args) {}

    int Run() {
        const std::string& c = o_.command;
        if (c == "ports") {
            return Ports();
        }
        if (c == "table") {
            return Table();
        }
        const int prepared = Prepare();
        if (prepared != kExitDone) {
            return prepared;
        }
        const int rc = Controller();
        platform::CloseCom(link::com);
        return rc;
    }

  private:
    // ---- Set-up -----------------------------------------------------------------------------
    int Engine() {
        static int argc = 1;
        static char name[] = "ovextar-cli";
        static char* argv[] = {name, nullptr};
        if (platform::InitEngineHeadless(argc, argv) < 0) {
            return Error("cannot initialise the engine", kExitFile);
        }
        platform::EnableTrace(o_.trace);
        return kExitDone;
    }

    int LoadPanels() {
        RegisterAllCallbacks();
        params::panelHandle = platform::LoadPanel(0, params::kPanelFile, params::PANEL);
        params::panelPopUp = platform::LoadPanel(0, params::kPanelFile, params::POPUP);
        const int bad = params::panelHandle < 0 ? params::panelHandle : params::panelPopUp;
        if (bad < 0) {
            return Error(std::string("cannot load panel file ") + params::kPanelFile + ": " +
                             platform::ErrorText(bad),
                         kExitFile);
        }
        return kExitDone;
    }

    // Every shown status text goes to stderr (the trace carries it with --trace) and is kept
    // for judging the outcome.
    void InstallStatusSink() {
        link::SetStatusSink([this](const char* text) {
            log_.emplace_back(text);
            if (!o_.trace) {
                std::fprintf(stderr, "%s\n", text);
            }
        });
    }

    int Prepare() {
        if (const int rc = CheckArguments(); rc != kExitDone) {
            return rc;
        }
        if (o_.simulator) {
            std::string error;
            host_ = StartEmbeddedSimulator(o_.simFaults, o_.simLineEmulation, error);
            if (host_ == nullptr) {
                return Error("cannot start the virtual controller: " + error, kExitController);
            }
            platform::RegisterPort(1, host_->DevicePath());
        } else {
            platform::RegisterPort(1, o_.device);
        }
        if (const int rc = Engine(); rc != kExitDone) {
            return rc;
        }
        if (const int rc = LoadPanels(); rc != kExitDone) {
            return rc;
        }
        InstallStatusSink();
        platform::GetProjectDir(proj_dir);
        InitVars();
        return kExitDone;
    }

    // The window's start-up on port 1: open, echo check, parameters, firmware information.
    int StartUp() {
        if (link::InitRS232(link::com) == 1) {
            return kExitDone;
        }
        return Error(Device() + ": " + LastStatus(), kExitController);
    }

    std::string Device() const { return o_.simulator ? "the virtual controller" : o_.device; }
    std::string LastStatus() const { return log_.empty() ? "no answer" : log_.back(); }
    std::size_t Mark() const { return log_.size(); }
    bool Shown(std::size_t since, std::string_view text) const {
        for (std::size_t i = since; i < log_.size(); ++i) {
            if (log_[i] == text) {
                return true;
            }
        }
        return false;
    }

    // ---- Arguments, all checked before anything is sent ---------------------------------------
    int CheckArguments() {
        const std::string& c = o_.command;
        std::string error;
        bool ok = true;
        if (c == "check" || c == "info" || c == "teach" || c == "reset") {
            ok = args_.Parse({}, {}, error) && NoWords(error);
        } else if (c == "get") {
            ok = args_.Parse({"--eeprom"}, {"-o"}, error) && NoWords(error);
        } else if (c == "send") {
            ok = args_.Parse({"--eeprom"}, {}, error);
            if (ok) {
                return CheckAssignments();
            }
        } else if (c == "live") {
            ok = args_.Parse({}, {"--seconds", "--frames", "--csv"}, error) && NoWords(error) &&
                 CheckLimit(error);
            if (ok && args_.Value("--csv") != nullptr) {
                if (const std::string why = csv_.Open(*args_.Value("--csv")); !why.empty()) {
                    return Error(why, kExitFile);
                }
            }
        } else if (c == "curve") {
            ok = args_.Parse({"--raw"}, {"--csv"}, error) && NoWords(error);
            if (const std::string* csv = args_.Value("--csv"); ok && csv != nullptr) {
                if (const std::string why = OutputFile::Refusal(*csv); !why.empty()) {
                    return Error(why, kExitFile); // before the curve is fetched
                }
            }
        } else if (c == "flash") {
            ok = args_.Parse({}, {}, error) && OneWord("MEASUREMENT", error);
            if (ok) {
                return CheckMeasurement(args_.Words()[0]);
            }
        }
        return ok ? kExitDone : Error(c + ": " + error, kExitUsage);
    }

    bool NoWords(std::string& error) const {
        if (!args_.Words().empty()) {
            error = "unexpected argument " + args_.Words()[0];
            return false;
        }
        return true;
    }

    bool OneWord(const char* what, std::string& error) const {
        if (args_.Words().size() != 1) {
            error = args_.Words().empty() ? std::string("needs ") + what
                                          : "unexpected argument " + args_.Words()[1];
            return false;
        }
        return true;
    }

    bool CheckLimit(std::string& error) {
        const std::string* seconds = args_.Value("--seconds");
        const std::string* frames = args_.Value("--frames");
        if (seconds != nullptr && frames != nullptr) {
            error = "--seconds and --frames exclude each other";
            return false;
        }
        if (seconds != nullptr && !ParseCount(*seconds, maxSeconds_)) {
            error = "--seconds needs a whole number above 0, not " + *seconds;
            return false;
        }
        if (frames != nullptr && !ParseCount(*frames, maxFrames_)) {
            error = "--frames needs a whole number above 0, not " + *frames;
            return false;
        }
        return true;
    }

    // A single word that is no NAME=VALUE is a file; otherwise every word is an assignment.
    int CheckAssignments() {
        const auto& words = args_.Words();
        if (words.empty()) {
            return Error("send: needs FILE or NAME=VALUE", kExitUsage);
        }
        std::string error;
        if (words.size() == 1 && words[0].find('=') == std::string::npos) {
            int code = kExitUsage;
            if (!ReadAssignments(words[0], assignments_, error, code)) {
                return Error("send: " + error, code);
            }
        } else {
            for (const std::string& w : words) {
                Assignment a{};
                if (!ParseAssignment(w, a, error)) {
                    return Error("send: " + error, kExitUsage);
                }
                assignments_.push_back(a);
            }
        }
        return kExitDone;
    }

    int CheckMeasurement(const std::string& path) {
        char error[link::kStatusSize] = {};
        if (params::ReadCorrData(path.c_str(), error, sizeof error, nullptr) == 0) {
            return Error(error, kExitFile);
        }
        return kExitDone;
    }

    // ---- Commands without a controller --------------------------------------------------------
    int Ports() {
        std::string error;
        if (!args_.Parse({}, {}, error) || !NoWords(error)) {
            return Error("ports: " + error, kExitUsage);
        }
        for (const platform::PortInfo& p : platform::ListPorts()) {
            if (o_.json) {
                std::printf("%s\n", JsonObject()
                                        .Text("device", p.device)
                                        .Text("description", p.description)
                                        .Str()
                                        .c_str());
            } else {
                std::printf("%s\t%s\n", p.device.c_str(), p.description.c_str());
            }
        }
        return kExitDone;
    }

    // The table goes to FILE, or to stdout, exactly as the window writes "LTlinear.dat".
    int Table() {
        std::string error;
        if (!args_.Parse({}, {"-o"}, error) || !OneWord("MEASUREMENT", error)) {
            return Error("table: " + error, kExitUsage);
        }
        if (const int rc = Engine(); rc != kExitDone) {
            return rc;
        }
        if (const int rc = CheckMeasurement(args_.Words()[0]); rc != kExitDone) {
            return rc;
        }
        const std::string* out = args_.Value("-o");
        if (out != nullptr) {
            if (params::WriteTableFile(out->c_str()) < 0) {
                return Error("cannot write " + *out, kExitFile);
            }
            return kExitDone;
        }
        return PrintTable();
    }

    int PrintTable() {
        if (o_.json) {
            std::vector<int> table(params::kTableSize);
            for (int i = 0; i < params::kTableSize; ++i) {
                table[i] = params::vcorr[2 * params::kTableSize + i];
            }
            std::printf("%s\n", JsonObject().Add("table", NumberList(table)).Str().c_str());
            return kExitDone;
        }
        const auto temp = std::filesystem::temp_directory_path() /
                          ("ovextar-cli-table-" + std::to_string(std::random_device{}()));
        if (params::WriteTableFile(temp.string().c_str()) < 0) {
            return Error("cannot write " + temp.string(), kExitFile);
        }
        std::ifstream in(temp);
        std::fputs(std::string(std::istreambuf_iterator<char>(in), {}).c_str(), stdout);
        std::filesystem::remove(temp);
        return kExitDone;
    }

    // ---- Commands on the controller -----------------------------------------------------------
    int Controller() {
        const std::string& c = o_.command;
        if (c == "check") {
            return Check();
        }
        if (const int rc = StartUp(); rc != kExitDone) {
            return rc;
        }
        if (c == "info") {
            return Info();
        }
        if (c == "get") {
            return Get();
        }
        if (c == "send") {
            return Send();
        }
        if (c == "teach" || c == "reset") {
            return TeachOrReset(c == "teach");
        }
        if (c == "live") {
            return Live();
        }
        if (c == "curve") {
            return Curve();
        }
        return Flash();
    }

    int Result(bool ok, const char* okText) {
        if (o_.json) {
            std::printf("%s\n", JsonObject()
                                    .Text("command", o_.command)
                                    .Bool("ok", ok)
                                    .Text("status", LastStatus())
                                    .Str()
                                    .c_str());
        } else if (ok) {
            std::printf("%s\n", okText);
        }
        return ok ? kExitDone : kExitController;
    }

    int Check() {
        if (link::OpenRS232(link::com) == 0) {
            return Error(Device() + ": " + LastStatus(), kExitController);
        }
        return Result(link::CheckComLine(link::com) == 1, "line ok");
    }

    int Info() {
        if (o_.json) {
            std::printf("%s\n", JsonObject().Text("firmware", link::szVersion).Str().c_str());
        } else {
            std::printf("%s\n", link::szVersion);
        }
        return kExitDone;
    }

    void PrintParameters() {
        JsonObject json;
        for (const ParamName& p : ParamNames()) {
            if (o_.json) {
                json.Number(p.name, *p.variable);
            } else {
                std::printf("%s=%u\n", p.name, static_cast<unsigned>(*p.variable));
            }
        }
        if (o_.json) {
            std::printf("%s\n", json.Str().c_str());
        }
    }

    // Target, then the get button: the parameters of RAM or EEPROM onto the panel.
    bool GetFromTarget() {
        params::target = args_.Flag("--eeprom") ? params::EEPROM : params::RAM;
        const std::size_t mark = Mark();
        Click(CC_BTNGet, params::PANEL_BTNGET);
        return Shown(mark, "Data Transfer Ok!");
    }

    int Get() {
        if (!GetFromTarget()) {
            return Error("get: " + LastStatus(), kExitController);
        }
        if (const std::string* out = args_.Value("-o")) {
            std::snprintf(file_name, sizeof file_name, "%s", out->c_str());
            if (SendParaToFile() < 0) {
                return Error(std::string(link::szStatus) + " " + *out, kExitFile);
            }
            return kExitDone;
        }
        PrintParameters();
        return kExitDone;
    }

    // The names given change the values the controller reported; the rest stay.
    int Send() {
        if (args_.Flag("--eeprom") && !GetFromTarget()) {
            return Error("send: " + LastStatus(), kExitController);
        }
        params::target = args_.Flag("--eeprom") ? params::EEPROM : params::RAM;
        for (const Assignment& a : assignments_) {
            *a.param->variable = a.value;
        }
        if (params::evalmode == 2 && params::trigmode == 1) {
            return Error("send: evaluation-mode 2 excludes trigger-mode 1 (nothing sent)",
                         kExitUsage);
        }
        params::SetPanelValues();
        const std::size_t mark = Mark();
        Click(CC_BTNSend, params::PANEL_BTNSEND);
        return Result(Shown(mark, "Transmit Ok!"), "sent");
    }

    int TeachOrReset(bool teach) {
        const std::size_t mark = Mark();
        if (teach) {
            Click(CC_ButtonTeach, params::PANEL_BUTTONTEACH);
        } else {
            CC_ButtonReset(params::panelHandle, params::PANEL_BUTTONRESET, platform::kEventCommit,
                           nullptr, 0, 0);
        }
        const bool ok = Shown(mark, "Parameter-frame received! - Line Ok!");
        if (!ok) {
            return Error(o_.command + ": " + LastStatus(), kExitController);
        }
        if (teach && o_.json) {
            std::printf("%s\n", JsonObject().Number("reference", params::reference).Str().c_str());
        } else if (teach) {
            std::printf("reference=%u\n", static_cast<unsigned>(params::reference));
        }
        return kExitDone;
    }

    // ---- live -------------------------------------------------------------------------------
    static void LiveRx(int port, int eventWord, void* data) {
        auto* cli = static_cast<Cli*>(data);
        cli->EmitPlotted();
        link::RX_Receive_Function(port, eventWord, nullptr);
        if (link::rx_flag == 1 && link::graphrefresh == 1) {
            cli->OnFrame();
        }
    }

    void OnFrame() {
        pending_ = true;
        pendingTime_ = platform::Timer() - runStart_;
        ++frames_;
        const bool enough = (maxFrames_ > 0 && frames_ >= maxFrames_) ||
                            (maxSeconds_ > 0 && pendingTime_ >= static_cast<double>(maxSeconds_));
        if (enough || stopRequested != 0) {
            stoppedByUs_ = true;
            live::CC_BTNStop(params::panelHandle, params::PANEL_BTNSTOP, platform::kEventCommit,
                             nullptr, 0, 0);
        }
    }

    // The frame before this one has been plotted and judged by now: its values are the tool's.
    void EmitPlotted() {
        if (!pending_ || link::graphrefresh != 0) {
            return;
        }
        pending_ = false;
        const int tol = LedValue(params::PANEL_LEDTOL);
        const int ref = LedValue(params::PANEL_LEDREF);
        char line[160];
        std::snprintf(line, sizeof line, "%.3f,%d,%u,%u,%u,%u,%u,%d,%d\n", pendingTime_,
                      live::valNORM, live::adcCHA, live::adcCHB, live::Amax, live::UPval,
                      live::LOval, tol, ref);
        if (csvOpen_) {
            csv_.Stream() << line << std::flush;
        }
        if (o_.json) {
            std::printf("%s\n", JsonObject()
                                    .Number("time", pendingTime_)
                                    .Number("norm", live::valNORM)
                                    .Number("a", live::adcCHA)
                                    .Number("b", live::adcCHB)
                                    .Number("amax", live::Amax)
                                    .Number("upper", live::UPval)
                                    .Number("lower", live::LOval)
                                    .Number("tolerance_output", tol)
                                    .Number("reference_output", ref)
                                    .Str()
                                    .c_str());
        } else if (!csvOpen_) {
            std::fputs(line, stdout);
        }
        std::fflush(stdout);
    }

    // The last frame is stopped before the loop plots it: plot it as the loop would.
    void EmitLast() {
        if (!pending_) {
            return;
        }
        if (params::type == 0) {
            live::PlotRAWValues();
        } else {
            live::PlotNORMValues(live::arrayNORM);
        }
        link::graphrefresh = 0;
        EmitPlotted();
    }

    int Live() {
        constexpr const char* kHeader =
            "time,norm,a,b,amax,upper,lower,tolerance_output,reference_output\n";
        csvOpen_ = args_.Value("--csv") != nullptr;
        if (csvOpen_) {
            csv_.Stream() << kHeader << std::flush;
        } else if (!o_.json) {
            std::fputs(kHeader, stdout);
        }
        platform::InstallComCallback(link::com, link::eventMask, link::kFrameBytes, link::sync,
                                     LiveRx, this);
        runStart_ = platform::Timer();
        live::CC_BTNRun(params::panelHandle, params::PANEL_BTNRUN, platform::kEventCommit, nullptr,
                        0, 0);
        EmitLast();
        if (csvOpen_ && !csv_.Close()) {
            return Error("cannot write " + *args_.Value("--csv"), kExitFile);
        }
        if (!stoppedByUs_) {
            return Error("live: " + LastStatus(), kExitController);
        }
        return kExitDone;
    }

    // ---- curve ------------------------------------------------------------------------------
    int Curve() {
        const bool raw = args_.Flag("--raw");
        SelectGraphSource(raw ? 0 : 1);
        const std::size_t mark = Mark();
        live::CC_BTNData(params::panelHandle, params::PANEL_BTNDATA, platform::kEventCommit,
                         nullptr, 0, 0);
        int blocks = 0;
        for (std::size_t i = mark; i < log_.size(); ++i) {
            blocks += log_[i] == "Data[64] block received!" ? 1 : 0;
        }
        if (blocks != (raw ? 4 : 2)) {
            return Error("curve: " + LastStatus(), kExitController);
        }
        return PrintCurve(raw);
    }

    int PrintCurve(bool raw) {
        OutputFile file;
        const std::string* path = args_.Value("--csv");
        if (path != nullptr) {
            if (const std::string why = file.Open(*path); !why.empty()) {
                return Error(why, kExitFile);
            }
        }
        std::string text = raw ? "point,a,b\n" : "point,norm,upper,lower,reference\n";
        std::vector<int> a, b;
        for (int i = 0; i < link::kCurvePoints; ++i) {
            char line[96];
            if (raw) {
                std::snprintf(line, sizeof line, "%d,%u,%u\n", i, link::yArrayA[i],
                              link::yArrayB[i]);
            } else {
                std::snprintf(line, sizeof line, "%d,%u,%u,%u,%u\n", i, link::yArrayA[i],
                              live::upArray[i], live::loArray[i], live::refArray[i]);
            }
            text += line;
            a.push_back(link::yArrayA[i]);
            b.push_back(link::yArrayB[i]);
        }
        if (path != nullptr) {
            file.Stream() << text;
            if (!file.Close()) {
                return Error("cannot write " + *path, kExitFile);
            }
        }
        if (o_.json) {
            JsonObject json;
            json.Add(raw ? "a" : "norm", NumberList(a));
            if (raw) {
                json.Add("b", NumberList(b));
            } else {
                json.Number("upper", live::upArray[0])
                    .Number("lower", live::loArray[0])
                    .Number("reference", live::refArray[0]);
            }
            std::printf("%s\n", json.Str().c_str());
        } else if (path == nullptr) {
            std::fputs(text.c_str(), stdout);
        }
        return kExitDone;
    }

    // ---- flash ------------------------------------------------------------------------------
    int Flash() {
        std::snprintf(file_name, sizeof file_name, "%s", args_.Words()[0].c_str());
        const std::size_t mark = Mark();
        ProgramTable();
        std::vector<int> written, missing;
        for (std::size_t i = 0; i < kFlashPages.size(); ++i) {
            (Shown(mark, kPageOkTexts[i]) ? written : missing).push_back(kFlashPages[i]);
        }
        if (o_.json) {
            std::printf("%s\n", JsonObject()
                                    .Add("pages_written", NumberList(written))
                                    .Add("pages_not_written", NumberList(missing))
                                    .Str()
                                    .c_str());
        }
        if (missing.empty()) {
            return kExitDone;
        }
        std::string pages;
        for (const int p : missing) {
            pages += " " + std::to_string(p);
        }
        return Error("flash: pages not written:" + pages, kExitController);
    }

    const CliOptions& o_;
    Args args_;
    std::unique_ptr<sim::PtyHost> host_;
    std::vector<std::string> log_;
    std::vector<Assignment> assignments_;
    // live
    OutputFile csv_;
    bool csvOpen_ = false;
    long maxSeconds_ = 0, maxFrames_ = 0;
    long frames_ = 0;
    double runStart_ = 0.0, pendingTime_ = 0.0;
    bool pending_ = false, stoppedByUs_ = false;
};

void OnInterrupt(int) {
    RequestCliStop();
}

} // namespace

void RequestCliStop() {
    stopRequested = 1;
    link::flash_stop = true;
}

int RunCli(const CliOptions& options) {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const int rc = Cli(options).Run();
    link::SetStatusSink({});
    return rc;
}

} // namespace ovx::app
