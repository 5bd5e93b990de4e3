#include "cli/cli_live.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "cli/cli_commands.h"
#include "live/curve_read.h"
#include "live/live_feed.h"
#include "platform/files.h"
#include "platform/number_text.h"
#include "platform/path_text.h"

namespace ovx::cli {

namespace {

constexpr const char* kLiveHeader =
    "time,norm,a,b,amax,upper,lower,tolerance_output,reference_output\n";
constexpr const char* kLiveTimeout = "Timeout RS232-Line!";

// The fields of one JSON object, in order; names and values here need no escaping.
class JsonFields {
  public:
    JsonFields& Add(const char* name, const std::string& rawValue) {
        text_.append(text_.empty() ? "{\"" : ",\"").append(name).append("\":").append(rawValue);
        return *this;
    }
    JsonFields& Number(const char* name, double value) {
        return Add(name, platform::GeneralText(value, 6));
    }
    JsonFields& List(const char* name, const std::vector<int>& values) {
        std::string text = "[";
        for (std::size_t i = 0; i < values.size(); ++i) {
            text.append(i == 0 ? "" : ",").append(std::to_string(values[i]));
        }
        return Add(name, text + "]");
    }
    void Print() const { std::printf("%s\n", text_.empty() ? "{}" : (text_ + "}").c_str()); }

  private:
    std::string text_;
};

CliOutcome Failed(int exit, std::string error) {
    return {exit, std::move(error)};
}

std::string Refusal(const std::string& path) {
    return platform::RegularFileOrNone(path.c_str()) != 0
               ? "cannot write " + path + ": not a regular file"
               : std::string();
}

} // namespace

// An output file written whole: text goes to a temporary beside it, renamed at the end. A FIFO,
// a device (/dev/null) or a link to one is never replaced by the renamed temporary.
class CliLive::OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { // never closed: the old file stays, the temporary goes
        if (out_.is_open()) {
            out_.close();
            std::error_code ec;
            std::filesystem::remove(platform::PathOf(temp_), ec);
        }
    }
    // Empty, or why path cannot be written.
    std::string Open(const std::string& path) {
        if (std::string why = Refusal(path); !why.empty()) {
            return why;
        }
        path_ = path;
        temp_ = path + ".part";
        // Binary: the same bytes (LF line ends) on every system, as every file the tool writes.
        out_.open(platform::PathOf(temp_), std::ios::binary | std::ios::trunc);
        return out_.is_open() ? std::string() : "cannot write " + path;
    }
    std::ostream& Stream() { return out_; }
    bool Close() {
        out_.close();
        std::error_code ec;
        std::filesystem::rename(platform::PathOf(temp_), platform::PathOf(path_), ec);
        return !out_.fail() && !ec;
    }

  private:
    std::string path_, temp_;
    std::ofstream out_;
};

CliLive::CliLive(bool json, const CliArgs& args, const volatile std::sig_atomic_t& stop)
    : json_(json), args_(args), stop_(stop) {}

CliLive::~CliLive() = default;

CliOutcome CliLive::Prepare(const std::string& command) {
    const std::string* csv = args_.Value("--csv");
    if (csv == nullptr) {
        return {};
    }
    if (command == "live") {
        csv_ = std::make_unique<OutputFile>();
        if (std::string why = csv_->Open(*csv); !why.empty()) {
            csv_.reset();
            return Failed(kExitFile, why);
        }
    }
    if (command == "curve") {
        if (std::string why = Refusal(*csv); !why.empty()) {
            return Failed(kExitFile, why); // before the curve is fetched
        }
    }
    return {};
}

// ---- live ---------------------------------------------------------------------------------------

// One line per sample: to the CSV (written through, so an interrupted run keeps every frame
// taken), else to stdout; with --json one object per sample on stdout.
bool CliLive::OnSample(const live::LiveSample& s) {
    char line[160];
    std::snprintf(line, sizeof line, "%s,%d,%u,%u,%u,%u,%u,%d,%d\n",
                  platform::FixedText(s.time, 3).c_str(), s.norm, s.a, s.b, s.amax, s.upper,
                  s.lower, s.toleranceOutput, s.referenceOutput);
    if (csv_) {
        csv_->Stream() << line << std::flush;
    }
    if (json_) {
        JsonFields()
            .Number("time", s.time)
            .Number("norm", s.norm)
            .Number("a", s.a)
            .Number("b", s.b)
            .Number("amax", s.amax)
            .Number("upper", s.upper)
            .Number("lower", s.lower)
            .Number("tolerance_output", s.toleranceOutput)
            .Number("reference_output", s.referenceOutput)
            .Print();
    } else if (!csv_) {
        std::fputs(line, stdout);
    }
    if (json_ || !csv_) {
        std::fflush(stdout);
    }
    ++frames_;
    const bool enough = (args_.frames > 0 && frames_ >= args_.frames) ||
                        (args_.seconds > 0 && s.time >= static_cast<double>(args_.seconds));
    return !enough && stop_ == 0;
}

// The run needs no panel: samples go straight to the output, and each reply is awaited in the
// OS. Ctrl-C ends the wait at once.
CliOutcome CliLive::Live() {
    if (csv_) {
        csv_->Stream() << kLiveHeader << std::flush;
    } else if (!json_) {
        std::fputs(kLiveHeader, stdout);
        std::fflush(stdout);
    }
    // Ctrl-C during the start-up: no run is started.
    const live::LiveEnd end =
        stop_ != 0 ? live::LiveEnd::kInterrupted
                   : live::RunLiveFeed([this](const live::LiveSample& s) { return OnSample(s); },
                                       static_cast<double>(args_.seconds));
    if (csv_ && !csv_->Close()) {
        csv_.reset();
        return Failed(kExitFile, "cannot write " + *args_.Value("--csv"));
    }
    csv_.reset();
    if (end == live::LiveEnd::kLineTimeout) {
        return Failed(kExitController,
                      std::string("live: no live frame taken for more than 2.0 s (") +
                          kLiveTimeout + ")");
    }
    return {};
}

// ---- curve --------------------------------------------------------------------------------------

namespace {

std::string CurveText(const live::CurveRead& c, bool raw) {
    std::string text = raw ? "point,a,b\n" : "point,norm,upper,lower,reference\n";
    for (int i = 0; i < link::kCurvePoints; ++i) {
        char line[96];
        if (raw) {
            std::snprintf(line, sizeof line, "%d,%d,%d\n", i, c.a[i], c.b[i]);
        } else {
            std::snprintf(line, sizeof line, "%d,%d,%u,%u,%u\n", i, c.a[i], unsigned{c.upper},
                          unsigned{c.lower}, unsigned{c.reference});
        }
        text += line;
    }
    return text;
}

void PrintCurveJson(const live::CurveRead& c, bool raw) {
    JsonFields json;
    if (raw) {
        json.List("a", c.a).List("b", c.b);
    } else {
        json.List("norm", c.a)
            .Number("upper", c.upper)
            .Number("lower", c.lower)
            .Number("reference", c.reference);
    }
    json.Print();
}

} // namespace

CliOutcome CliLive::Curve() {
    const bool raw = args_.Flag("--raw");
    const live::CurveRead c = live::ReadDataCurve(raw ? live::kSourceRaw : live::kSourceNorm);
    if (!c.result.ok()) {
        return Failed(kExitController, "curve: " + c.result.failure);
    }
    const std::string text = CurveText(c, raw);
    if (const std::string* path = args_.Value("--csv")) {
        OutputFile file;
        if (std::string why = file.Open(*path); !why.empty()) {
            return Failed(kExitFile, why);
        }
        file.Stream() << text;
        if (!file.Close()) {
            return Failed(kExitFile, "cannot write " + *path);
        }
    }
    if (json_) {
        PrintCurveJson(c, raw);
    } else if (args_.Value("--csv") == nullptr) {
        std::fputs(text.c_str(), stdout);
    }
    return {};
}

} // namespace ovx::cli
