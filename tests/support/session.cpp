#include "session.hpp"

#include "sim/platform/root.hpp"
#include "tweak/tweak.hpp"

namespace support {

void launchWithOwnTweak(const sim::music::LaunchOptions& options) {
    sim::music::LaunchOptions withEmptyLibrary = options;
    withEmptyLibrary.tweakPath = EMPTY_TWEAK;
    sim::music::launch(withEmptyLibrary);
    startTweak();
}

void quitWithOwnTweak() {
    sim::music::quit();
    // A new process starts with the state zero-filled; the old one's references go with it.
    tweakState = TweakState{};
}

void relaunchWithOwnTweak() {
    quitWithOwnTweak();
    launchWithOwnTweak();
}

void writePreferencesText(const std::string& bytes) {
    sim::writeFile("/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist", bytes);
}

void writePreferences(const std::string& entries) {
    writePreferencesText("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>" + entries +
                         "</dict></plist>");
}

void postReload() {
    NS::AutoreleasePool pool;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         sys::cfString(NS::literal<"com.qzr.twinlyprefs/reloadPrefs">()), nullptr,
                                         nullptr, YES);
}

} // namespace support
