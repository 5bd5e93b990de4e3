#include "app/cli_commands.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli_args.h"
#include "app/cli_params.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "link/flash.h"
#include "link/operations.h"
#include "live/datacurve.h"
#include "live/leds.h"
#include "live/live_feed.h"
#include "live/runloop.h"
#include "live/strip.h"
#include "params/gui.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "params/paramfile.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/number_text.h"
#include "platform/panel.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/trace.h"
#include "sim/pty_host.h"

namespace ovx::app {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

constexpr const char* kProgram = "ovextar-cli";
constexpr std::array<int, link::kFlashPages> kFlashPages{4, 5, 6, 7};

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
    // Strings here are built by append: g++ 12 at -O3 reports a false -Wrestrict for
    // "literal" + std::string.
    JsonObject& Add(const char* name, const std::string& rawValue) {
        text_.append(text_.empty() ? "{" : ",").append(JsonText(name)).append(":").append(rawValue);
        return *this;
    }
    JsonObject& Text(const char* name, std::string_view value) {
        return Add(name, JsonText(value));
    }
    JsonObject& Number(const char* name, double value) {
        return Add(name, platform::GeneralText(value, 6));
    }
    JsonObject& Bool(const char* name, bool value) { return Add(name, value ? "true" : "false"); }
    std::string Str() const { return text_.empty() ? "{}" : text_ + "}"; }

  private:
    std::string text_;
};

std::string NumberList(const std::vector<int>& values) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        text.append(i == 0 ? "" : ",").append(std::to_string(values[i]));
    }
    return text + "]";
}

int PrintError(const std::string& message, int code) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return code;
}

JsonObject FailureObject(const std::string& command, const std::string& error) {
    JsonObject json;
    json.Text("command", command).Bool("ok", false).Text("error", error);
    return json;
}

// Status texts that tell how a live run or a data-block read ended.
constexpr const char* kLiveTimeout = "Timeout RS232-Line!";
constexpr const char* kBlockTimeout = "Timeout-RS-232 while reading 64 data-words!";
constexpr const char* kBlockRefused = "Data[64] block refused";

// What failed, with the status text that said so.
std::string Named(const std::string& what, const std::string& status) {
    return what + " (" + status + ")";
}

void SelectGraphSource(int source) {
    platform::SetCtrlVal(params::panelHandle, params::PANEL_RNGGRAPHSOURCE, source);
    params::CC_RNGGraphSource(params::panelHandle, params::PANEL_RNGGRAPHSOURCE,
                              platform::kEventCommit, nullptr, 0, 0);
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
    explicit Cli(const CliOptions& options) : o_(options) {}

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
    // The virtual controller on a pty, served by a thread of its own.
    int StartSimulator() {
        sim::HostOptions hostOptions;
        hostOptions.lineEmulation = o_.simLineEmulation;
        hostOptions.faults = o_.simFaults;
        host_ = std::make_unique<sim::PtyHost>(hostOptions);
        std::string error;
        if (!host_->Start(error)) {
            return Error("cannot start the virtual controller: " + error, kExitController);
        }
        platform::RegisterPort(1, host_->DevicePath());
        return kExitDone;
    }

    // The data curve still reads its source from the panel, and plots on it: curve alone loads
    // the panel, from the panel file beside the program, with the engine, whose event processing
    // serves the receive notification.
    int LoadCurvePanel() {
        static int argc = 1;
        static char name[] = "ovextar-cli";
        static char* argv[] = {name, nullptr};
        if (platform::InitEngineHeadless(argc, argv) < 0) {
            return Error("cannot initialise the engine", kExitFile);
        }
        params::panelHandle = platform::LoadPanel(0, params::kPanelFile, params::PANEL);
        if (params::panelHandle < 0) {
            return Error(std::string("cannot load panel file ") + params::kPanelFile + ": " +
                             platform::ErrorText(params::panelHandle),
                         kExitFile);
        }
        return kExitDone;
    }

    // Status texts: with --verbose each goes to stderr as it is shown (with --trace the trace
    // carries it); by default only the final one of a command that succeeded, or its error.
    // Each is kept for judging how a live run or a data-curve read ended.
    void InstallStatusSink() {
        link::SetStatusSink([this](const char* text) {
            log_.emplace_back(text);
            if (o_.verbose && !o_.trace) {
                std::fprintf(stderr, "%s\n", text);
            }
        });
    }

    // The final status text of a command that succeeded, unless every text was shown.
    void TellFinal(const std::string& status) const {
        if (!o_.verbose && !o_.trace && !status.empty()) {
            std::fprintf(stderr, "%s\n", status.c_str());
        }
    }

    // The window's start state of the variables, without its panels.
    static void InitState() {
        params::SetParameterStartValues();
        live::InitThresholds();
        link::InitLinkVars();
        params::target = params::RAM;
        params::type = 1;
        live::stop_flag = 1;
        link::ShowStatus("InitVars");
        live::FillarrayRAW(0, 0);
        live::FillarrayNORM(params::tol10Bit, params::ref10Bit, 0);
    }

    int Prepare() {
        if (const int rc = CheckArguments(); rc != kExitDone) {
            return rc;
        }
        if (o_.simulator) {
            if (const int rc = StartSimulator(); rc != kExitDone) {
                return rc;
            }
        } else {
            platform::RegisterPort(1, o_.device);
        }
        platform::EnableTrace(o_.trace);
        if (o_.command == "curve") {
            if (const int rc = LoadCurvePanel(); rc != kExitDone) {
                return rc;
            }
        }
        InstallStatusSink();
        InitState();
        return kExitDone;
    }

    // The one-line error on stderr; with --json also the failure object on stdout.
    int Error(const std::string& message, int code) const {
        return Error(message, code, FailureObject(o_.command, message));
    }
    int Error(const std::string& message, int code, const JsonObject& json) const {
        if (o_.json) {
            std::printf("%s\n", json.Str().c_str());
            std::fflush(stdout);
        }
        return PrintError(message, code);
    }

    // Runs a step whose serial waits Ctrl-C ends at once; the step's result.
    template <typename Step> static auto Interruptibly(Step step) {
        platform::SetComReadsInterruptible(true);
        auto result = step();
        platform::SetComReadsInterruptible(false);
        return result;
    }

    int Interrupted(const char* during) const {
        return Error(std::string("interrupted (Ctrl-C) during ") + during, kExitInterrupted);
    }

    // The window's start-up on port 1: open, echo check, parameters, firmware information.
    // Ctrl-C ends its waits at once.
    int StartUp() {
        const link::OpResult r = Interruptibly([] { return link::OpenController(link::com); });
        if (stopRequested != 0) {
            return Interrupted("the start-up");
        }
        return r.ok() ? kExitDone : Error(Device() + ": " + r.failure, kExitController);
    }

    std::string Device() const { return o_.simulator ? "the virtual controller" : o_.device; }
    std::string LastStatus() const { return log_.empty() ? "no answer" : log_.back(); }
    // The last text shown since mark that begins with one of prefixes (the texts that tell how a
    // step failed), else the last text: a later one, such as a port that disappeared, does not
    // hide why the command failed.
    std::string LastOf(std::size_t mark, std::initializer_list<std::string_view> prefixes) const {
        for (std::size_t i = log_.size(); i > mark; --i) {
            for (const std::string_view p : prefixes) {
                if (std::string_view(log_[i - 1]).starts_with(p)) {
                    return log_[i - 1];
                }
            }
        }
        return LastStatus();
    }
    std::size_t Mark() const { return log_.size(); }

    // ---- Arguments, all checked before anything is sent ---------------------------------------
    int CheckArguments() {
        std::string error;
        if (!ParseCommandArgs(o_.command, o_.args, args_, error)) {
            return Error(error, kExitUsage);
        }
        const std::string& c = o_.command;
        if (c == "send" && args_.assignments.empty()) {
            int code = kExitUsage;
            if (!ReadAssignments(args_.Words()[0], args_.assignments, error, code)) {
                return Error("send: " + error, code);
            }
        }
        if (c == "live" && args_.Value("--csv") != nullptr) {
            if (const std::string why = csv_.Open(*args_.Value("--csv")); !why.empty()) {
                return Error(why, kExitFile);
            }
        }
        if (const std::string* csv = args_.Value("--csv"); c == "curve" && csv != nullptr) {
            if (const std::string why = OutputFile::Refusal(*csv); !why.empty()) {
                return Error(why, kExitFile); // before the curve is fetched
            }
        }
        if (c == "flash") {
            return CheckMeasurement(args_.Words()[0]);
        }
        return kExitDone;
    }

    // A table that does not fit in flash words is refused here; a repaired table is built, and
    // with tell its warning goes to stderr (flash shows it in the status texts).
    int CheckMeasurement(const std::string& path, bool tell = false) {
        char error[link::kStatusSize] = {};
        if (params::ReadCorrData(path.c_str(), error, sizeof error, nullptr) == 0) {
            return Error(error, kExitFile);
        }
        if (tell && error[0] != '\0') {
            std::fprintf(stderr, "%s\n", error);
        }
        return kExitDone;
    }

    // ---- Commands without a controller --------------------------------------------------------
    int Ports() {
        if (const int rc = CheckArguments(); rc != kExitDone) {
            return rc;
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
        if (const int rc = CheckArguments(); rc != kExitDone) {
            return rc;
        }
        if (const int rc = CheckMeasurement(args_.Words()[0], true); rc != kExitDone) {
            return rc;
        }
        const std::string* out = args_.Value("-o");
        if (out != nullptr) {
            if (params::WriteTableFile(out->c_str()) < 0) {
                return Error("cannot write " + *out, kExitFile);
            }
            PrintFileWritten(*out);
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

    // Success: okText, or with --json the command, ok and the final status; failure: the error.
    int Result(const link::OpResult& r, const char* okText, const std::string& failure) {
        if (!r.ok()) {
            return Error(failure, kExitController);
        }
        TellFinal(r.status);
        if (o_.json) {
            std::printf("%s\n", JsonObject()
                                    .Text("command", o_.command)
                                    .Bool("ok", true)
                                    .Text("status", r.status)
                                    .Str()
                                    .c_str());
        } else if (okText != nullptr) {
            std::printf("%s\n", okText);
        }
        return kExitDone;
    }

    int Check() {
        if (link::OpenRS232(link::com) == 0) {
            return Error(Device() + ": " + link::ShownStatus(), kExitController);
        }
        const link::OpResult r = Interruptibly([] { return link::EchoCheck(link::com); });
        if (stopRequested != 0) {
            return Interrupted("the echo check");
        }
        return Result(r, "line ok", Device() + ": " + r.failure);
    }

    int Info() {
        if (link::szVersion[0] == '\0') { // an answer of another length than 64 bytes
            return Error(Device() + ": no firmware information in the controller's answer",
                         kExitController);
        }
        TellFinal(link::ShownStatus());
        if (o_.json) {
            std::printf("%s\n", JsonObject().Text("firmware", link::szVersion).Str().c_str());
        } else {
            std::printf("%s\n", link::szVersion);
        }
        return kExitDone;
    }

    void PrintParameters() {
        JsonObject json;
        for (const params::Parameter& p : params::Parameters()) {
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

    // The parameters of RAM or EEPROM into the variables, as the get button fetches them.
    // false with the result in fetch_.
    bool GetFromTarget() {
        params::target = args_.Flag("--eeprom") ? params::EEPROM : params::RAM;
        link::ShowStatus("Receive...");
        fetch_ = link::GetParameters(params::target);
        return fetch_.ok();
    }

    int Get() {
        if (!GetFromTarget()) {
            return Error("get: " + fetch_.failure, kExitController);
        }
        TellFinal(fetch_.status);
        if (const std::string* out = args_.Value("-o")) {
            if (char why[link::kStatusSize];
                params::WriteParamFile(out->c_str(), why, sizeof why) < 0) {
                return Error(std::string(why) + " " + *out, kExitFile);
            }
            PrintFileWritten(*out);
            return kExitDone;
        }
        PrintParameters();
        return kExitDone;
    }

    // With --json: the object of a result written to a file.
    void PrintFileWritten(const std::string& path) const {
        if (o_.json) {
            std::printf("%s\n", JsonObject()
                                    .Text("command", o_.command)
                                    .Bool("ok", true)
                                    .Text("file", path)
                                    .Str()
                                    .c_str());
        }
    }

    // The names given change the values the controller reported; the rest stay.
    int Send() {
        if (args_.Flag("--eeprom") && !GetFromTarget()) {
            return Error("send: " + fetch_.failure, kExitController);
        }
        params::target = args_.Flag("--eeprom") ? params::EEPROM : params::RAM;
        for (const Assignment& a : args_.assignments) {
            *a.param->variable = a.value;
        }
        if (params::evalmode == 2 && params::trigmode == 1) {
            return Error("send: evaluation-mode 2 excludes trigger-mode 1 (nothing sent)",
                         kExitUsage);
        }
        link::ShowStatus("Transmit...");
        const link::OpResult r = link::SendParameters(params::target);
        return Result(r, "sent", "send: " + r.failure);
    }

    int TeachOrReset(bool teach) {
        if (teach) {
            link::ShowStatus("Teach new Reference-Value ...");
        }
        const link::OpResult r = teach ? link::Teach() : link::Reset();
        if (!teach || !r.ok()) {
            return Result(r, nullptr, o_.command + ": " + r.failure);
        }
        TellFinal(r.status);
        if (o_.json) {
            std::printf("%s\n", JsonObject().Number("reference", params::reference).Str().c_str());
        } else {
            std::printf("reference=%u\n", static_cast<unsigned>(params::reference));
        }
        return kExitDone;
    }

    // ---- live -------------------------------------------------------------------------------
    // One line per sample: to the CSV (written through, so an interrupted run keeps every frame
    // taken), else to stdout; with --json one object per sample on stdout.
    bool OnSample(const live::LiveSample& s) {
        char line[160];
        std::snprintf(line, sizeof line, "%s,%d,%u,%u,%u,%u,%u,%d,%d\n",
                      platform::FixedText(s.time, 3).c_str(), s.norm, s.a, s.b, s.amax, s.upper,
                      s.lower, s.toleranceOutput, s.referenceOutput);
        if (csvOpen_) {
            csv_.Stream() << line << std::flush;
        }
        if (o_.json) {
            std::printf("%s\n", JsonObject()
                                    .Number("time", s.time)
                                    .Number("norm", s.norm)
                                    .Number("a", s.a)
                                    .Number("b", s.b)
                                    .Number("amax", s.amax)
                                    .Number("upper", s.upper)
                                    .Number("lower", s.lower)
                                    .Number("tolerance_output", s.toleranceOutput)
                                    .Number("reference_output", s.referenceOutput)
                                    .Str()
                                    .c_str());
        } else if (!csvOpen_) {
            std::fputs(line, stdout);
        }
        if (o_.json || !csvOpen_) {
            std::fflush(stdout);
        }
        ++frames_;
        const bool enough = (args_.frames > 0 && frames_ >= args_.frames) ||
                            (args_.seconds > 0 && s.time >= static_cast<double>(args_.seconds));
        return !enough && stopRequested == 0;
    }

    // The run needs no panel: samples go straight to the output, and each reply is awaited in
    // the OS. Ctrl-C ends the wait at once.
    int Live() {
        constexpr const char* kHeader =
            "time,norm,a,b,amax,upper,lower,tolerance_output,reference_output\n";
        csvOpen_ = args_.Value("--csv") != nullptr;
        if (csvOpen_) {
            csv_.Stream() << kHeader << std::flush;
        } else if (!o_.json) {
            std::fputs(kHeader, stdout);
            std::fflush(stdout);
        }
        // Ctrl-C during the start-up: no run is started.
        const live::LiveEnd end =
            stopRequested != 0
                ? live::LiveEnd::kInterrupted
                : live::RunLiveFeed([this](const live::LiveSample& s) { return OnSample(s); },
                                    static_cast<double>(args_.seconds));
        if (csvOpen_ && !csv_.Close()) {
            return Error("cannot write " + *args_.Value("--csv"), kExitFile);
        }
        if (end == live::LiveEnd::kLineTimeout) {
            return Error("live: " + Named("no live frame taken for more than 2.0 s",
                                          LastOf(0, {kLiveTimeout})),
                         kExitController);
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
            return Error("curve: " + Named("no whole data block",
                                           LastOf(mark, {kBlockTimeout, kBlockRefused})),
                         kExitController);
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
        const link::FlashResult r = link::ProgramTable(args_.Words()[0].c_str(), {});
        if (r.outcome == link::Outcome::kFileError) {
            return Error(r.failure, kExitFile);
        }
        std::vector<int> written, missing;
        for (std::size_t i = 0; i < kFlashPages.size(); ++i) {
            (r.pages[i] == link::kPageWritten ? written : missing).push_back(kFlashPages[i]);
        }
        if (missing.empty()) {
            TellFinal(r.status);
            if (o_.json) {
                std::printf("%s\n", JsonObject()
                                        .Add("pages_written", NumberList(written))
                                        .Add("pages_not_written", NumberList(missing))
                                        .Str()
                                        .c_str());
            }
            return kExitDone;
        }
        std::string pages;
        for (const int p : missing) {
            pages.append(" ").append(std::to_string(p));
        }
        const std::string error = "flash: pages not written:" + pages;
        JsonObject json = FailureObject(o_.command, error);
        json.Add("pages_written", NumberList(written))
            .Add("pages_not_written", NumberList(missing));
        return Error(error, kExitController, json);
    }

    const CliOptions& o_;
    CliArgs args_;
    std::unique_ptr<sim::PtyHost> host_;
    std::vector<std::string> log_;
    link::OpResult fetch_; // the last GetFromTarget
    // live
    OutputFile csv_;
    bool csvOpen_ = false;
    long frames_ = 0;
};

void OnInterrupt(int) {
    RequestCliStop();
}

} // namespace

std::string CliFailureJson(const std::string& command, const std::string& error) {
    return FailureObject(command, error).Str();
}

// Safe inside a signal handler: flags, and the wake-up of a waiting live run.
void RequestCliStop() {
    stopRequested = 1;
    link::flash_stop = true;
    platform::InterruptComWaits();
}

int RunCli(const CliOptions& options) {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const int rc = Cli(options).Run();
    link::SetStatusSink({});
    return rc;
}

} // namespace ovx::app
