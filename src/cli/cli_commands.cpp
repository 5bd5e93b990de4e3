#include "cli/cli_commands.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_live.h"
#include "cli/cli_params.h"
#include "cli/console_os.h"
#include "link/com232.h"
#include "link/flash.h"
#include "link/operations.h"
#include "live/exchange.h"
#include "params/lintable.h"
#include "params/paramfile.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/net_address.h"
#include "platform/number_text.h"
#include "platform/path_text.h"
#include "platform/serial.h"
#include "platform/trace.h"
#include "sim/pty_host.h"

namespace ovx::cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

// Why the last port open failed, as the serial services tell the trace ("" after a success).
std::string openFailure;

void KeepOpenFailure(int /*port*/, const char* reason) {
    openFailure = reason;
}

// What a failed connection to a device server adds to the error: "connection refused" of
// "cannot connect to tcp://HOST:PORT: connection refused.".
std::string ConnectionFailure(const std::string& address) {
    const std::string head = "cannot connect to " + address + ": ";
    if (!platform::detail::IsNetAddress(address) || !openFailure.starts_with(head)) {
        return {};
    }
    std::string why = openFailure.substr(head.size());
    if (!why.empty() && why.back() == '.') {
        why.pop_back();
    }
    return " (" + why + ")";
}

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

// One line on stderr in one write, at once.
void ErrLine(std::string line) {
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// Far more than the table file's 1024 lines of three values take.
constexpr long long kTableTextLimit = 1 << 20;

int PrintError(const std::string& message, int code) {
    ErrLine(std::string(kProgram).append(": ").append(message));
    return code;
}

JsonObject FailureObject(const std::string& command, const std::string& error) {
    JsonObject json;
    json.Text("command", command).Bool("ok", false).Text("error", error);
    return json;
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

    // Status texts: with --verbose each goes to stderr as it is shown (with --trace the trace
    // carries it); by default only the final one of a command that succeeded, or its error.
    void InstallStatusSink() {
        link::SetStatusSink([this](const char* text) {
            if (o_.verbose && !o_.trace) {
                ErrLine(text);
            }
        });
    }

    // The final status text of a command that succeeded, unless every text was shown.
    void TellFinal(const std::string& status) const {
        if (!o_.verbose && !o_.trace && !status.empty()) {
            ErrLine(status);
        }
    }

    // The window's start state of the variables, without its panels.
    static void InitState() {
        live::SetStartState();
        link::ShowStatus();
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
            platform::SetPortOpenHook(KeepOpenFailure);
        }
        platform::EnableTrace(o_.trace);
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
        return r.ok() ? kExitDone
                      : Error(Device() + ": " + r.failure + ConnectionFailure(o_.device),
                              kExitController);
    }

    std::string Device() const { return o_.simulator ? "the virtual controller" : o_.device; }

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
            ErrLine(error);
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
        const std::string tempText = platform::TextOf(temp);
        std::string table;
        const bool made = params::WriteTableFile(tempText.c_str()) >= 0 &&
                          platform::ReadWholeFile(tempText.c_str(), kTableTextLimit, table) == 0;
        std::error_code ec;
        std::filesystem::remove(temp, ec); // closed by now: Windows removes no open file
        if (!made) {
            return Error("cannot write " + tempText, kExitFile);
        }
        std::fputs(table.c_str(), stdout);
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
            return Error(Device() + ": " + link::ShownStatus() + ConnectionFailure(o_.device),
                         kExitController);
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

    // ---- live and curve (cli_live) ------------------------------------------------------------
    int Outcome(const CliOutcome& out) const {
        return out.exit == kExitDone ? kExitDone : Error(out.error, out.exit);
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
    link::OpResult fetch_; // the last GetFromTarget
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
    PrepareConsole();
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const int rc = Cli(options).Run();
    link::SetStatusSink({});
    return rc;
}

} // namespace ovx::cli
