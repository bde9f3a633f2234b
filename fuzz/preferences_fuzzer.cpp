// Arbitrary bytes as the preferences file, then the reload notification, in a running Music app:
// every reload sets each of the three flags to what the platform's own reading of the file says,
// YES or NO, and keeps no object of its own alive.
#include "sim/music/app.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "tests/reliability/live_objects.hpp"
#include "tweak/state.hpp"
#include "tweak/tweak.hpp"

#include <cstdint>
#include <cstring>
#include <iostream>

namespace {

// Neither YES nor NO: a flag that still holds it after a reload was never written.
constexpr unsigned char kUnwritten = 0x5a;

constexpr const char* kPreferencesFile = "/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist";

void postReload() {
    NS::AutoreleasePool pool;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         sys::cfString(NS::literal<"com.qzr.twinlyprefs/reloadPrefs">()), nullptr,
                                         nullptr, YES);
}

struct Flags {
    bool enabled, disable, greyText;
};

// The platform alone reading the file: a key that is missing, or whose value cannot answer
// boolValue, is on.
Flags readAsThePlatform() {
    NS::AutoreleasePool pool;
    objc::Object file = NS::MutableDictionary::dictionaryWithContentsOfFile(NS::String::make(kPreferencesFile));
    auto flag = [&](const char* key) {
        auto value = file.send<objc::Object>(objc::sel<"objectForKey:">(), NS::String::make(key).get());
        if (!value.send<BOOL>(objc::sel<"respondsToSelector:">(), objc::sel<"boolValue">())) return true;
        return value.send<BOOL>(objc::sel<"boolValue">()) != NO;
    };
    return {flag("enabled"), flag("disable"), flag("greyText")};
}

void requireFlag(const bool& flag, bool expected, const char* name) {
    unsigned char stored;
    std::memcpy(&stored, &flag, 1);
    if (stored != expected) {
        std::cerr << "flag " << name << " holds " << int(stored) << " after the reload, the file says " << expected
                  << "\n";
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::makeFreshRoot();
    sim::music::LaunchOptions options;
    options.tweakPath = EMPTY_TWEAK;
    sim::music::launch(options);
    startTweak();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    sim::writeFile(kPreferencesFile, std::string(reinterpret_cast<const char*>(bytes), size));
    // The first reading of an input may make what GNUstep keeps for the life of the process (its
    // parsers' tables, the logging that a malformed file starts).
    postReload();
    reliability::LiveObjects start = reliability::liveObjects();
    Flags expected = readAsThePlatform();
    reliability::LiveObjects read = reliability::liveObjects();

    for (bool* flag : {&tweakState.enabled, &tweakState.disable, &tweakState.greyText})
        std::memcpy(flag, &kUnwritten, 1);
    postReload();
    requireFlag(tweakState.enabled, expected.enabled, "enabled");
    requireFlag(tweakState.disable, expected.disable, "disable");
    requireFlag(tweakState.greyText, expected.greyText, "greyText");

    // GNUstep's parser leaks on some malformed files; the reload may leave alive only what the
    // platform's own reading of the same file leaves.
    std::string leftByPlatform = reliability::changes(start, read);
    std::string leftByReload = reliability::changes(read, reliability::liveObjects());
    if (leftByReload != leftByPlatform) {
        std::cerr << "the reload left objects alive: " << leftByReload << " (the platform's reading: "
                  << (leftByPlatform.empty() ? "none" : leftByPlatform) << ")\n";
        std::abort();
    }
    return 0;
}
