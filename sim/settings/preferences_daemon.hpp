// The preferences daemon as iOS 8 and later have it: the Settings app hands it each changed value,
// it answers reads from what it was handed, and it writes a domain's file only later (at `wait`).
#pragma once

#include "objc/foundation.hpp"

#include <string>

namespace sim::settings {

// Takes a value for the domain; the file stays as it is until writePendingPreferences().
void setPreference(const std::string& domain, NS::String key, objc::Object value);
// The value handed over last, else the one in the domain's file, else nil.
objc::Object preferenceValue(const std::string& domain, NS::String key);
// Writes every domain with values pending: the file's keys with the pending values over them.
void writePendingPreferences();
// Drops the pending values unwritten (the device is set up afresh).
void forgetPendingPreferences();

// The domain's file on the device.
std::string preferencesPath(const std::string& domain);

} // namespace sim::settings
