#include "album_additions.hpp"

#include "app.hpp"
#include "objc/system.hpp"
#include "state.hpp"

namespace {

MP::Collection albumTitled(NS::String title) {
    MP::Collection found;
    for (MP::Collection album : NS::each<MP::Collection>(MP::albums()))
        if (app::sameTitle(album.representativeItem().albumTitle(), title)) found = album;
    return found;
}

void presentMissingSongsNotice(UI::View anchor) {
    UI::AlertController notice = app::makeAlert(NS::literal<"Missing songs added.">());
    notice.addAction(UI::AlertAction::actionWithTitle(NS::literal<"Ok">(), 0, nullptr));
    app::present(notice, anchor);
}

using ListBox = sys::WeakBox<UI::CollectionView>;

void noticeOverListIfThere(void* context) {
    auto* box = static_cast<ListBox*>(context);
    if (objc::Ref<UI::CollectionView> shown = box->load()) presentMissingSongsNotice(shown);
    ListBox::destroy(box);
}

} // namespace

bool checkAlbum(MP::Playlist playlist, NS::MutableArray missingSongs) {
    bool found = false;
    for (MP::Item song : NS::each<MP::Item>(albumTitled(tweakState.contextItemTitle).items())) {
        // The very media item, not a song of the same title; the playlist is asked afresh each time.
        if (playlist.items().containsObject(song)) found = true;
        else missingSongs.addObject(song);
    }
    return found;
}

void addMissingSongs(MP::Playlist playlist, NS::Array missingSongs, UI::CollectionView list) {
    // The library completes on a thread of its own and lets go of the completion there, so the
    // completion holds nothing of UIKit, nor a weak reference to it: a copy of one retains the list
    // for a moment, and that thread could then be the last to release it. It holds the list's
    // weak box as a plain pointer, which goes to the main queue, where alone the box is loaded and
    // freed. A list that has gone in the meantime (the picker closed) gets no notice. Whatever the
    // outcome, the user is told the songs went in, as the library reports no useful error.
    ListBox* box = ListBox::make(list);
    if (box == nullptr) { // no memory for it: the songs go in all the same, without a notice
        playlist.addMediaItems(missingSongs, nullptr);
        return;
    }
    playlist.addMediaItems(missingSongs, ^(id) { sys::runOnMainQueue(box, noticeOverListIfThere); });
}
