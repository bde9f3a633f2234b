// The target playlist's song titles: which playlists contribute, in what order, and when the list
// is rebuilt, emptied or left alone.
#include "tweak_fixture.hpp"

namespace {

using sim::music::PickerClose;
using Titles = std::vector<std::string>;

class PlaylistTracking : public TweakTest {};

TEST_F(PlaylistTracking, EverySameNamedPlaylistContributesInLibraryOrderWithRepeats) {
    MP::Item a = sim::media::addSong("A"), b = sim::media::addSong("B"), c = sim::media::addSong("C");
    sim::media::addPlaylist("Trip", {a, b});
    sim::media::addPlaylist("Other", {c});
    sim::media::addPlaylist("Trip", {c, a, a});
    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    EXPECT_EQ(targetTitles(), (Titles{"A", "B", "C", "A", "A"}));
}

TEST_F(PlaylistTracking, NamesMatchLiterallyOnly) {
    MP::Item a = sim::media::addSong("A");
    sim::media::addPlaylist("Trip", {a});
    sim::media::addPlaylist("", {a});
    for (std::optional<std::string> header : {std::optional<std::string>("trip"), std::optional<std::string>("Trip "),
                                              std::optional<std::string>(""), std::optional<std::string>()}) {
        sim::music::openPlaylist(header);
        sim::music::openPicker();
        EXPECT_EQ(targetTitles(), Titles{}) << "header " << header.value_or("(none)");
    }
}

TEST_F(PlaylistTracking, ASongWithoutATitleIsLeftOut) {
    MP::Item a = sim::media::addSong("A"), untitled = sim::media::addSong(std::nullopt);
    sim::media::addPlaylist("Trip", {untitled, a, untitled});
    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    EXPECT_EQ(targetTitles(), Titles{"A"});
}

TEST_F(PlaylistTracking, TheListIsAbsentUntilThePickerAppearsAndAnEmptyListAfterItCloses) {
    sim::media::addPlaylist("Trip", {sim::media::addSong("A")});
    EXPECT_EQ(targetTitles(), std::nullopt);
    for (PickerClose how : {PickerClose::done, PickerClose::cancel, PickerClose::finish}) {
        sim::music::openPlaylist("Trip");
        sim::music::openPicker();
        EXPECT_EQ(targetTitles(), Titles{"A"});
        sim::music::closePicker(how);
        EXPECT_EQ(targetTitles(), Titles{});
    }
}

TEST_F(PlaylistTracking, APickerThatGoesAwaySilentlyLeavesTheListAndTheTitleOutlivesThePicker) {
    sim::media::addPlaylist("Trip", {sim::media::addSong("A")});
    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    sim::music::closePicker(PickerClose::silently);
    EXPECT_EQ(targetTitles(), Titles{"A"});
    EXPECT_EQ(text(tweakState.currentPlaylistTitle), "Trip");
}

TEST_F(PlaylistTracking, ARebuildStartsFromANewListAndLeavesTheOldOneAsItWas) {
    sim::media::addPlaylist("Trip", {sim::media::addSong("A")});
    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    tweakState.targetPlaylistSongTitles.append(NS::literal<"Appended">());
    objc::Ref<NS::MutableArray> old = objc::Ref<NS::MutableArray>::retain(tweakState.targetPlaylistSongTitles.list());

    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    EXPECT_EQ(targetTitles(), Titles{"A"});
    EXPECT_FALSE(tweakState.targetPlaylistSongTitles.list() == old.get());
    EXPECT_EQ(old->count(), 2u);
    EXPECT_FALSE(tweakState.targetPlaylistSongTitles.contains(NS::literal<"Appended">()));
}

TEST_F(PlaylistTracking, AHeaderWithoutTitleMakesTheTitleAbsent) {
    sim::media::addPlaylist("Trip", {sim::media::addSong("A")});
    sim::music::openPlaylist("Trip");
    sim::music::openPlaylist(std::nullopt);
    EXPECT_EQ(text(tweakState.currentPlaylistTitle), std::nullopt);
    sim::music::openPicker();
    EXPECT_EQ(targetTitles(), Titles{});
}

} // namespace
