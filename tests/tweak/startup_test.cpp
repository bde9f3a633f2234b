// The real tweak loaded into the simulated Music app: which start-up steps it performs, and that
// each replacement passes its call on to the implementation it replaced.
#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "sim/platform/call_log.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/substrate.hpp"
#include "sim/uikit/uikit.hpp"

#include "objc/class_builder.hpp"
#include "objc/system.hpp"
#include "sim/platform/objects.hpp"
#include "tests/registered_methods.hpp"

#include <gtest/gtest.h>

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

constexpr const char* kPreferencesFile = "/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist";
const char* const kCellClasses[] = {"Music.PlaylistCell", "Music.SongCell", "Music.SearchResultCell"};

class Startup : public ::testing::Test {
protected:
    void SetUp() override { sim::makeFreshRoot(); }
    void TearDown() override {
        if (sim::music::running()) sim::music::quit();
        sim::removeRoot();
    }
    static void writePreferences(const std::string& entries) {
        sim::writeFile(kPreferencesFile, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>" +
                                             entries + "</dict></plist>");
    }
    static void postReload() {
        CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                             sys::cfString(NS::literal<"com.qzr.twinlyprefs/reloadPrefs">()),
                                             nullptr, nullptr, YES);
    }
    static bool answersSetIsDisabled(const char* className) {
        return class_getInstanceMethod(objc::lookUpClass(className), sel<"setIsDisabled:">()) != nullptr;
    }
    static Ref<Object> make(const char* className) {
        return Ref<Object>::adopt(NS::classNamed(className).send<Object>(sel<"new">()));
    }
    NS::AutoreleasePool pool;
};

TEST_F(Startup, WithoutPreferencesEveryStepIsPerformed) {
    sim::music::launch();
    EXPECT_EQ(sim::installedHookCount(), 13u);
    expectRegisteredMethodsOf("music");
}

// Each replacement, whatever its own work, calls the implementation it replaced exactly once, with
// the very receiver, selector and arguments it was given.
TEST_F(Startup, EachReplacementCallsThePreviousImplementationOnceWithTheSameArguments) {
    sim::music::launch();
    struct Case {
        const char* className;
        const char* selector;
        bool takesFlag;
    };
    for (Case hooked : {Case{"Music.PlaylistCell", "layoutSubviews", false},
                        Case{"Music.PlaylistDetailHeaderLockupView", "layoutSubviews", false},
                        Case{"Music.ContextActionHeaderViewController", "viewWillAppear:", true},
                        Case{"Music.MediaPickerNavigationController", "viewWillAppear:", true},
                        Case{"Music.MediaPickerNavigationController", "finish", false},
                        Case{"Music.MediaPickerNavigationController", "cancelTapped", false},
                        Case{"Music.MediaPickerNavigationController", "doneTapped", false},
                        Case{"MPUHalfTintedTransportButton", "layoutSubviews", false},
                        Case{"Music.SongCell", "layoutSubviews", false},
                        Case{"Music.SearchResultCell", "layoutSubviews", false},
                        Case{"MPUMarqueeView", "layoutSubviews", false}}) {
        Ref<Object> receiver = make(hooked.className);
        sim::clearCallLog();
        if (hooked.takesFlag) receiver->send(sel_registerName(hooked.selector), YES);
        else receiver->send(sel_registerName(hooked.selector));
        std::vector<sim::Call> calls = sim::callsOf(hooked.selector);
        ASSERT_EQ(calls.size(), 1u) << hooked.className << " " << hooked.selector;
        std::vector<std::uintptr_t> arguments;
        if (hooked.takesFlag) arguments.push_back(1);
        EXPECT_EQ(calls[0], (sim::Call{sim::implementationName(hooked.className, hooked.selector),
                                       receiver.get().raw, hooked.selector, arguments}));
    }
}

// The very touch set and event, on a row of each picker.
TEST_F(Startup, TheTouchReplacementsPassATouchOnAsTheyReceivedIt) {
    sim::music::launch();
    sim::media::addSong("Hey Jude");
    sim::media::addPlaylist("Mix", {});
    auto touchEndsOn = [](CGPoint point) {
        UI::CollectionView list = sim::music::listOnScreen();
        Ref<UI::Touch> touch = sim::ui::makeTouch(point, list);
        Ref<UI::Event> event = sim::ui::makeEvent(touch.get());
        NS::Set touches = event->allTouches();
        sim::clearCallLog();
        for (SEL phase : {sel<"touchesBegan:withEvent:">(), sel<"touchesEnded:withEvent:">()}) {
            list.send(phase, touches, event.get());
            std::vector<sim::Call> calls = sim::callsOf(sel_getName(phase));
            ASSERT_EQ(calls.size(), 1u) << sel_getName(phase);
            EXPECT_EQ(calls[0].receiver, list.raw);
            EXPECT_EQ(calls[0].arguments, (std::vector{sim::argument(touches.raw), sim::argument(event.get().raw)}));
        }
    };
    CGPoint firstRow{10, 10};
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    touchEndsOn(firstRow);
    sim::music::showActions("Song", "Artist");
    sim::music::openPlaylistPicker();
    touchEndsOn(firstRow);
}

TEST_F(Startup, TurnedOffAtLaunchNothingIsInstalledNotEvenAfterTurningItOn) {
    writePreferences("<key>enabled</key><false/>");
    sim::music::launch();
    writePreferences("<key>enabled</key><true/>");
    postReload();
    EXPECT_EQ(sim::installedHookCount(), 0u);
    for (const char* cell : kCellClasses) EXPECT_FALSE(answersSetIsDisabled(cell)) << cell;
}

// The simulated substrate ends the run on a hook of nothing, as the strictest substrates do.
TEST_F(Startup, ClassesAndMethodsTheAppLacksAreSkippedAndTheOtherRowsInstalled) {
    // A picker of another release, whose three ways out have other names: it inherits only
    // viewWillAppear:, which gets an override.
    sim::ui::classes.define();
    objc::ClassBuilder("Music.MediaPickerNavigationController", objc::lookUpClass("UIViewController")).registerClass();
    sim::music::LaunchOptions options;
    options.leftOut = {"Music.SearchResultCell", "MPUMarqueeView"};
    sim::music::launch(options);
    EXPECT_EQ(sim::installedHookCount(), 8u);
    EXPECT_TRUE(answersSetIsDisabled("Music.SongCell"));
    EXPECT_TRUE(answersSetIsDisabled("Music.PlaylistCell"));
    Ref<Object> song = make("Music.SongCell");
    sim::clearCallLog();
    song->send(sel<"layoutSubviews">());
    EXPECT_EQ(sim::callsOf("layoutSubviews").size(), 1u);
}

TEST_F(Startup, ACellsOwnSetIsDisabledStays) {
    sim::music::LaunchOptions options;
    options.songCellHasOwnSetIsDisabled = true;
    sim::music::launch(options);
    Ref<Object> song = make("Music.SongCell");
    song->send(sel<"setAlpha:">(), CGFloat(0.8));
    sim::clearCallLog();
    song->send(sel<"setIsDisabled:">(), YES);
    EXPECT_EQ(sim::callsOf("setIsDisabled:").size(), 1u);
    EXPECT_EQ(song->send<CGFloat>(sel<"alpha">()), 0.8);
}

TEST_F(Startup, TheAddedSetIsDisabledDimsForAnyNonZeroFlag) {
    sim::music::launch();
    for (const char* cell : kCellClasses) {
        Ref<Object> row = make(cell);
        for (BOOL flag : {BOOL(1), BOOL(2), BOOL(255)}) {
            row->send(sel<"setIsDisabled:">(), flag);
            EXPECT_EQ(row->send<CGFloat>(sel<"alpha">()), 0.5) << cell << " " << int(flag);
            row->send(sel<"setIsDisabled:">(), BOOL(0));
            EXPECT_EQ(row->send<CGFloat>(sel<"alpha">()), 1.0) << cell;
        }
    }
}

} // namespace
