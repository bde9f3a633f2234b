#include "tweak_fixture.hpp"

#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "sim/uikit/uikit.hpp"
#include "tweak/tweak.hpp"

namespace {
constexpr const char* kPreferencesFile = "/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist";
}

void TweakTest::SetUp() {
    sim::makeFreshRoot();
    sim::music::LaunchOptions options;
    options.tweakPath = EMPTY_TWEAK;
    sim::music::launch(options);
    startTweak();
}

void TweakTest::TearDown() {
    if (sim::music::running()) sim::music::quit();
    // The next test's process starts with the state zero-filled.
    tweakState = TweakState{};
    sim::removeRoot();
}

void TweakTest::writePreferences(const std::string& entries) {
    sim::writeFile(kPreferencesFile, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>" +
                                         entries + "</dict></plist>");
}

void TweakTest::postReload() {
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         sys::cfString(NS::literal<"com.qzr.twinlyprefs/reloadPrefs">()), nullptr,
                                         nullptr, YES);
}

std::optional<std::vector<std::string>> targetTitles() {
    NS::MutableArray list = tweakState.targetPlaylistSongTitles.list();
    if (!list) return std::nullopt;
    std::vector<std::string> titles;
    for (NS::String title : NS::each<NS::String>(list)) titles.push_back(title.UTF8String());
    return titles;
}

std::optional<std::string> text(NS::String string) { return sim::text(string); }
