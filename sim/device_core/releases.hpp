// The devices and iOS releases that the simulated device can be, as data: each model with its
// processor, its screen and the releases it ran, each release line with the loader rules of its
// dyld. A run simulates one model on one release, chosen before the apps start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::device {

// A version as dyld packs it: major << 16 | minor << 8 | patch.
using Version = uint32_t;
constexpr Version version(uint32_t major, uint32_t minor = 0, uint32_t patch = 0) {
    return major << 16 | minor << 8 | patch;
}
std::string versionName(Version version); // "12.4", or "12.4.1"

// A screen's size in points, and the pixels of a point along each side.
struct Screen {
    double width, height, scale;
};

struct Model {
    const char* name;       // "iPhone 8"
    const char* processor;  // "A11"
    // From A12 on, the system's apps (Music and Settings among them) are arm64e processes.
    bool arm64eSystemApps;
    Screen screen;
    // The releases it ran: each pair is a first and a last release.
    std::vector<std::pair<Version, Version>> ran;
};

// What a major release's loader does, from its dyld and xnu.
struct ReleaseLine {
    uint32_t major;
    const char* dyld; // the dyld tag of the line
    // dyld checks a library's compatibility version only when the library was built for an iOS
    // before 12 (MachOFile::enforceCompatVersion); before that line, always.
    bool compatibilityOnlyForOldLibraries;
    // An arm64e process refuses a library without the arm64e subtype.
    bool arm64eRefusesArm64;
    // The Music app's Swift classes live in the module MusicApplication, not Music.
    bool musicApplicationModule;
};


// One model on one release.
struct Device {
    const Model* model;
    Version release;
    const ReleaseLine* line;
};
// The model of that name on that release; throws std::invalid_argument for a model not listed, a
// release line not modelled, or a release that the model never ran.
Device deviceNamed(const std::string& modelName, const std::string& release);
// An iPhone 7 on iOS 10.3, inside the package's claimed range.
Device defaultDevice();

} // namespace sim::device
