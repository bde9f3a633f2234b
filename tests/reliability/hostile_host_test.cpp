// The tweak in a Music app that is not as it expects: classes of the hook table missing, titles and
// names that are absent, empty, a megabyte long or odd Unicode, lists whose cells do not answer
// `title`, an empty library and one of 100 000 songs. Nothing crashes, and titles still match by
// exact equality of their UTF-16 code units, nothing else.
#include "tests/support/session.hpp"

#include "objc/class_builder.hpp"
#include "sim/platform/call_log.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/uikit/collection_view.hpp"
#include "sim/uikit/uikit.hpp"
#include "tweak/app.hpp"

#include <gtest/gtest.h>

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;
using Text = std::optional<std::string>;
using Titles = std::vector<Text>;

constexpr const char* kDuplicate = "This song is already in your playlist.";

class HostileHost : public ::testing::Test {
protected:
    void SetUp() override {
        sim::makeFreshRoot();
        support::launchWithOwnTweak(options());
    }
    void TearDown() override {
        if (sim::music::running()) support::quitWithOwnTweak();
        sim::media::reset();
        sim::removeRoot();
    }
    virtual sim::music::LaunchOptions options() const { return {}; }

    // A playlist "Target" holding songs of `held` titles, a library that also has songs of
    // `others`, and the picker open over the playlist's page.
    static void openPickerFor(const Titles& held, const Titles& others) {
        std::vector<MP::Item> items;
        for (const Text& title : held) items.push_back(sim::media::addSong(title));
        for (const Text& title : others) sim::media::addSong(title);
        sim::media::addPlaylist("Target", items);
        sim::music::openPlaylist("Target");
        sim::music::openPicker();
    }

    // Taps the row and says whether the duplicate alert came; presses "Skip" if it did.
    static bool tapRaisesAlert(size_t row) {
        sim::music::tapRow(row);
        EXPECT_FALSE(tweakState.pendingDuplicateTap);
        if (!sim::ui::alertOnScreen()) return false;
        EXPECT_EQ(sim::ui::contentOf(sim::ui::alertOnScreen()).message, kDuplicate);
        EXPECT_TRUE(sim::ui::pressAlertButton("Skip"));
        return true;
    }

    static std::vector<bool> dimmedRows() {
        std::vector<bool> dimmed;
        for (const auto& row : sim::music::rowsOnScreen()) dimmed.push_back(row.alpha == 0.5);
        return dimmed;
    }

    NS::AutoreleasePool pool;
};

// Titles that look alike but differ in their code units never match; equal ones always do.
TEST_F(HostileHost, LookAlikeTitlesAreDifferentSongs) {
    const std::string composed = "\u00e9t\u00e9", decomposed = "e\u0301te\u0301";
    const std::string bullet = "Artist \u2219 2019", lookAlike = "Artist \u2022 2019";
    const std::string emoji = "\xf0\x9f\x8e\xb5", otherEmoji = "\xf0\x9f\x8e\xb6";
    openPickerFor({composed, bullet, emoji, "Hey Jude", ""},
                  {decomposed, lookAlike, otherEmoji, "hey jude", "Hey Jude ", composed, emoji, ""});
    // Rows: the five held songs, then the others in order.
    EXPECT_EQ(dimmedRows(), (std::vector<bool>{true, true, true, true, true, false, false, false, false, false,
                                               true, true, true}));
    for (size_t row : {5, 6, 7, 8, 9}) EXPECT_FALSE(tapRaisesAlert(row)) << "row " << row + 1;
    for (size_t row : {10, 11, 12}) EXPECT_TRUE(tapRaisesAlert(row)) << "row " << row + 1;
}

TEST_F(HostileHost, AMegabyteTitleMatchesOnlyItsExactCopy) {
    std::string huge(1 << 20, 'a');
    std::string almost = huge;
    almost.back() = 'b';
    openPickerFor({huge}, {almost, huge});
    EXPECT_EQ(dimmedRows(), (std::vector<bool>{true, false, true}));
    EXPECT_FALSE(tapRaisesAlert(1));
    EXPECT_TRUE(tapRaisesAlert(2));
}

TEST_F(HostileHost, AbsentTitlesMatchNothingNotEvenEachOther) {
    openPickerFor({std::nullopt, "A"}, {std::nullopt});
    EXPECT_EQ(dimmedRows(), (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(tapRaisesAlert(0));
    EXPECT_FALSE(tapRaisesAlert(2));
}

// Strings with a NUL inside cannot come through the app's UTF-8 titles; the tweak's own equality
// and list membership see every code unit of them.
TEST_F(HostileHost, AnEmbeddedNulIsPartOfTheTitle) {
    auto withBytes = [](const std::string& bytes) {
        Object allocated(NS::classNamed("NSString").send<id>(sel<"alloc">()));
        return Ref<NS::String>::adopt(allocated.send<NS::String>(sel<"initWithBytes:length:encoding:">(),
                                                                 bytes.data(), NSUInteger(bytes.size()),
                                                                 NSUInteger(4))); // NSUTF8StringEncoding
    };
    Ref<NS::String> ab = withBytes(std::string("A\0B", 3)), ac = withBytes(std::string("A\0C", 3));
    Ref<NS::String> a = withBytes("A"), abAgain = withBytes(std::string("A\0B", 3));
    ASSERT_EQ(ab->length(), 3u);
    EXPECT_TRUE(app::sameTitle(ab, abAgain));
    EXPECT_FALSE(app::sameTitle(ab, ac));
    EXPECT_FALSE(app::sameTitle(ab, a));
    tweakState.targetPlaylistSongTitles.startAfresh();
    tweakState.targetPlaylistSongTitles.append(ab);
    EXPECT_TRUE(tweakState.targetPlaylistSongTitles.contains(abAgain));
    EXPECT_FALSE(tweakState.targetPlaylistSongTitles.contains(ac));
    EXPECT_FALSE(tweakState.targetPlaylistSongTitles.contains(a));
}

// Playlist names the same way: the picker's target is every playlist of exactly the page's name.
TEST_F(HostileHost, PlaylistNamesMatchExactlyAndAnUntitledPageHasNoTarget) {
    MP::Item song = sim::media::addSong("Song");
    std::string huge(1 << 20, 'n');
    for (const std::string& name : {std::string(""), huge, std::string("\xf0\x9f\x8e\xb5")})
        sim::media::addPlaylist(name, {song});
    sim::media::addPlaylist("\xf0\x9f\x8e\xb6", {});
    for (const Text& page : {Text(huge), Text("\xf0\x9f\x8e\xb5")}) {
        sim::music::openPlaylist(page);
        sim::music::openPicker();
        EXPECT_EQ(dimmedRows(), std::vector<bool>{true}) << page->size();
        EXPECT_TRUE(tapRaisesAlert(0));
    }
    // An empty title names no target, not even a playlist of that empty name.
    for (const Text& page : {Text("\xf0\x9f\x8e\xb6"), Text(""), Text(std::nullopt), Text(huge + "n")}) {
        sim::music::openPlaylist(page);
        sim::music::openPicker();
        EXPECT_EQ(dimmedRows(), std::vector<bool>{false});
        EXPECT_FALSE(tapRaisesAlert(0));
    }
}

// A composed accent and the same letter with a combining mark are canonically equivalent but not
// the same code units: different titles and different playlist names, as on the device.
TEST_F(HostileHost, ComposedAndCombiningAccentsAreDifferentNames) {
    MP::Item song = sim::media::addSong("Song");
    sim::media::addPlaylist("e\u0301t\u00e9", {song});
    sim::media::addPlaylist("\u00e9t\u00e9", {});
    sim::music::openPlaylist("\u00e9t\u00e9");
    sim::music::openPicker();
    EXPECT_EQ(dimmedRows(), std::vector<bool>{false});
    EXPECT_FALSE(tapRaisesAlert(0));
}

// A list whose cells do not answer `title`, shown on its own and inside the playlist picker: each
// touch goes through to the list's own handling once, and nothing is held back.
Ref<UI::View> untitledCell;

Object untitledCellFor(Object, SEL, Object) { return untitledCell.get(); }
Object firstItemAt(Object, SEL, CGPoint) {
    return NS::classNamed("NSIndexPath").send<Object>(sel<"indexPathForItem:inSection:">(), NSInteger(0), NSInteger(0));
}

Class untitledCellList() {
    static Class cls = objc::ClassBuilder("TestUntitledCellList", objc::lookUpClass("UICollectionView"))
                           .method<&untitledCellFor>(sel<"cellForItemAtIndexPath:">())
                           .method<&firstItemAt>(sel<"indexPathForItemAtPoint:">())
                           .registerClass();
    return cls;
}

void touchOnce(UI::CollectionView list) {
    NS::AutoreleasePool pool;
    Ref<UI::Touch> touch = sim::ui::makeTouch(CGPoint{10, 10}, list);
    Ref<UI::Event> event = sim::ui::makeEvent(touch);
    list.send(sel<"touchesBegan:withEvent:">(), event->allTouches(), event.get());
    list.send(sel<"touchesEnded:withEvent:">(), event->allTouches(), event.get());
}

TEST_F(HostileHost, CellsThatDoNotAnswerTitlePassEveryTouchOn) {
    MP::Item song = sim::media::addSong("Untitled");
    sim::media::addPlaylist("Untitled", {song});
    sim::music::openPlaylist("Untitled");
    sim::music::openPicker(); // the list of held titles is not empty now
    untitledCell = Ref<UI::View>::adopt(NS::classNamed("UIView").send<UI::View>(sel<"new">()));
    Ref<UI::ViewController> playlistPicker = Ref<UI::ViewController>::adopt(
        NS::classNamed("Music.PlaylistPickerViewController").send<UI::ViewController>(sel<"new">()));
    sim::music::showActions("Untitled", "Artist \u2219 2019"); // an album, whose check always runs
    for (bool inPlaylistPicker : {false, true}) {
        Ref<UI::CollectionView> list = Ref<UI::CollectionView>::adopt(
            objc::classObject(untitledCellList()).send<UI::CollectionView>(sel<"new">()));
        if (inPlaylistPicker) playlistPicker->view().addSubview(list);
        sim::clearCallLog();
        touchOnce(list);
        EXPECT_EQ(sim::callsOf("touchesBegan:withEvent:").size(), 1u) << inPlaylistPicker;
        EXPECT_EQ(sim::callsOf("touchesEnded:withEvent:").size(), 1u) << inPlaylistPicker;
        EXPECT_FALSE(tweakState.pendingDuplicateTap);
        EXPECT_FALSE(sim::ui::alertOnScreen());
    }
    untitledCell = Ref<UI::View>();
}

TEST_F(HostileHost, AnEmptyLibraryGivesEmptyListsAndTouchesOnNothing) {
    sim::ui::takeTouchCounts();
    sim::music::openPlaylist("Nothing");
    sim::music::openPicker();
    sim::music::tapEmpty();
    sim::music::search("");
    sim::music::closePicker(sim::music::PickerClose::done);
    sim::music::showActions(std::nullopt, std::nullopt);
    sim::music::openPlaylistPicker();
    sim::music::tapEmpty();
    sim::music::layoutScreen();
    EXPECT_FALSE(tweakState.pendingDuplicateTap);
    EXPECT_FALSE(sim::ui::alertOnScreen());
    // Both touch ends on no row reach the app's own handling.
    EXPECT_EQ(sim::ui::takeTouchCounts().ended, 2);
}

TEST_F(HostileHost, AHundredThousandSongsAreGuardedAndDimmedAsTen) {
    constexpr int kSongs = 100000;
    std::vector<MP::Item> held;
    for (int i = 0; i < kSongs; ++i) {
        MP::Item song = sim::media::addSong("Song " + std::to_string(i));
        if (i % 2 == 0) held.push_back(song);
    }
    sim::media::addPlaylist("Half", held);
    sim::music::openPlaylist("Half");
    sim::music::openPicker();
    std::vector<bool> dimmed = dimmedRows();
    ASSERT_EQ(dimmed.size(), size_t(kSongs));
    for (int i = 0; i < kSongs; ++i) ASSERT_EQ(dimmed[i], i % 2 == 0) << "row " << i + 1;
    EXPECT_TRUE(tapRaisesAlert(kSongs - 2));
    EXPECT_FALSE(tapRaisesAlert(kSongs - 1));
    EXPECT_TRUE(tapRaisesAlert(kSongs - 1)) << "a song added a moment ago is caught";
    EXPECT_EQ(sim::media::itemsOf(sim::media::playlists().front()).size(), held.size() + 1);
}

// Each class of the hook table left out of the app in turn: the app does what it still can, the
// tweak's rows for the other classes work, and nothing crashes.
const char* const kHookedClasses[] = {"Music.PlaylistCell", "Music.PlaylistDetailHeaderLockupView",
                                      "Music.ContextActionHeaderViewController",
                                      "Music.MediaPickerNavigationController", "UICollectionView",
                                      "MPUHalfTintedTransportButton", "Music.SongCell", "Music.SearchResultCell",
                                      "MPUMarqueeView"};

class MissingClass : public HostileHost, public ::testing::WithParamInterface<const char*> {
protected:
    sim::music::LaunchOptions options() const override {
        sim::music::LaunchOptions withOut;
        withOut.leftOut = {GetParam()};
        return withOut;
    }
    // Runs the step when the app can; an app without the class cannot show what needs it.
    template <class F> static void ifTheAppCan(F step) {
        try {
            step();
        } catch (const sim::music::AppError&) {
        }
    }
};

TEST_P(MissingClass, TheAppRunsAndTheOtherRowsStillGuard) {
    MP::Item held = sim::media::addSong("Held");
    MP::Item other = sim::media::addSong("Other");
    sim::media::addAlbum("Record", {held, other});
    sim::media::addPlaylist("Target", {held});
    bool pickerShown = false;
    ifTheAppCan([&] {
        sim::music::openPlaylist("Target");
        sim::music::openPicker();
        pickerShown = true;
    });
    // An alert is modal: it is answered before the user goes on.
    if (pickerShown) {
        ifTheAppCan([] { sim::music::tapRow(0); });
        sim::ui::pressAlertButton("Skip");
        ifTheAppCan([] { sim::music::search("e"); });
        ifTheAppCan([] { sim::music::tapRow(1); });
        sim::ui::pressAlertButton("Skip");
        ifTheAppCan([] { sim::music::layoutScreen(); });
        ifTheAppCan([] { sim::music::closePicker(sim::music::PickerClose::finish); });
    }
    ifTheAppCan([] {
        sim::music::showAlbumActions(sim::media::albums().front());
        sim::music::openPlaylistPicker();
        sim::music::tapRow(0);
    });
    sim::ui::pressAlertButton("Skip");
    if (objc::lookUpClass("MPUMarqueeView")) sim::music::layoutMarquee(sim::music::MarqueeContent::text, "Held");
    ifTheAppCan([] { sim::music::layoutTransport(); });
    EXPECT_FALSE(tweakState.pendingDuplicateTap);

    // A guarded tap where every class it needs is there.
    std::set<std::string> guardNeeds = {"Music.PlaylistDetailHeaderLockupView", "Music.MediaPickerNavigationController",
                                        "UICollectionView", "Music.SongCell"};
    if (!guardNeeds.count(GetParam())) {
        EXPECT_TRUE(pickerShown);
        sim::music::openPlaylist("Target");
        sim::music::openPicker();
        EXPECT_TRUE(tapRaisesAlert(0));
    }
}

INSTANTIATE_TEST_SUITE_P(EachHookedClass, MissingClass, ::testing::ValuesIn(kHookedClasses),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '.') c = '_';
                             return name;
                         });

} // namespace
