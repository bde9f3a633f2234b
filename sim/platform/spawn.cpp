#include "sim/platform/spawn.hpp"

#include <dlfcn.h>
#include <errno.h>
#include <sys/types.h>

#include <utility>

namespace sim {
namespace {

struct SpawnState {
    std::vector<Spawn> spawns;
    std::vector<int> waits;
    int failure = 0;
    bool interruptWait = false;
};

SpawnState& record() {
    static SpawnState spawnState;
    return spawnState;
}

// Made-up pids, one for each spawn in order, stay clear of real ones, so a wait for a real child
// still goes to the system.
constexpr int kFirstPid = 1 << 22;

} // namespace

const std::vector<Spawn>& spawns() { return record().spawns; }
const std::vector<int>& waits() { return record().waits; }
void failNextSpawn(int error) { record().failure = error; }
void interruptNextWait() { record().interruptWait = true; }
void resetSpawns() { record() = SpawnState(); }

} // namespace sim

using sim::Spawn;
using sim::record;

extern "C" int posix_spawn(pid_t* pid, const char* path, const void* fileActions, const void* attributes,
                           char* const argv[], char* const envp[]) {
    if (int failure = std::exchange(record().failure, 0)) return failure;
    Spawn spawn{.path = path ? path : "", .withFileActions = fileActions != nullptr, .withAttributes = attributes != nullptr,
                .withEnvironment = envp != nullptr, .pid = sim::kFirstPid + int(record().spawns.size())};
    for (char* const* argument = argv; argument && *argument; ++argument) spawn.arguments.push_back(*argument);
    record().spawns.push_back(spawn);
    if (pid) *pid = spawn.pid;
    return 0;
}

extern "C" pid_t waitpid(pid_t pid, int* status, int options) {
    record().waits.push_back(pid);
    auto& spawns = record().spawns;
    size_t index = size_t(pid) - size_t(sim::kFirstPid);
    Spawn* spawn = pid >= sim::kFirstPid && index < spawns.size() ? &spawns[index] : nullptr;
    if (spawn == nullptr || spawn->reaped) {
        using Wait = pid_t (*)(pid_t, int*, int);
        static Wait system = reinterpret_cast<Wait>(dlsym(RTLD_NEXT, "waitpid"));
        return system(pid, status, options);
    }
    spawn->waitOptions.push_back(options);
    if (std::exchange(record().interruptWait, false)) {
        errno = EINTR;
        return -1;
    }
    spawn->reaped = true;
    if (status) *status = 0;
    return pid;
}
