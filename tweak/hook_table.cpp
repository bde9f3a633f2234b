#include "hooks.hpp"
#include "tweak.hpp"

[[clang::no_destroy]] constinit TweakState tweakState{};

namespace {

bool sameName(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

void installHookTable() {
    const char* lookedUpName = nullptr;
    Class cls = nullptr;
    for (const HookRow& row : kHookTable) {
        if (!sameName(row.className, lookedUpName)) {
            lookedUpName = row.className;
            cls = objc_getClass(row.className);
        }
        // A class the app lacks (renamed in another release) leaves its rows undone, and a method the
        // class does not answer its replacement: some substrates end the process on such a hook. The
        // slot of a replacement that never ran stays empty and is never called. class_addMethod
        // leaves a method that a cell already has in place.
        if (cls == nullptr) continue;
        SEL sel = sel_registerName(row.selector);
        if (row.slot == kAddedMethod) {
            class_addMethod(cls, sel, row.implementation(), objc::voidBoolEncoding());
        } else if (class_getInstanceMethod(cls, sel)) {
            MSHookMessageEx(cls, sel, row.implementation(), &tweakState.previous[row.slot]);
        }
    }
}

} // namespace

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
