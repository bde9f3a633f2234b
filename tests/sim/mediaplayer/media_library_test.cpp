// MediaPlayer as the device's is: every query hands out new objects, equal to the earlier ones by
// persistent ID only, and an addition completes on the library's thread, which lets go of the
// completion there, after the main queue has run what the completion brought. What the app asks of
// it is counted.
#include "sim/mediaplayer/media_library.hpp"
#include "sim/platform/run_loop.hpp"

#include "objc/system.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using objc::Object;
using objc::sel;

class MediaLibrary : public ::testing::Test {
protected:
    void SetUp() override { sim::media::classes.define(); }
    void TearDown() override { sim::media::reset(); }
    NS::AutoreleasePool pool;
};

NSUInteger hashOf(Object object) { return object.send<NSUInteger>(sel<"hash">()); }
bool equal(Object a, Object b) { return a.send<BOOL>(sel<"isEqual:">(), b); }

TEST_F(MediaLibrary, EveryQueryGivesFreshObjectsEqualByPersistentID) {
    MP::Item one = sim::media::addSong("One"), same = sim::media::addSong("One");
    sim::media::addPlaylist("Mix", {one});
    sim::media::addAlbum("Record", {one, same});
    MP::Playlist first = objc::as<MP::Playlist>(MP::playlists().objectAtIndex(0));
    MP::Playlist again = objc::as<MP::Playlist>(MP::playlists().objectAtIndex(0));
    EXPECT_NE(first, again);
    EXPECT_TRUE(equal(first, again));
    EXPECT_EQ(hashOf(first), hashOf(again));

    MP::Collection album = objc::as<MP::Collection>(MP::albums().objectAtIndex(0));
    Object held = first.items().objectAtIndex(0);
    EXPECT_NE(held, Object(one));
    EXPECT_NE(album.representativeItem(), album.representativeItem());
    EXPECT_TRUE(equal(held, album.representativeItem()));
    // A song of the same title is another song; the very song is found by equality.
    EXPECT_FALSE(equal(album.items().objectAtIndex(1), held));
    EXPECT_TRUE(again.items().containsObject(album.items().objectAtIndex(0)));
    EXPECT_FALSE(again.items().containsObject(album.items().objectAtIndex(1)));

    // An addition through a fresh playlist object lands in the library's playlist.
    again.addMediaItems(album.items(), nullptr);
    sim::media::completeAdditions();
    EXPECT_EQ(sim::media::itemsOf(sim::media::playlists().front()), (std::vector<MP::Item>{one, one, same}));
}

// What the app asks is counted: the playlists queries, the collections that any query makes, the
// playlists whose items it fetches (an album's do not count) and each property read.
TEST_F(MediaLibrary, CountsWhatTheAppAsksUntilTaken) {
    MP::Item one = sim::media::addSong("One"), two = sim::media::addSong("Two");
    sim::media::addPlaylist("Mix", {one, two});
    sim::media::addPlaylist("Solo", {two});
    sim::media::addAlbum("Record", {one});
    sim::media::takeAsked();
    for (MP::Playlist playlist : NS::each<MP::Playlist>(MP::playlists())) playlist.name();
    for (MP::Item song : NS::each<MP::Item>(objc::as<MP::Playlist>(MP::playlists().objectAtIndex(0)).items()))
        song.title();
    objc::as<MP::Collection>(MP::albums().objectAtIndex(0)).items();
    sim::media::Asked asked = sim::media::takeAsked();
    EXPECT_EQ(asked.playlistsQueries, 2u);
    EXPECT_EQ(asked.collections, 5u);
    EXPECT_EQ(asked.playlistsFetched, 1u);
    EXPECT_EQ(asked.propertyReads, 4u);
    EXPECT_EQ(sim::media::takeAsked().propertyReads, 0u);
}

// Destroyed with each copy of the block that holds it: records where and when.
struct ReleaseWatch {
    struct Seen {
        bool onMainThread, afterMainWork;
    };
    std::vector<Seen>* seen;
    const bool* mainWorkRan;
    ReleaseWatch(std::vector<Seen>* seen, const bool* mainWorkRan) : seen(seen), mainWorkRan(mainWorkRan) {}
    ReleaseWatch(const ReleaseWatch& other) = default;
    ~ReleaseWatch() { seen->push_back({sim::onMainThread(), *mainWorkRan}); }
};

TEST_F(MediaLibrary, CompletesOnItsThreadAndReleasesTheCompletionThereAfterTheMainQueueRan) {
    MP::Playlist mix = sim::media::addPlaylist("Mix", {});
    std::vector<ReleaseWatch::Seen> seen;
    bool mainWorkRan = false, calledOnMain = true;
    bool* ran = &mainWorkRan;
    bool* called = &calledOnMain;
    {
        ReleaseWatch watch(&seen, &mainWorkRan);
        mix.addMediaItems(NS::MutableArray::make().get(), ^(id) {
            (void)watch;
            *called = sim::onMainThread();
            sys::runOnMainQueue(^{ *ran = true; });
        });
    }
    size_t releasedBefore = seen.size();
    sim::media::completeAdditions();
    EXPECT_FALSE(calledOnMain);
    ASSERT_GT(seen.size(), releasedBefore);
    EXPECT_FALSE(seen.back().onMainThread);
    EXPECT_TRUE(seen.back().afterMainWork);
}

} // namespace
