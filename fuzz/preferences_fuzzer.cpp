// Arbitrary bytes as the preferences file, then the reload notification, in a running Music app:
// every reload sets each of the three flags to YES or NO, and keeps no object alive.
#include "sim/music_app.hpp"
#include "sim/root.hpp"
#include "tests/reliability/live_objects.hpp"
#include "tweak/state.hpp"
#include "tweak/tweak.hpp"

#include <cstdint>
#include <cstring>
#include <iostream>

namespace {

// Neither YES nor NO: a flag that still holds it after a reload was never written.
constexpr unsigned char kUnwritten = 0x5a;

void reload(const uint8_t* bytes, size_t size) {
    NS::AutoreleasePool pool;
    sim::writeFile("/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist",
                   std::string(reinterpret_cast<const char*>(bytes), size));
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         sys::cfString(NS::literal<"com.qzr.twinlyprefs/reloadPrefs">()), nullptr,
                                         nullptr, YES);
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
    // The first reload of an input may make what GNUstep keeps for the life of the process (its
    // parsers' tables, the logging that a malformed file starts); the second must leave nothing.
    reload(bytes, size);
    for (bool* flag : {&tweakState.enabled, &tweakState.disable, &tweakState.greyText})
        std::memcpy(flag, &kUnwritten, 1);
    reliability::LiveObjects before = reliability::liveObjects();
    reload(bytes, size);
    requireYesOrNo(tweakState.enabled, "enabled");
    requireYesOrNo(tweakState.disable, "disable");
    requireYesOrNo(tweakState.greyText, "greyText");
    std::string left = reliability::changes(before, reliability::liveObjects());
    if (!left.empty()) {
        std::cerr << "the reload left objects alive: " << left << '\n';
        std::abort();
    }
    return 0;
}
