// A Music app in which this process's own copy of the tweak runs, so that a test can read the
// tweak's state and a benchmark can call the implementations it replaced, with relaunches that give
// the tweak a fresh process as a device does.
#pragma once

#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "tweak/state.hpp"

#include <string>

namespace support {

// Starts the app with the empty library in the tweak's place, and then this process's tweak.
void launchWithOwnTweak(const sim::music::LaunchOptions& options = {});
// Ends the app; the tweak's state goes with its process, releasing what it held.
void quitWithOwnTweak();
void relaunchWithOwnTweak();

void writePreferencesText(const std::string& bytes);
// Replaces the preferences file with an XML property list whose dictionary holds `entries`.
void writePreferences(const std::string& entries);
void postReload();

} // namespace support
