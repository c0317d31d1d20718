// The programs as a user starts them: tarvo-cli resolving one link, and a hundred links
// eight at a time against a service that waits 50 ms before every answer; and the window's
// start-up to its first frame on the offscreen platform, with the peak resident memory.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/sample_service.h"

extern char** environ;

namespace tarvo::bench {
namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    bool ok = false;
    double seconds = 0;  // from the start until the awaited line, or until the exit
    double peakRssMb = 0;
};

// Starts `args` with `extraEnv` added and waits for it. With `awaitLine`, the time is taken
// when that line appears on the program's standard output; otherwise at its exit.
Run Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
          const std::string& awaitLine = {}) {
    Run run;
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStore(extraEnv);
    for (char** e = environ; *e != nullptr; ++e) envStore.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    const auto start = Clock::now();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return run;
    }
    std::string seen;
    bool found = awaitLine.empty();
    auto at = Clock::now();
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        seen.append(buffer, static_cast<std::size_t>(n));
        if (!found && seen.find(awaitLine + "\n") != std::string::npos) {
            at = Clock::now();
            found = true;
        }
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (awaitLine.empty()) at = Clock::now();
    run.ok = found && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.seconds = std::chrono::duration<double>(at - start).count();
    run.peakRssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return run;
}

void TarvoCliOneLink(benchmark::State& state) {
    static test::SampleService service;
    const std::vector<std::string> args = {TARVO_CLI_PATH, "resolve", "--host", service.Host(),
                                           service.ShareLink(test::codes::kSample)};
    for (auto _ : state) {
        const Run run = Spawn(args, {});
        if (!run.ok) state.SkipWithError("tarvo-cli failed");
        state.SetIterationTime(run.seconds);
    }
}
BENCHMARK(TarvoCliOneLink)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

constexpr int kLinks = 100;
constexpr int kJobs = 8;
constexpr auto kDelay = std::chrono::milliseconds(50);

void TarvoCliHundredLinks(benchmark::State& state) {
    static test::SampleService service(test::SampleServiceOptions{.delay = kDelay});
    std::vector<std::string> args = {TARVO_CLI_PATH, "resolve", "--host",
                                     service.Host(), "--jobs",  std::to_string(kJobs)};
    for (int i = 0; i < kLinks; ++i) args.push_back(service.ShareLink(test::codes::kSample));
    // Three answers a link, each after the delay, eight links at a time.
    const double ideal =
        static_cast<double>(kLinks) / kJobs * 3 * std::chrono::duration<double>(kDelay).count();
    for (auto _ : state) {
        const Run run = Spawn(args, {});
        if (!run.ok) state.SkipWithError("tarvo-cli failed");
        state.SetIterationTime(run.seconds);
        state.counters["ideal_ratio"] = run.seconds / ideal;
    }
}
BENCHMARK(TarvoCliHundredLinks)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

#ifdef TARVO_APP_PATH
void TarvoFirstFrame(benchmark::State& state) {
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                          "TARVO_EXIT_AT_FIRST_FRAME=1"};
    for (auto _ : state) {
        const Run run = Spawn({TARVO_APP_PATH}, env, "first frame");
        if (!run.ok) state.SkipWithError("tarvo showed no frame");
        state.SetIterationTime(run.seconds);
        state.counters["peak_rss_mb"] = run.peakRssMb;
    }
}
BENCHMARK(TarvoFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
#endif

}  // namespace
}  // namespace tarvo::bench
