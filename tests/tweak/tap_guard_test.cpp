// The tap guard's state across touches, and what its alerts keep and let go.
#include "tweak_fixture.hpp"

#include "objc/system.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/uikit/uikit.hpp"
#include "tests/support/session.hpp"

#include <map>

namespace {

using Titles = std::vector<std::string>;

class TapGuard : public TweakTest {
protected:
    void openPickerFor(const std::vector<std::string>& held, const std::vector<std::string>& library) {
        std::vector<MP::Item> items;
        for (const std::string& title : held) items.push_back(sim::media::addSong(title));
        for (const std::string& title : library) sim::media::addSong(title);
        sim::media::addPlaylist("Trip", items);
        sim::music::openPlaylist("Trip");
        sim::music::openPicker();
    }
};

TEST_F(TapGuard, EveryTouchEndLeavesTheFlagClear) {
    openPickerFor({"A"}, {"B"});
    sim::music::tapRow(0);
    EXPECT_FALSE(tweakState.pendingDuplicateTap);
    sim::ui::pressAlertButton("Skip");
    sim::music::dragRowToEmpty(0);
    EXPECT_FALSE(tweakState.pendingDuplicateTap);
    sim::ui::pressAlertButton("Add Again");
    sim::music::tapRow(1);
    EXPECT_FALSE(tweakState.pendingDuplicateTap);

    support::writePreferences("<key>disable</key><false/>");
    support::postReload();
    sim::music::tapRow(0);
    EXPECT_FALSE(tweakState.pendingDuplicateTap);
    sim::music::touchRowCancelled(0);
    EXPECT_TRUE(tweakState.pendingDuplicateTap);
    sim::music::tapEmpty();
    EXPECT_FALSE(tweakState.pendingDuplicateTap);
    EXPECT_EQ(sim::ui::alertOnScreen(), UI::AlertController());
}

TEST_F(TapGuard, PassedSongsAreAppendedEvenWhenListedAlreadyButNeverToAnEmptyList) {
    support::writePreferences("<key>disable</key><false/>");
    support::postReload();
    openPickerFor({"A"}, {"B"});
    sim::music::tapRow(0);
    sim::music::tapRow(1);
    EXPECT_EQ(targetTitles(), (Titles{"A", "A", "B"}));

    sim::music::openPlaylist("Nothing here");
    sim::music::openPicker();
    sim::music::tapRow(0);
    EXPECT_EQ(targetTitles(), Titles{});
}

TEST_F(TapGuard, ASongWithoutATitlePassesAndIsNotAppended) {
    MP::Item a = sim::media::addSong("A");
    sim::media::addSong(std::nullopt);
    sim::media::addPlaylist("Trip", {a});
    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    sim::music::tapRow(1);
    EXPECT_EQ(targetTitles(), Titles{"A"});
    EXPECT_EQ(sim::ui::alertOnScreen(), UI::AlertController());
}

// Objects of the classes that an alert and its handlers keep alive.
std::map<std::string, int> liveKept() {
    std::map<std::string, int> live;
    for (const char* name : {"UIAlertController", "UIAlertAction", "UIEvent", "UITouch", "NSIndexPath",
                             "MPMediaPlaylist", "UICollectionView"})
        live[name] = sim::liveInstances(name);
    return live;
}

TEST_F(TapGuard, AnAlertAndAllThatItsHandlersHeldAreReleasedOnceItIsGone) {
    openPickerFor({"A"}, {});
    std::map<std::string, int> before = liveKept();
    for (const char* button : {"Skip", "Add Again"}) {
        {
            NS::AutoreleasePool inner;
            sim::music::tapRow(0);
            EXPECT_EQ(sim::liveInstances("UIAlertController"), before["UIAlertController"] + 1);
            ASSERT_TRUE(sim::ui::pressAlertButton(button));
        }
        EXPECT_EQ(liveKept(), before) << "after " << button;
    }
}

TEST_F(TapGuard, TheAlbumAlertTheAdditionAndItsNoticeAreAllReleased) {
    MP::Item one = sim::media::addSong("One"), two = sim::media::addSong("Two");
    sim::media::addAlbum("Record", {one, two});
    sim::media::addPlaylist("Some", {one});
    MP::Collection album = sim::media::albums().front();
    sim::music::showAlbumActions(album);
    sim::music::openPlaylistPicker();
    std::map<std::string, int> before = liveKept();
    {
        NS::AutoreleasePool inner;
        sim::music::tapRow(0);
        ASSERT_TRUE(sim::ui::pressAlertButton("Skip"));
        sim::media::completeAdditions();
        sim::settle();
        ASSERT_TRUE(sim::ui::pressAlertButton("Ok"));
    }
    EXPECT_EQ(liveKept(), before);
    EXPECT_EQ(sim::media::itemsOf(sim::media::playlists().front()), (std::vector<MP::Item>{one, two}));
}

// The library completes on its own thread and lets go of the completion there, after the main
// queue ran: a completion that owned the list would make it die off the main thread, and one that
// copied or loaded a weak reference to it would retain it there; either ends the run. The picker
// closes after the completion, before its main-queue work: UIKit refuses the notice while the
// picker's dismissal is under way, and the list goes with its picker, on the main thread, when the
// dismissal finishes at the next turn of the run loop.
TEST_F(TapGuard, AnAlbumAdditionThatOutlivesItsPickerEndsQuietly) {
    MP::Item one = sim::media::addSong("One"), two = sim::media::addSong("Two");
    sim::media::addAlbum("Record", {one, two});
    sim::media::addPlaylist("Some", {one});
    sim::music::showAlbumActions(sim::media::albums().front());
    std::map<std::string, int> before = liveKept();
    {
        NS::AutoreleasePool inner;
        sim::music::openPlaylistPicker();
        sim::music::tapRow(0);
        ASSERT_TRUE(sim::ui::pressAlertButton("Skip"));
        sys::runOnMainQueue(^{ sim::music::closePlaylistPicker(); });
    }
    sim::media::completeAdditions();
    sim::settle();
    EXPECT_EQ(sim::ui::alertOnScreen(), UI::AlertController());
    EXPECT_EQ(liveKept(), before);
    EXPECT_EQ(sim::media::itemsOf(sim::media::playlists().front()), (std::vector<MP::Item>{one, two}));
}

TEST_F(TapGuard, AFailedAlbumAdditionIsConfirmedAllTheSame) {
    MP::Item one = sim::media::addSong("One"), two = sim::media::addSong("Two");
    sim::media::addAlbum("Record", {one, two});
    sim::media::addPlaylist("Some", {one});
    sim::music::showAlbumActions(sim::media::albums().front());
    sim::music::openPlaylistPicker();
    sim::music::tapRow(0);
    ASSERT_TRUE(sim::ui::pressAlertButton("Skip"));
    // The notice is presented on the main queue (UIKit off the main thread would end the run).
    sim::media::failAdditions();
    EXPECT_EQ(sim::ui::contentOf(sim::ui::alertOnScreen()).message, "Missing songs added.");
    EXPECT_EQ(sim::media::itemsOf(sim::media::playlists().front()), std::vector<MP::Item>{one});
}

} // namespace
