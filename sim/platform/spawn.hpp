// posix_spawn and waitpid as the simulated device provides them: a spawn is recorded and never run,
// and gets a made-up pid that waitpid then reports as exited.
#pragma once

#include <string>
#include <vector>

namespace sim {

struct Spawn {
    std::string path;
    std::vector<std::string> arguments;
    bool withFileActions = false;
    bool withAttributes = false;
    bool withEnvironment = false;
    int pid = 0;
    // The options of every wait for this child, interrupted ones included.
    std::vector<int> waitOptions;
    bool reaped = false;
};

// The spawns since the last reset, oldest first.
const std::vector<Spawn>& spawns();
// The pid of every waitpid call since the last reset, whatever it waited for.
const std::vector<int>& waits();
// The next posix_spawn fails with `error` and records nothing.
void failNextSpawn(int error);
// The next wait for a spawned child is interrupted by a signal (EINTR) before it reaps it.
void interruptNextWait();
void resetSpawns();

} // namespace sim
