// The simulated Music app's own behaviour, which scenarios observe, with a tweak that leaves the
// lists alone: a touch end reaching a list selects the row and the app adds to a playlist, a
// selection from code only marks, and the media library's additions complete on another thread
// only when asked to.
#include "tests/sim/music/probe_tweak.hpp"

#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "sim/platform/call_log.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/uikit/collection_view.hpp"
#include "sim/uikit/uikit.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace {

using objc::Object;
using objc::sel;

class MusicApp : public ::testing::Test {
protected:
    void SetUp() override {
        sim::music::LaunchOptions options;
        options.tweakPath = PROBE_TWEAK;
        sim::music::launch(options);
    }
    void TearDown() override { sim::music::quit(); }
    NS::AutoreleasePool pool;
};

std::vector<std::optional<std::string>> titlesOnScreen() {
    std::vector<std::optional<std::string>> titles;
    for (const auto& row : sim::music::rowsOnScreen()) titles.push_back(row.title);
    return titles;
}

Object indexPath(NSInteger item) {
    return NS::classNamed("NSIndexPath").send<Object>(sel<"indexPathForItem:inSection:">(), item, NSInteger(0));
}

TEST_F(MusicApp, APickerTapAddsTheSongToTheFirstPlaylistNamedLikeThePage) {
    MP::Item jude = sim::media::addSong("Hey Jude");
    MP::Item yesterday = sim::media::addSong("Yesterday");
    MP::Playlist first = sim::media::addPlaylist("Mix", {jude});
    MP::Playlist second = sim::media::addPlaylist("Mix", {});
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    EXPECT_EQ(titlesOnScreen(), (std::vector<std::optional<std::string>>{"Hey Jude", "Yesterday"}));
    sim::music::tapRow(1);
    EXPECT_EQ(sim::media::itemsOf(first), (std::vector<MP::Item>{jude, yesterday}));
    EXPECT_TRUE(sim::media::itemsOf(second).empty());
    sim::ui::TouchCounts counts = sim::ui::takeTouchCounts();
    EXPECT_EQ(counts.began, 1);
    EXPECT_EQ(counts.ended, 1);
    EXPECT_EQ(sim::ui::takeTouchCounts().ended, 0);
}

TEST_F(MusicApp, TheListsTouchMethodsReceiveOneTouchAndItsEvent) {
    sim::media::addSong("Hey Jude");
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    sim::clearCallLog();
    sim::music::tapRow(0);
    std::vector<sim::Call> began = sim::callsOf("touchesBegan:withEvent:");
    std::vector<sim::Call> ended = sim::callsOf("touchesEnded:withEvent:");
    ASSERT_EQ(began.size(), 1u);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(began[0], (sim::Call{"-[UICollectionView touchesBegan:withEvent:]", ended[0].receiver,
                                   "touchesBegan:withEvent:", ended[0].arguments}));
    EXPECT_EQ(began[0].receiver, sim::music::listOnScreen().raw);
}

TEST_F(MusicApp, TouchesThatEndElsewhereOrAreCancelledAddNothing) {
    MP::Playlist mix = sim::media::addPlaylist("Mix", {});
    sim::media::addSong("Hey Jude");
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    sim::music::dragRowToEmpty(0);
    sim::music::touchRowCancelled(0);
    sim::music::tapEmpty();
    EXPECT_TRUE(sim::media::itemsOf(mix).empty());
    sim::ui::TouchCounts counts = sim::ui::takeTouchCounts();
    EXPECT_EQ(counts.began, 3);
    EXPECT_EQ(counts.ended, 2);
    EXPECT_EQ(sim::callsOf("touchesCancelled:withEvent:").size(), 1u);
}

TEST_F(MusicApp, ASelectionFromCodeOnlyMarksTheRow) {
    MP::Playlist mix = sim::media::addPlaylist("Mix", {});
    sim::media::addSong("Hey Jude");
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    EXPECT_FALSE(sim::ui::lastSelection());
    sim::music::listOnScreen().selectItemAtIndexPath(indexPath(0), YES, 0);
    ASSERT_TRUE(sim::ui::lastSelection());
    EXPECT_EQ(sim::ui::lastSelection()->title, "Hey Jude");
    EXPECT_TRUE(sim::media::itemsOf(mix).empty());
    sim::music::listOnScreen().selectItemAtIndexPath(Object(), YES, 0);
    EXPECT_EQ(sim::ui::lastSelection()->title, std::nullopt);
}

TEST_F(MusicApp, SearchShowsResultRowsForSongsWhoseTitleContainsTheText) {
    sim::media::addSong("Hey Jude");
    sim::media::addSong(std::nullopt);
    sim::media::addSong("Jude's Return");
    sim::media::addSong("Yesterday");
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    sim::music::search("Jude");
    EXPECT_EQ(titlesOnScreen(), (std::vector<std::optional<std::string>>{"Hey Jude", "Jude's Return"}));
    Object row = sim::music::listOnScreen().cellForItemAtIndexPath(indexPath(1));
    EXPECT_TRUE(row.isKindOfClass(objc::lookUpClass("Music.SearchResultCell")));
}

// What a picture of the app draws: the topmost screen, and the rows at the frames and alpha they have.
TEST_F(MusicApp, ShowsItsTopmostScreenWithTheRowsAsLaidOut) {
    using Kind = sim::screens::MusicScreen::Kind;
    sim::media::addSong("Hey Jude");
    sim::media::addSong("Yesterday");
    sim::media::addPlaylist("Mix", {});
    sim::music::openPlaylist("Mix");
    EXPECT_EQ(sim::music::screenShown()->kind, Kind::playlistPage);
    EXPECT_EQ(sim::music::screenShown()->title, "Mix");
    sim::music::openPicker();
    UI::View(sim::music::listOnScreen().cellForItemAtIndexPath(indexPath(1)).raw).setAlpha(0.5);
    sim::screens::MusicScreen picker = *sim::music::screenShown();
    EXPECT_EQ(picker.kind, Kind::songPicker);
    EXPECT_EQ(picker.rows, (std::vector<sim::screens::ListRow>{{"Hey Jude", 1, {0, 0, 375, 44}}, {"Yesterday", 0.5, {0, 44, 375, 44}}}));
    sim::music::search("Jude");
    EXPECT_EQ(sim::music::screenShown()->kind, Kind::searchResults);
    EXPECT_EQ(sim::music::screenShown()->search, "Jude");
    EXPECT_EQ(sim::music::screenShown()->rows.size(), 1u);
    sim::music::closePicker(sim::music::PickerClose::silently);
    EXPECT_EQ(sim::music::screenShown()->kind, Kind::playlistPage);
    sim::music::showActions("Abbey Road", "The Beatles ∙ 1969");
    EXPECT_EQ(sim::music::screenShown()->subtitle, "The Beatles ∙ 1969");
    sim::music::openPlaylistPicker();
    EXPECT_EQ(sim::music::screenShown()->kind, Kind::playlistPicker);
    EXPECT_EQ(sim::music::screenShown()->rows.at(0).title, "Mix");
    EXPECT_FALSE(sim::music::screenShown()->alert);
}

TEST_F(MusicApp, ThePlaylistPickerAddsAnAlbumInAlbumOrderAndCloses) {
    MP::Item one = sim::media::addSong("One");
    MP::Item two = sim::media::addSong("Two");
    MP::Collection album = sim::media::addAlbum("Pair", {two, one});
    MP::Playlist mix = sim::media::addPlaylist("Mix", {});
    sim::music::showAlbumActions(album);
    sim::music::openPlaylistPicker();
    ASSERT_TRUE(sim::music::listOnScreen().viewControllerForAncestor().isKindOfClass(
        objc::lookUpClass("Music.PlaylistPickerViewController")));
    sim::music::tapRow(0);
    EXPECT_EQ(sim::media::itemsOf(mix), (std::vector<MP::Item>{two, one}));
    EXPECT_FALSE(sim::music::listOnScreen());
}

TEST_F(MusicApp, TheContextHeaderNamesTheItemAndMarksAlbumsInItsSubtitle) {
    sim::music::showActions("Abbey Road", "The Beatles ∙ 1969");
    std::vector<sim::Call> appeared = sim::callsOf("viewWillAppear:");
    ASSERT_EQ(appeared.size(), 1u);
    Object header(appeared[0].receiver);
    NS::Array arranged = header.send<UI::StackView>(sel<"titleStack">()).arrangedSubviews();
    EXPECT_EQ(sim::text(UI::Label(arranged.objectAtIndex(0).raw).text()), "Abbey Road");
    UI::StackView nested(arranged.objectAtIndex(1).raw);
    ASSERT_TRUE(nested.isKindOfClass(objc::lookUpClass("UIStackView")));
    EXPECT_EQ(sim::text(UI::Label(nested.arrangedSubviews().objectAtIndex(1).raw).text()), "The Beatles ∙ 1969");

    sim::music::showActions(std::nullopt, std::nullopt);
    Object bare(sim::callsOf("viewWillAppear:").back().receiver);
    NS::Array bareArranged = bare.send<UI::StackView>(sel<"titleStack">()).arrangedSubviews();
    EXPECT_FALSE(UI::Label(bareArranged.objectAtIndex(0).raw).text());
    EXPECT_FALSE(bareArranged.objectAtIndex(1).isKindOfClass(objc::lookUpClass("UIStackView")));
}

TEST_F(MusicApp, ClosingThePickerGoesThroughItsOwnMethodsOrSilently) {
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    sim::clearCallLog();
    sim::music::closePicker(sim::music::PickerClose::cancel);
    EXPECT_EQ(sim::callsOf("cancelTapped").size(), 1u);
    EXPECT_FALSE(sim::music::listOnScreen());
    EXPECT_THROW(sim::music::closePicker(sim::music::PickerClose::done), sim::music::AppError);
    sim::music::openPicker();
    sim::music::closePicker(sim::music::PickerClose::silently);
    // The cancel and the second appearance; closing silently calls nothing.
    EXPECT_EQ(sim::callLog().size(), 2u);
    EXPECT_EQ(sim::callsOf("viewWillAppear:").size(), 1u);
}

TEST_F(MusicApp, LibraryAdditionsCompleteOnAnotherThreadOnlyWhenAsked) {
    MP::Item jude = sim::media::addSong("Hey Jude");
    MP::Playlist mix = sim::media::addPlaylist("Mix", {});
    static bool onOtherThread;
    static int completions;
    onOtherThread = false;
    completions = 0;
    NS::MutableArray items = NS::classNamed("NSMutableArray").send<NS::MutableArray>(sel<"array">());
    items.addObject(jude);
    mix.addMediaItems(items, ^(id error) {
        onOtherThread = !sim::onMainThread();
        completions += error == nullptr;
    });
    EXPECT_TRUE(sim::media::itemsOf(mix).empty());
    EXPECT_EQ(sim::media::pendingAdditions(), 1u);
    sim::media::completeAdditions();
    EXPECT_EQ(sim::media::itemsOf(mix), (std::vector<MP::Item>{jude}));
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(onOtherThread);
    EXPECT_EQ(sim::media::pendingAdditions(), 0u);
}

TEST_F(MusicApp, TheTransportButtonsOwnLayoutMakesItInteractive) {
    sim::music::transportButton().setUserInteractionEnabled(NO);
    sim::music::layoutTransport();
    EXPECT_TRUE(sim::music::transportInteractive());
}

// Dismissing the picker takes what was presented over it, an alert included, off the screen and
// lets it go, as UIKit does; no button's handler runs.
TEST_F(MusicApp, ClosingThePickerTakesAnAlertOverItAlong) {
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    int alertsBefore = sim::liveInstances("UIAlertController");
    {
        NS::AutoreleasePool inner;
        UI::AlertController alert = UI::AlertController::alertControllerWithTitle(NS::literal<"">(), NS::literal<"Up">(),
                                                                                  UI::AlertController::kStyleAlert);
        alert.addAction(UI::AlertAction::actionWithTitle(NS::literal<"Ok">(), 0, ^(id) { ADD_FAILURE(); }));
        sim::music::listOnScreen().viewControllerForAncestor().presentViewController(alert, YES, nullptr);
        EXPECT_EQ(sim::ui::alertOnScreen(), alert);
        sim::music::closePicker(sim::music::PickerClose::done);
        sim::settle();
    }
    EXPECT_FALSE(sim::ui::alertOnScreen());
    EXPECT_EQ(sim::liveInstances("UIAlertController"), alertsBefore);
}

TEST_F(MusicApp, ActionsThatTheScreenDoesNotAllowFail) {
    EXPECT_THROW(sim::music::openPicker(), sim::music::AppError);
    EXPECT_THROW(sim::music::tapEmpty(), sim::music::AppError);
    EXPECT_THROW(sim::music::openPlaylistPicker(), sim::music::AppError);
    sim::music::openPlaylist("Mix");
    sim::music::openPicker();
    EXPECT_THROW(sim::music::tapRow(0), sim::music::AppError);
}

} // namespace
