// Layer sim/settings: the Preferences framework, the preferences daemon and the Settings app. It
// uses sim/uikit and sim/platform.
//
// The simulated Settings app: it installs the bundle in the device's root, loads it as the Settings
// app loads a preference bundle (its executable, then the principal class of its Info.plist), and
// shows, drives and inspects the bundle's page. Failures throw sim::ScriptError.
#pragma once

#include "objc/preferences.hpp"
#include "sim/screens/screen.hpp"
#include "sim/settings/preferences_framework.hpp"
#include "sim/uikit/png.hpp"
#include "sim/uikit/uikit.hpp"

#include <optional>
#include <string>

namespace sim::settings {

inline constexpr const char* kBundlePath = "/Library/PreferenceBundles/twinlyprefs.bundle";

// Copies the bundle (its resources and executable) into the root unless it is there already.
void installBundle();
// Replaces the installed banner by a PNG of that size, or removes it.
void replaceBanner(std::optional<ui::PixelSize> size);

// Loads the bundle (first time only), creates its root page and shows it: init, the specifiers,
// viewDidLoad, viewWillAppear:, viewDidAppear:. A page already on screen goes away first. A bundle
// that the loader refuses leaves no page on screen.
void openPage();
// The page goes away: viewWillDisappear:, viewDidDisappear:.
void closePage();
// The page on screen, or nil.
PS::ListController page();

// Flips the switch of the row that stores `key`, as a user's touch does.
void flipSwitch(const std::string& key, bool on);
// Taps the row with that label, or else the navigation bar's button of that title. A spawn of
// "killall backboardd" that this causes resprings the device (sim/platform/process.hpp).
void tap(const std::string& label);

// The switch row storing `key`, or nothing.
std::optional<Row> switchRow(const std::string& key);
// The key window's tint (nothing for nil).
std::optional<ui::Rgba> keyWindowTint();

// The page as it is shown now, for its picture; nothing when no page is on screen.
std::optional<screens::SettingsScreen> screenShown();

// Whether the bundle is loaded. Once loaded it stays for the life of the process (its classes
// cannot leave the runtime), with the screen width it read then.
bool bundleLoaded();

// Forgets the page, the window, the records of spawns and the pending preferences, and gives the
// screen the device's width.
void resetApp();

} // namespace sim::settings
