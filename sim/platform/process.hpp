// The processes of the simulated apps. A launch starts the app and loads its libraries as the
// device does (the tweak that the substrate loads into the Music app, the bundle that the Settings
// app loads): an ELF shared object with dlopen (the host build), the package's arm64 Mach-O binary
// in the device core. The end of a process takes away what it left in the device (its objects,
// main-queue work, notification observers, hooks, methods added to the stand-in classes) and
// unloads its libraries; one whose initializers built classes stays, as the runtime cannot forget
// a class, and the app's next process finds it loaded. A respring ends every app, and those that
// the system starts again come back with the same libraries.
//
// The apps run on one device, a model on a release (releases.hpp): its loader loads their
// libraries, and UIKit shows its screen.
#pragma once

#include "sim/device_core/releases.hpp"

#include <string>
#include <vector>

namespace sim {

// An app of the device, as its processes see it.
struct App {
    const char* name;
    // Makes the app's own objects when a process starts, before its libraries load; lets them go
    // when it ends, before its libraries go.
    void (*start)();
    void (*end)();
    bool returnsAfterRespring;
};

// The device of the run; an iPhone 7 on iOS 10.3 until another is chosen.
const device::Device& runningDevice();
void chooseDevice(const device::Device& chosen);

// Starts a process of the app, and the substrate loads `libraries` into it, in order. One that the
// loader refuses is left out: the substrate logs the loader's message and the app runs on.
void launch(const App& app, const std::vector<std::string>& libraries);
// The running app loads a library itself (as the Settings app loads a bundle); throws
// device::LoadError with the loader's message.
void load(const App& app, const std::string& library);
// Ends the app's process; throws std::runtime_error when a library stays loaded after it is closed.
void quit(const App& app);
bool running(const App& app);
// backboardd restarts: the running apps end, the latest first, and those that the system starts
// again launch with the libraries they launched with.
void respring();

} // namespace sim
