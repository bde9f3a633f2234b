#include "state.hpp"
#include "tweak.hpp"

namespace {

// A missing key, or a value that cannot say yes or no (an array, a date), reads as on.
bool flag(NS::Dictionary preferences, NS::String key) {
    objc::Object value = preferences.valueForKey(key);
    return NS::answersBoolValue(value) ? NS::boolValue(value) != NO : true;
}

} // namespace

void loadPreferences(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) {
    // Nil for a missing or unreadable file, or one whose root is not a dictionary: all defaults.
    NS::Dictionary preferences = NS::MutableDictionary::dictionaryWithContentsOfFile(
        NS::literal<"/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist">());
    tweakState.enabled = flag(preferences, NS::literal<"enabled">());
    tweakState.disable = flag(preferences, NS::literal<"disable">());
    tweakState.greyText = flag(preferences, NS::literal<"greyText">());
}
