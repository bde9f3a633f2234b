// A switch's value reaches the preferences file before its notification does, although the
// preferences daemon writes the file only later.
#include "settings_fixture.hpp"

#include "objc/system.hpp"
#include "sim/platform/objects.hpp"
#include "sim/settings/preferences_daemon.hpp"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using objc::Object;
using objc::sel;

const char* const kDomain = "com.qzr.twinlyprefs";

std::string filePath() { return sim::hostPath(sim::settings::preferencesPath(kDomain)); }

void writeFile(const std::string& xmlBody) {
    std::ofstream(filePath()) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" << xmlBody
                              << "</dict></plist>\n";
}

// The stored value of `key` as the tweak reads it: "yes", "no" or "absent".
std::string stored(const char* key) {
    NS::AutoreleasePool pool;
    NS::MutableDictionary file = NS::MutableDictionary::dictionaryWithContentsOfFile(
        NS::String::make(sim::settings::preferencesPath(kDomain).c_str()));
    Object value = file.valueForKey(NS::String::make(key));
    if (!value) return "absent";
    return NS::boolValue(value) ? "yes" : "no";
}

std::string seenAtNotification;
void readOnNotification(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) {
    seenAtNotification = stored("greyText");
}

using PreferenceWrite = SettingsTest;

TEST_F(PreferenceWrite, TheFileHoldsTheNewValueWhenTheNotificationArrives) {
    openPage();
    CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, readOnNotification,
                                    sys::cfString(NS::String::make("com.qzr.twinlyprefs/reloadPrefs")), nullptr, 0);
    sim::settings::flipSwitch("greyText", false);
    EXPECT_EQ(seenAtNotification, "no");
}

TEST_F(PreferenceWrite, KeepsTheOtherKeys) {
    writeFile("<key>enabled</key><false/><key>note</key><string>kept</string>");
    openPage();
    sim::settings::flipSwitch("disable", false);
    EXPECT_EQ(stored("enabled"), "no");
    EXPECT_EQ(stored("disable"), "no");
    NS::MutableDictionary file = NS::MutableDictionary::dictionaryWithContentsOfFile(
        NS::String::make(sim::settings::preferencesPath(kDomain).c_str()));
    EXPECT_EQ(sim::text(NS::String(file.valueForKey(NS::String::make("note")).raw)), "kept");
}

// An atomic write replaces the file: a reader that holds the old one never sees half a file.
TEST_F(PreferenceWrite, ReplacesTheFileInOneStep) {
    writeFile("<key>greyText</key><true/>");
    std::string held = filePath() + ".held";
    ASSERT_EQ(link(filePath().c_str(), held.c_str()), 0);
    openPage();
    sim::settings::flipSwitch("greyText", false);
    std::stringstream old;
    old << std::ifstream(held).rdbuf();
    EXPECT_NE(old.str().find("<true/>"), std::string::npos);
    EXPECT_EQ(stored("greyText"), "no");
}

TEST_F(PreferenceWrite, SwitchesShowTheStoredValueElseTheirDefault) {
    writeFile("<key>disable</key><false/>");
    openPage();
    EXPECT_FALSE(sim::settings::switchRow("disable")->cell.send<Object>(sel<"control">()).send<BOOL>(sel<"isOn">()));
    EXPECT_TRUE(sim::settings::switchRow("greyText")->cell.send<Object>(sel<"control">()).send<BOOL>(sel<"isOn">()));
}

} // namespace
