// What running the shipped bytes costs: each scenario script, run by twinly-sim as `make test` runs
// it, once on the host build and once on the package's arm64 binaries in the device core. Each
// iteration runs both; the counters give the time of each, per run, and their ratio.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

double secondsToRun(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int status = 0;
    bool ran = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
               waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!ran) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Scenario(benchmark::State& state, const std::string& script) {
    double host = 0, device = 0;
    for (auto _ : state) {
        double onHost = secondsToRun({TWINLY_SIM, script});
        double onDevice = secondsToRun({TWINLY_SIM, "--package", TWINLY_PACKAGE, script});
        if (onHost < 0 || onDevice < 0) {
            state.SkipWithError("the scenario failed (is the package built? `make package`)");
            return;
        }
        host += onHost;
        device += onDevice;
        state.SetIterationTime(onDevice);
    }
    double runs = double(state.iterations());
    state.counters["host_ms"] = host / runs * 1000;
    state.counters["shipped_ms"] = device / runs * 1000;
    state.counters["ratio"] = device / host;
}

} // namespace

int main(int argc, char** argv) {
    for (const auto& entry : std::filesystem::directory_iterator(TWINLY_SCENARIOS)) {
        if (entry.path().extension() != ".scn") continue;
        std::string script = entry.path().string();
        // A scenario about what the loader makes of the shipped bytes has no host run to compare.
        std::ifstream in(script);
        std::string first;
        if (std::getline(in, first) && first == "shipped bytes only") continue;
        benchmark::RegisterBenchmark(("Scenario/" + entry.path().stem().string()).c_str(),
                                     [script](benchmark::State& state) { Scenario(state, script); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
