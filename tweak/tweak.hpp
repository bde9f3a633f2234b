// The tweak's start-up and preferences.
#pragma once

#include "objc/system.hpp"

// Reads the preferences file into the three flags; also the reload notification's callback, whose
// arguments it ignores.
void loadPreferences(CFNotificationCenterRef center, void* observer, CFStringRef name, const void* object,
                     CFDictionaryRef userInfo);

// Reads the preferences, follows the reload notification and, when enabled, installs the hook table
// and ends the playlist rows' passes.
void startTweak();

// Ends the playlist rows' shared pass at each turn of the main run loop (marking.cpp); called once
// at start-up.
void observePlaylistPasses();
