// Arbitrary bytes as the preferences file, then the reload notification, in a running Music app:
// every reload sets each of the three flags to YES or NO, and keeps no object of its own alive.
#include "sim/music/app.hpp"
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

// The platform alone reading the file as the tweak does.
void readAsThePlatform() {
    NS::AutoreleasePool pool;
    NS::MutableDictionary::dictionaryWithContentsOfFile(NS::String::make(kPreferencesFile));
}

void requireYesOrNo(const bool& flag, const char* name) {
    unsigned char stored;
    std::memcpy(&stored, &flag, 1);
    if (stored > 1) {
        std::cerr << "flag " << name << " holds " << int(stored) << " after the reload\n";
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
    readAsThePlatform();
    reliability::LiveObjects read = reliability::liveObjects();

    for (bool* flag : {&tweakState.enabled, &tweakState.disable, &tweakState.greyText})
        std::memcpy(flag, &kUnwritten, 1);
    postReload();
    requireYesOrNo(tweakState.enabled, "enabled");
    requireYesOrNo(tweakState.disable, "disable");
    requireYesOrNo(tweakState.greyText, "greyText");

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
