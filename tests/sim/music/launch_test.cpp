// Launching and relaunching the simulated Music app: the tweak is loaded into an app whose classes
// exist, and a relaunch is a new process for it. Nothing of the old process survives: its screens
// and alerts, queued work, observers, hooks and added methods go, the library is really unloaded,
// and the next load starts from zero-filled state with its constructor run once.
#include "tests/sim/music/probe_tweak.hpp"

#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "sim/platform/call_log.hpp"
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/platform/substrate.hpp"
#include "sim/uikit/uikit.hpp"

#include "objc/system.hpp"

#include <dlfcn.h>

#include <gtest/gtest.h>

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

sim::music::LaunchOptions probe() {
    sim::music::LaunchOptions options;
    options.tweakPath = PROBE_TWEAK;
    return options;
}

// The probe's state in the loaded library, read through a handle that does not load it.
ProbeState probeNow() {
    void* loaded = dlopen(PROBE_TWEAK, RTLD_NOW | RTLD_NOLOAD);
    if (loaded == nullptr) return ProbeState{};
    auto read = reinterpret_cast<const ProbeState* (*)()>(dlsym(loaded, "probeState"));
    ProbeState now = *read();
    dlclose(loaded);
    return now;
}

IMP implementationOf(const char* className, SEL sel) {
    return method_getImplementation(class_getInstanceMethod(objc::lookUpClass(className), sel));
}

class Launch : public ::testing::Test {
protected:
    void TearDown() override {
        if (sim::music::running()) sim::music::quit();
    }
    NS::AutoreleasePool pool;
};

TEST_F(Launch, AnAppWithoutTheNowPlayingBarSaysSoWhenAskedToLayItOut) {
    sim::music::LaunchOptions options = probe();
    options.leftOut = {"MPUMarqueeView", "MPUHalfTintedTransportButton"};
    sim::music::launch(options);
    EXPECT_THROW(sim::music::layoutMarquee(sim::music::MarqueeContent::text, "Song"), sim::music::AppError);
    EXPECT_THROW(sim::music::layoutTransport(), sim::music::AppError);
}

TEST_F(Launch, LoadsTheTweakIntoTheAppAndRunsItsConstructorOnce) {
    EXPECT_FALSE(sim::music::tweakLoaded());
    sim::music::launch(probe());
    ProbeState loaded = probeNow();
    EXPECT_EQ(loaded.loads, 1);
    // The constructor found the app's classes: its hook and its added method are in place.
    EXPECT_EQ(sim::installedHookCount(), 1u);
    EXPECT_NE(loaded.previousMarqueeLayout, nullptr);
    EXPECT_NE(class_getInstanceMethod(objc::lookUpClass("Music.SongCell"), sel<"setIsDisabled:">()), nullptr);
    EXPECT_EQ(sim::observerCount(), 1u);
    sim::music::layoutMarquee(sim::music::MarqueeContent::text, "Now Playing");
    EXPECT_EQ(probeNow().marqueeLayouts, 1);
    EXPECT_EQ(sim::callsOf("layoutSubviews").size(), 1u); // the marquee's own implementation, once
}

TEST_F(Launch, QuittingLeavesTheClassesAsTheAppDefinedThemAndUnloadsTheTweak) {
    sim::music::launch(probe());
    sim::music::quit();
    IMP ownLayout = implementationOf("MPUMarqueeView", sel<"layoutSubviews">());
    EXPECT_EQ(sim::installedHookCount(), 0u);
    EXPECT_FALSE(sim::music::tweakLoaded());

    sim::music::launch(probe());
    EXPECT_NE(implementationOf("MPUMarqueeView", sel<"layoutSubviews">()), ownLayout);
    sim::music::quit();
    EXPECT_EQ(implementationOf("MPUMarqueeView", sel<"layoutSubviews">()), ownLayout);
    EXPECT_EQ(class_getInstanceMethod(objc::lookUpClass("Music.SongCell"), sel<"setIsDisabled:">()), nullptr);
    EXPECT_EQ(sim::observerCount(), 0u);
    EXPECT_EQ(sim::pendingMainQueueWork(), 0u);
    EXPECT_FALSE(sim::music::tweakLoaded());
}

TEST_F(Launch, NothingSurvivesARelaunch) {
    sim::music::launch(probe());
    sim::settle();
    sim::music::layoutMarquee(sim::music::MarqueeContent::text, "Now Playing");
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         sys::cfString(NS::String::make("probe/notify")), nullptr, nullptr, YES);
    ProbeState before = probeNow();
    EXPECT_EQ(before.marqueeLayouts, 1);
    EXPECT_EQ(before.notifications, 1);
    EXPECT_EQ(before.queuedBlocksRun, 1);

    sim::music::relaunch();
    ProbeState after = probeNow();
    EXPECT_EQ(after.loads, 1);
    EXPECT_EQ(after.marqueeLayouts, 0);
    EXPECT_EQ(after.notifications, 0);
    EXPECT_EQ(after.queuedBlocksRun, 0);
    // One hook, one observer, one queued block: the new process's own, none left from the old one.
    EXPECT_EQ(sim::installedHookCount(), 1u);
    EXPECT_EQ(sim::observerCount(), 1u);
    EXPECT_EQ(sim::pendingMainQueueWork(), 1u);
    // The new hook replaced the app's own implementation, not the old process's replacement.
    sim::clearCallLog();
    sim::music::layoutMarquee(sim::music::MarqueeContent::text, "Next");
    EXPECT_EQ(probeNow().marqueeLayouts, 1);
    EXPECT_EQ(sim::callsOf("layoutSubviews").size(), 1u);
}

TEST_F(Launch, QuittingReleasesScreensAlertsAndWhatTheirHandlersKept) {
    int objectsBefore = sim::liveInstances("NSObject");
    sim::music::launch(probe());
    {
        NS::AutoreleasePool inner;
        sim::music::openPlaylist("Road Trip");
        sim::music::openPicker();
        auto kept = Ref<Object>::adopt(NS::classNamed("NSObject").send<Object>(sel<"new">()));
        UI::AlertController alert = UI::AlertController::alertControllerWithTitle(
            NS::String::make(""), NS::String::make("Kept"), UI::AlertController::kStyleAlert);
        alert.addAction(UI::AlertAction::actionWithTitle(NS::String::make("Ok"), 0, ^(id) { kept->send(sel<"hash">()); }));
        sim::music::listOnScreen().viewControllerForAncestor().presentViewController(alert, YES, nullptr);
    }
    ASSERT_TRUE(sim::ui::alertOnScreen());
    EXPECT_EQ(sim::liveInstances("UIAlertController"), 1);
    EXPECT_EQ(sim::liveInstances("Music.MediaPickerNavigationController"), 1);
    sim::music::quit();
    EXPECT_FALSE(sim::ui::alertOnScreen());
    for (const char* cls : {"UIAlertController", "UIAlertAction", "Music.MediaPickerNavigationController",
                            "Music.PlaylistDetailHeaderLockupView", "UICollectionView", "Music.SongCell", "MPUMarqueeView"})
        EXPECT_EQ(sim::liveInstances(cls), 0) << cls;
    EXPECT_EQ(sim::liveInstances("NSObject"), objectsBefore);
}

TEST_F(Launch, AnAppWithoutAClassLeavesItUndefinedAndTheTweakStillLoads) {
    sim::music::LaunchOptions options;
    options.leftOut = {"MPUMarqueeView"};
    sim::music::launch(options);
    EXPECT_EQ(objc::lookUpClass("MPUMarqueeView"), nullptr);
    EXPECT_NE(objc::lookUpClass("Music.SongCell"), nullptr);
    EXPECT_TRUE(sim::music::tweakLoaded());
}

TEST_F(Launch, TheRealTweakHooksEveryReplacementOfItsTableOnUntouchedClassesAtEachLaunch) {
    sim::music::launch();
    size_t hooks = sim::installedHookCount();
    EXPECT_EQ(hooks, 13u);
    sim::music::relaunch();
    EXPECT_EQ(sim::installedHookCount(), hooks);
    // Each hooked method reaches the app's own implementation exactly once.
    sim::clearCallLog();
    sim::music::layoutTransport();
    EXPECT_EQ(sim::callsOf("layoutSubviews").size(), 1u);
}

TEST_F(Launch, ACellsOwnSetIsDisabledStaysInPlace) {
    sim::music::LaunchOptions options;
    options.songCellHasOwnSetIsDisabled = true;
    sim::music::launch(options);
    sim::media::addSong("Hey Jude");
    sim::music::openPlaylist("Road Trip");
    sim::music::openPicker();
    // The tweak's song-row layout asks the cell to mark itself; the cell's own method answers.
    std::vector<sim::Call> calls = sim::callsOf("setIsDisabled:");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].receiver, sim::music::listOnScreen().cellForItemAtIndexPath(
                                     NS::classNamed("NSIndexPath").send<Object>(sel<"indexPathForItem:inSection:">(),
                                                                                NSInteger(0), NSInteger(0))).raw);
    EXPECT_EQ(sim::music::rowsOnScreen()[0].alpha, 1.0);
}

TEST_F(Launch, ClassesAreDefinedOncePerProcessWithOneSetOfOptions) {
    sim::music::launch(probe());
    sim::music::quit();
    sim::music::LaunchOptions other = probe();
    other.leftOut = {"MPUMarqueeView"};
    EXPECT_THROW(sim::music::launch(other), sim::music::AppError);
    EXPECT_FALSE(sim::music::running());
}

} // namespace
