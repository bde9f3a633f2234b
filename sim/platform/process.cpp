#include "sim/platform/process.hpp"

#include "sim/device_core/loader.hpp"
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/stand_in.hpp"
#include "sim/platform/substrate.hpp"
#include "sim/platform/transcript.hpp"

#include "objc/foundation.hpp"

#include <algorithm>
#include <map>
#include <stdexcept>

extern "C" int objc_getClassList(Class* buffer, int capacity);

namespace sim {

namespace {

struct Process {
    const App* app;
    std::vector<std::string> libraries; // as launched
    std::vector<std::pair<std::string, device::Library>> loaded;
    // What the stand-in classes were when it started: the hooks installed and their methods.
    size_t hooksBefore;
    std::vector<MethodsMark> marks;
};

// In order of launch.
std::vector<Process>& processes() {
    static std::vector<Process> running;
    return running;
}

// Libraries whose initializers built classes: loaded for the life of the host process.
std::map<std::string, device::Library>& resident() {
    static std::map<std::string, device::Library> libraries;
    return libraries;
}

device::Device& chosenDevice() {
    static device::Device device = device::defaultDevice();
    return device;
}

std::vector<Process>::iterator processOf(const App& app) {
    return std::find_if(processes().begin(), processes().end(), [&](const Process& each) { return each.app == &app; });
}

} // namespace

const device::Device& runningDevice() { return chosenDevice(); }

void chooseDevice(const device::Device& chosen) { chosenDevice() = chosen; }

void launch(const App& app, const std::vector<std::string>& libraries) {
    if (running(app)) throw std::runtime_error(std::string("the ") + app.name + " app is running already");
    Process started{&app, libraries, {}, installedHookCount(), {}};
    for (Class cls : definedClasses()) {
        started.marks.push_back(markMethods(cls));
        started.marks.push_back(markMethods(metaclassOf(cls)));
    }
    processes().push_back(std::move(started));
    {
        NS::AutoreleasePool pool;
        app.start();
    }
    for (const std::string& library : libraries) {
        try {
            load(app, library);
        } catch (const device::LoadError& error) {
            transcript(std::string("  substrate: the tweak did not load: ") + error.what());
        }
    }
}

void load(const App& app, const std::string& library) {
    Process& process = *processOf(app);
    if (resident().count(library)) return;
    int classesBefore = objc_getClassList(nullptr, 0);
    device::Library loaded = device::openLibrary(library, chosenDevice());
    if (objc_getClassList(nullptr, 0) != classesBefore) resident()[library] = loaded;
    else process.loaded.push_back({library, loaded});
}

void quit(const App& app) {
    auto found = processOf(app);
    Process ended = *found;
    {
        NS::AutoreleasePool pool;
        app.end();
    }
    // What the process left behind goes before its code does; what a process launched later did to
    // the classes is that one's to take back (a respring ends the latest first).
    forgetProcessWork();
    undoHooks(ended.hooksBefore);
    for (auto mark = ended.marks.rbegin(); mark != ended.marks.rend(); ++mark) restoreMethods(*mark);
    processes().erase(found);
    for (auto library = ended.loaded.rbegin(); library != ended.loaded.rend(); ++library) {
        device::closeLibrary(library->second);
        if (device::libraryLoaded(library->first))
            throw std::runtime_error("the library " + library->first + " is still loaded after it was closed");
    }
    transcript(std::string("  ") + app.name + ": quit");
}

bool running(const App& app) { return processOf(app) != processes().end(); }

void respring() {
    transcript("  device: respring, the user interface restarts");
    std::vector<Process> ended = processes();
    for (auto process = ended.rbegin(); process != ended.rend(); ++process) quit(*process->app);
    for (const Process& process : ended)
        if (process.app->returnsAfterRespring) launch(*process.app, process.libraries);
}

} // namespace sim
