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

#include "app/OVEXTAR1V12.h"
#include "app/cli_args.h"
#include "app/cli_live.h"
#include "app/cli_params.h"
#include "app/commands.h"
#include "app/embedded_sim.h"
#include "app/paramfile.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "link/flash.h"
#include "params/gui.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/number_text.h"
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

// Status texts that tell how a step of the start-up or a command ended.
constexpr const char* kEchoOk = "Echo Check - Line Ok!";
constexpr const char* kEchoTimeout = "Timeout < 36 Bytes";
constexpr const char* kEchoWrong = "read error - not sync byte 0xAA!";
constexpr const char* kFetchOk = "Parameter-frame received! - Line Ok!";
constexpr const char* kFetchTimeout = "Timeout-RS-232...";
constexpr const char* kFirmwareTimeout = "Timeout - reading firmware info!";
constexpr const char* kFirmwareError = "Error reading firmware-info!";
constexpr const char* kAckTimeout = "Timeout RS-232!!";
constexpr const char* kGetTimeout = "Timeout RS232-Line!";

// What failed, with the status text that said so.
std::string Named(const std::string& what, const std::string& status) {
    return what + " (" + status + ")";
}

void Click(int (*callback)(int, int, int, void*, int, int), int control) {
    callback(params::panelHandle, control, platform::kEventLeftClick, nullptr, 0, 0);
    callback(params::panelHandle, control, platform::kEventCommit, nullptr, 0, 0);
}

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
    template <typename Step> static bool Interruptibly(Step step) {
        platform::SetComReadsInterruptible(true);
        const bool ok = step();
        platform::SetComReadsInterruptible(false);
        return ok;
    }

    int Interrupted(const char* during) const {
        return Error(std::string("interrupted (Ctrl-C) during ") + during, kExitInterrupted);
    }

    // The window's start-up on port 1: open, echo check, parameters, firmware information.
    // Ctrl-C ends its waits at once.
    int StartUp() {
        const std::size_t mark = Mark();
        const bool ok = Interruptibly([] { return link::InitRS232(link::com) == 1; });
        if (stopRequested != 0) {
            return Interrupted("the start-up");
        }
        return ok ? kExitDone : Error(Device() + ": " + StartUpFailure(mark), kExitController);
    }

    // The step of the start-up (from mark on) that failed first. The port did not open when no
    // echo check ran: the last text says why.
    std::string StartUpFailure(std::size_t mark) const {
        if (Shown(mark, kEchoTimeout)) {
            return Named("no answer to the echo check", kEchoTimeout);
        }
        if (Shown(mark, kEchoWrong)) {
            return Named("wrong answer to the echo check", kEchoWrong);
        }
        if (!Shown(mark, kEchoOk)) {
            return LastStatus();
        }
        if (!Shown(mark, kFetchOk)) {
            return Named("no answer to the parameter fetch", kFetchTimeout);
        }
        return Named("no firmware information",
                     Shown(mark, kFirmwareTimeout) ? kFirmwareTimeout : kFirmwareError);
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
        if (c == "live" || c == "curve") {
            if (const int rc = Outcome(live_.Prepare(c)); rc != kExitDone) {
                return rc;
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
        if (const int rc = Engine(); rc != kExitDone) {
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
            return Outcome(live_.Live());
        }
        if (c == "curve") {
            return Outcome(live_.Curve());
        }
        return Flash();
    }

    // Success: okText, or with --json the command, ok and the last status; failure: the error.
    int Result(bool ok, const char* okText, const std::string& failure) {
        if (!ok) {
            return Error(failure, kExitController);
        }
        if (o_.json) {
            std::printf("%s\n", JsonObject()
                                    .Text("command", o_.command)
                                    .Bool("ok", true)
                                    .Text("status", LastStatus())
                                    .Str()
                                    .c_str());
        } else if (okText != nullptr) {
            std::printf("%s\n", okText);
        }
        return kExitDone;
    }

    int Check() {
        if (link::OpenRS232(link::com) == 0) {
            return Error(Device() + ": " + LastStatus(), kExitController);
        }
        const std::size_t mark = Mark();
        const bool ok = Interruptibly([] { return link::CheckComLine(link::com) == 1; });
        if (stopRequested != 0) {
            return Interrupted("the echo check");
        }
        return Result(ok, "line ok", Device() + ": " + StartUpFailure(mark));
    }

    int Info() {
        if (link::szVersion[0] == '\0') { // an answer of another length than 64 bytes
            return Error(Device() + ": no firmware information in the controller's answer",
                         kExitController);
        }
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

    // Target, then the get button: the parameters of RAM or EEPROM onto the panel. false with
    // the reason in fetchFailure_.
    bool GetFromTarget() {
        params::target = args_.Flag("--eeprom") ? params::EEPROM : params::RAM;
        const std::size_t mark = Mark();
        Click(CC_BTNGet, params::PANEL_BTNGET);
        fetchFailure_ = Named("no answer to the parameter fetch", LastOf(mark, {kGetTimeout}));
        return Shown(mark, "Data Transfer Ok!");
    }

    int Get() {
        if (!GetFromTarget()) {
            return Error("get: " + fetchFailure_, kExitController);
        }
        if (const std::string* out = args_.Value("-o")) {
            std::snprintf(file_name, sizeof file_name, "%s", out->c_str());
            if (SendParaToFile() < 0) {
                return Error(std::string(link::szStatus) + " " + *out, kExitFile);
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
            return Error("send: " + fetchFailure_, kExitController);
        }
        params::target = args_.Flag("--eeprom") ? params::EEPROM : params::RAM;
        for (const Assignment& a : args_.assignments) {
            *a.param->variable = a.value;
        }
        if (params::evalmode == 2 && params::trigmode == 1) {
            return Error("send: evaluation-mode 2 excludes trigger-mode 1 (nothing sent)",
                         kExitUsage);
        }
        params::SetPanelValues();
        const std::size_t mark = Mark();
        Click(CC_BTNSend, params::PANEL_BTNSEND);
        return Result(Shown(mark, "Transmit Ok!"), "sent",
                      "send: the parameters did not go out whole (" +
                          std::to_string(std::max(link::nBytesW, 0)) + " of " +
                          std::to_string(link::kFrameBytes) + " bytes written)");
    }

    int TeachOrReset(bool teach) {
        const std::size_t mark = Mark();
        if (teach) {
            Click(CC_ButtonTeach, params::PANEL_BUTTONTEACH);
        } else {
            CC_ButtonReset(params::panelHandle, params::PANEL_BUTTONRESET, platform::kEventCommit,
                           nullptr, 0, 0);
        }
        if (!Shown(mark, kFetchOk)) {
            const char* what = Shown(mark, kAckTimeout) ? "no acknowledgement"
                                                        : "no answer to the parameter fetch";
            return Error(o_.command + ": " +
                             Named(what, LastOf(mark, {kAckTimeout, kFetchTimeout})),
                         kExitController);
        }
        if (teach && o_.json) {
            std::printf("%s\n", JsonObject().Number("reference", params::reference).Str().c_str());
        } else if (teach) {
            std::printf("reference=%u\n", static_cast<unsigned>(params::reference));
        } else {
            return Result(true, nullptr, "");
        }
        return kExitDone;
    }

    // ---- live and curve (cli_live) ------------------------------------------------------------
    int Outcome(const CliOutcome& out) const {
        return out.exit == kExitDone ? kExitDone : Error(out.error, out.exit);
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
        if (missing.empty()) {
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
    std::string fetchFailure_; // why the last GetFromTarget failed
    CliLive live_{o_.json, args_, stopRequested};
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
