// A stand-in tweak for the launch tests: like the real one it is loaded by the simulated substrate,
// hooks, adds a method, observes a notification and queues main-queue work in its constructor, and
// keeps its own zero-filled state, which the tests read through probeState().
#include "tests/sim/music/probe_tweak.hpp"

#include "objc/class_builder.hpp"
#include "objc/system.hpp"

namespace {

ProbeState state;

void marqueeLayoutSubviews(id self, SEL cmd) {
    ++state.marqueeLayouts;
    reinterpret_cast<void (*)(id, SEL)>(state.previousMarqueeLayout)(self, cmd);
}

void songCellSetIsDisabled(id, SEL, BOOL) {}

void notified(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) { ++state.notifications; }

__attribute__((constructor)) void loadProbe() {
    ++state.loads;
    // As a tweak must under the strictest substrates: hook only what the app has.
    if (Class marquee = objc_getClass("MPUMarqueeView"))
        MSHookMessageEx(marquee, sel_registerName("layoutSubviews"), reinterpret_cast<IMP>(marqueeLayoutSubviews),
                        &state.previousMarqueeLayout);
    class_addMethod(objc_getClass("Music.SongCell"), sel_registerName("setIsDisabled:"),
                    reinterpret_cast<IMP>(songCellSetIsDisabled), objc::encodingOf<songCellSetIsDisabled>());
    CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, notified,
                                    sys::cfString(NS::literal<"probe/notify">()), nullptr, 0);
    sys::runOnMainQueue(^{ ++state.queuedBlocksRun; });
}

} // namespace

extern "C" __attribute__((visibility("default"))) const ProbeState* probeState() { return &state; }
