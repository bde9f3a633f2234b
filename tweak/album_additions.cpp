#include "album_additions.hpp"

#include "host.hpp"
#include "objc/system.hpp"
#include "state.hpp"

namespace {

MP::Collection albumTitled(NS::String title) {
    MP::Collection found;
    for (MP::Collection album : NS::each<MP::Collection>(MP::albums()))
        if (host::sameTitle(album.representativeItem().albumTitle(), title)) found = album;
    return found;
}

void presentMissingSongsNotice(UI::View anchor) {
    UI::AlertController notice = host::makeAlert(NS::literal<"Missing songs added.">());
    notice.addAction(UI::AlertAction::actionWithTitle(NS::literal<"Ok">(), 0, nullptr));
    host::present(notice, anchor);
}

} // namespace

bool checkAlbum(MP::Playlist playlist, NS::MutableArray missingSongs) {
    bool found = false;
    for (MP::Item song : NS::each<MP::Item>(albumTitled(tweakState.contextItemTitle).items())) {
        // The very media item, not a song of the same title; the playlist is asked afresh each time.
        if (playlist.items().containsObject(song)) {
            found = true;
            tweakState.pendingDuplicateTap = true;
        } else {
            missingSongs.addObject(song);
        }
    }
    return found;
}

void addMissingSongs(MP::Playlist playlist, NS::Array missingSongs, objc::Ref<UI::View> anchor) {
    // The library may complete on any thread; UIKit is touched on the main thread only. Whatever
    // the outcome, the user is told the songs went in, as the library reports no useful error.
    playlist.addMediaItems(missingSongs, ^(id) {
        sys::runOnMainQueue(^{ presentMissingSongsNotice(anchor); });
    });
}
