// The tweak's start: its one record, made at load, and what the constructor runs.
#include "state.hpp"
#include "tweak.hpp"

[[clang::no_destroy]] constinit TweakState tweakState{};

void startTweak() {
    {
        NS::AutoreleasePool pool;
        loadPreferences(nullptr, nullptr, nullptr, nullptr, nullptr);
        CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, loadPreferences,
                                        sys::cfString(NS::literal<"com.qzr.twinlyprefs/reloadPrefs">()), nullptr, 0);
    }
    // "enabled" decides once per launch; the observer stays for the other two flags.
    if (!tweakState.enabled) return;
    installHookTable();
    observePlaylistPasses();
}
