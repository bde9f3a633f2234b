#include "sim/device_core/releases.hpp"

#include <stdexcept>

namespace sim::device {
namespace {

// The 12.5 line went only to the devices that iOS 13 left behind; the others went from 12.4.1 to 13.
constexpr std::pair<Version, Version> ran(Version first, Version last) { return {first, last}; }
const Version kLast12 = version(12, 4, 1), kFirst13 = version(13);

// The models whose scenarios a user may name: A7 to A11 run the system's apps as arm64, A12 and
// A13 as arm64e. Their screens, in points at their scale, are Apple's own figures (the iOS Device
// Compatibility Reference's table of displays).
constexpr Screen kSmall{320, 568, 2}, kMedium{375, 667, 2}, kTall{375, 812, 3}, kWide{414, 896, 2};
const std::vector<Model> kModels = {
    {"iPhone 5s", "A7", false, kSmall, {ran(version(7), version(12, 5, 7))}},
    {"iPhone 6", "A8", false, kMedium, {ran(version(8), version(12, 5, 7))}},
    {"iPhone 6s", "A9", false, kMedium, {ran(version(9), kLast12), ran(kFirst13, version(15, 8))}},
    {"iPhone SE", "A9", false, kSmall, {ran(version(9, 3), kLast12), ran(kFirst13, version(15, 8))}},
    {"iPhone 7", "A10", false, kMedium, {ran(version(10), kLast12), ran(kFirst13, version(15, 8))}},
    {"iPhone 8", "A11", false, kMedium, {ran(version(11), kLast12), ran(kFirst13, version(16, 7, 10))}},
    {"iPhone X", "A11", false, kTall, {ran(version(11), kLast12), ran(kFirst13, version(16, 7, 10))}},
    {"iPhone XS", "A12", true, kTall, {ran(version(12), kLast12), ran(kFirst13, version(17, 7))}},
    {"iPhone XR", "A12", true, kWide, {ran(version(12), kLast12), ran(kFirst13, version(17, 7))}},
    {"iPhone 11", "A13", true, kWide, {ran(kFirst13, version(17, 7))}},
};

// Each line's loader: dyld's src/ImageLoader.cpp (recursiveLoadLibraries) checks compatibility
// versions unconditionally at dyld-421.2 and dyld-519.2.2, and from dyld-635.2 on only when the
// library's dyld3/MachOFile.cpp enforceCompatVersion() holds (built for iOS before 12.0);
// src/dyld.cpp (dyld-635.2, src/dyld2.cpp from dyld-733.6) refuses "arm64 dylibs" in an arm64e
// process. The Music app of iOS 13 moved its classes to the module MusicApplication.
const std::vector<ReleaseLine> kLines = {
    {10, "dyld-421.2", false, false, false},  {11, "dyld-519.2.2", false, false, false},
    {12, "dyld-635.2", true, true, false},    {13, "dyld-733.6", true, true, true},
    {14, "dyld-832.7.1", true, true, true},
};

constexpr const char* kDefaultModel = "iPhone 7";
constexpr const char* kDefaultRelease = "10.3";

// "12.4" or "12.4.1"; throws std::invalid_argument for anything else.
Version parseVersion(const std::string& text) {
    uint32_t parts[3] = {};
    size_t count = 0, at = 0;
    while (count < 3) {
        size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9' && end - at < 3) ++end;
        if (end == at) break;
        parts[count++] = uint32_t(std::stoul(text.substr(at, end - at)));
        at = end;
        if (at == text.size() || text[at] != '.') break;
        ++at;
    }
    if (count < 2 || at != text.size() || parts[1] > 255 || parts[2] > 255)
        throw std::invalid_argument("expected an iOS release such as \"12.4\", found \"" + text + "\"");
    return version(parts[0], parts[1], parts[2]);
}

} // namespace

std::string versionName(Version value) {
    std::string text = std::to_string(value >> 16) + "." + std::to_string((value >> 8) & 0xff);
    if (value & 0xff) text += "." + std::to_string(value & 0xff);
    return text;
}

Device deviceNamed(const std::string& modelName, const std::string& release) {
    const Model* model = nullptr;
    std::string listed;
    for (const Model& each : kModels) {
        if (each.name == modelName) model = &each;
        listed += (listed.empty() ? "" : ", ") + std::string(each.name);
    }
    if (model == nullptr) throw std::invalid_argument("expected a model (" + listed + "), found \"" + modelName + "\"");
    Version wanted = parseVersion(release);
    const ReleaseLine* line = nullptr;
    for (const ReleaseLine& each : kLines)
        if (each.major == wanted >> 16) line = &each;
    if (line == nullptr)
        throw std::invalid_argument("expected a release of iOS " + std::to_string(kLines.front().major) + " to " +
                                    std::to_string(kLines.back().major) + ", found \"" + release + "\"");
    bool itRan = false;
    for (const auto& [first, last] : model->ran) itRan = itRan || (wanted >= first && wanted <= last);
    if (!itRan) throw std::invalid_argument("the " + modelName + " never ran iOS " + release);
    return Device{model, wanted, line};
}

Device defaultDevice() { return deviceNamed(kDefaultModel, kDefaultRelease); }

} // namespace sim::device
