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
        // A class the app lacks, or a method a cell already has, leaves that row undone; the slot
        // of a replacement that never ran stays empty and is never called.
        SEL sel = sel_registerName(row.selector);
        if (row.slot == kAddedMethod) class_addMethod(cls, sel, row.implementation(), objc::voidBoolEncoding());
        else MSHookMessageEx(cls, sel, row.implementation(), &tweakState.previous[row.slot]);
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
    if (tweakState.enabled) installHookTable();
}
