// Which playlist the add-music picker adds to, and the titles of the songs it already holds.
#include "app.hpp"
#include "objc/mediaplayer.hpp"
#include "state.hpp"

namespace {

// The titles of the songs of every playlist named `name`, in library order, repeats kept. A song
// without a title cannot be compared with any row, so it is left out.
void rebuildTargetTitles(NS::String name) {
    NS::Array playlists = MP::playlists();
    tweakState.targetPlaylistSongTitles.startAfresh();
    if (NS::isEmpty(name)) return;
    for (MP::Playlist playlist : NS::each<MP::Playlist>(playlists)) {
        if (!app::sameTitle(playlist.name(), name)) continue;
        for (MP::Item item : NS::each<MP::Item>(playlist.items())) {
            NS::String title = item.title();
            if (title) tweakState.targetPlaylistSongTitles.append(title);
        }
    }
}

} // namespace

void playlistHeaderLayoutSubviews(UI::View self, SEL cmd) {
    tweakState.currentPlaylistTitle = objc::Ref<NS::String>::retain(app::titleText(self));
    callPrevious<&playlistHeaderLayoutSubviews>(self, cmd);
}

void mediaPickerViewWillAppear(UI::ViewController self, SEL cmd, BOOL animated) {
    rebuildTargetTitles(tweakState.currentPlaylistTitle);
    callPrevious<&mediaPickerViewWillAppear>(self, cmd, animated);
}

void mediaPickerFinish(UI::ViewController self, SEL cmd) {
    tweakState.targetPlaylistSongTitles.startAfresh();
    callPrevious<&mediaPickerFinish>(self, cmd);
}

void mediaPickerCancelTapped(UI::ViewController self, SEL cmd) {
    tweakState.targetPlaylistSongTitles.startAfresh();
    callPrevious<&mediaPickerCancelTapped>(self, cmd);
}

void mediaPickerDoneTapped(UI::ViewController self, SEL cmd) {
    tweakState.targetPlaylistSongTitles.startAfresh();
    callPrevious<&mediaPickerDoneTapped>(self, cmd);
}
