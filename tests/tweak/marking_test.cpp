// Song rows anywhere in the app are judged against the target playlist's titles at every layout pass.
#include "tweak_fixture.hpp"

#include "objc/class_builder.hpp"

namespace {

using objc::Ref;
using objc::sel;
using sim::music::PickerClose;

// A song row outside the picker, showing a title of the test's choosing.
Ref<NS::String> shownTitle;

NS::String rowTitle(objc::Object, SEL) { return shownTitle; }

Ref<UI::View> songRowElsewhere(const char* title) {
    static Class row = objc::ClassBuilder("TestSongRowElsewhere", objc::lookUpClass("Music.SongCell"))
                           .method<&rowTitle>(sel<"title">())
                           .registerClass();
    shownTitle = NS::String::make(title);
    return Ref<UI::View>::adopt(objc::classObject(row).send<UI::View>(sel<"new">()));
}

class Marking : public TweakTest {};

TEST_F(Marking, EveryPassEndsAtHalfOrFullWhateverTheRowHad) {
    sim::media::addPlaylist("Trip", {sim::media::addSong("A")});
    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    Ref<UI::View> listed = songRowElsewhere("A");
    listed->setAlpha(0.8);
    listed->send(sel<"layoutSubviews">());
    EXPECT_EQ(listed->alpha(), 0.5);
    Ref<UI::View> other = songRowElsewhere("a");
    other->setAlpha(0.2);
    other->send(sel<"layoutSubviews">());
    EXPECT_EQ(other->alpha(), 1.0);
}

TEST_F(Marking, RowsElsewhereFollowTheListUntilThePickerClosesThroughItsOwnWays) {
    sim::media::addPlaylist("Trip", {sim::media::addSong("A")});
    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    sim::music::closePicker(PickerClose::silently);
    Ref<UI::View> row = songRowElsewhere("A");
    row->send(sel<"layoutSubviews">());
    EXPECT_EQ(row->alpha(), 0.5);

    sim::music::openPlaylist("Trip");
    sim::music::openPicker();
    sim::music::closePicker(PickerClose::cancel);
    row->send(sel<"layoutSubviews">());
    EXPECT_EQ(row->alpha(), 1.0);
}

} // namespace
