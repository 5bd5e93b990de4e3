// ovextar-cli from a shell, as a script calls it: the wall time and the peak memory (maximum
// resident set) of whole runs of `ovextar-cli --simulator --no-line check` (the embedded virtual
// controller without line timing, so the run is the program's own cost: start, open, echo check,
// parameters, firmware information, end) and of `ovextar-cli --version`. Median, minimum and
// maximum of N runs each (targets: check at most 20 ms wall and 8 MB resident).
// Usage: bench_cli_start [runs]   (default 10)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Run {
    double wallSeconds = 0.0;
    long maxRssKb = 0;
    int exitCode = -1;
};

std::string ProgramBeside(const char* name) {
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    self.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    const auto slash = self.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
    return dir + "/" + name;
}

// One run with stdout and stderr to /dev/null; its own rusage, not this program's.
Run RunOnce(const std::string& program, std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    run.maxRssKb = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

template <typename T> T Median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Prints one line of figures; false when a run failed.
bool Measure(const char* label, const std::string& program, const std::vector<std::string>& args,
             int runs) {
    std::vector<double> wall;
    std::vector<long> rss;
    for (int i = 0; i < runs; ++i) {
        const Run run = RunOnce(program, args);
        if (run.exitCode != 0) {
            std::fprintf(stderr, "%s: run %d ended with %d\n", label, i + 1, run.exitCode);
            return false;
        }
        wall.push_back(run.wallSeconds);
        rss.push_back(run.maxRssKb);
    }
    std::printf("%-10s wall median %6.1f ms (min %6.1f, max %6.1f)   max RSS median %6.1f MB "
                "(min %6.1f, max %6.1f)\n",
                label, Median(wall) * 1e3, *std::min_element(wall.begin(), wall.end()) * 1e3,
                *std::max_element(wall.begin(), wall.end()) * 1e3, Median(rss) / 1024.0,
                *std::min_element(rss.begin(), rss.end()) / 1024.0,
                *std::max_element(rss.begin(), rss.end()) / 1024.0);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string cli = ProgramBeside("ovextar-cli");
    std::printf("%s, %d runs each\n", cli.c_str(), runs);
    const bool ok = Measure("check", cli, {"--simulator", "--no-line", "check"}, runs) &&
                    Measure("--version", cli, {"--version"}, runs);
    return ok ? 0 : 1;
}
