// Holds back a tap on a song that the playlist already has, and asks "Add Again" or "Skip".
#include "album_additions.hpp"
#include "app.hpp"
#include "state.hpp"

namespace {

using objc::Ref;

// The index path of the item under the event's touch, or nil.
objc::Object touchedIndexPath(UI::CollectionView view, UI::Event event) {
    UI::Touch touch = objc::as<UI::Touch>(event.allTouches().anyObject());
    return view.indexPathForItemAtPoint(touch.locationInView(view));
}

// Lets a touch end through to the list's own handling.
void passTouchEndOn(UI::CollectionView view, SEL cmd, NS::Set touches, UI::Event event) {
    callPrevious<&collectionViewTouchesEnded>(view, cmd, touches, event);
}

// A touch end held back while an alert asks: what "Add Again" needs to let it through, calling the
// saved implementation itself so that none of the guard's tests run again for it. The list is
// referred to, not owned (the alert must not keep a list alive); a handler that runs after the list
// went away does nothing with it.
struct HeldTouchEnd {
    objc::Weak<UI::CollectionView> view;
    SEL cmd;
    Ref<NS::Set> touches;
    Ref<UI::Event> event;

    HeldTouchEnd(UI::CollectionView view, SEL cmd, NS::Set touches, UI::Event event)
        : view(view), cmd(cmd), touches(Ref<NS::Set>::retain(touches)), event(Ref<UI::Event>::retain(event)) {}
    // Passes the touch end on to the list if it is still there, and gives the list (or nil).
    Ref<UI::CollectionView> passOn() const {
        Ref<UI::CollectionView> list = view.load();
        if (list) passTouchEndOn(list, cmd, touches, event);
        return list;
    }
};

// Asks "Add Again" or "Skip", "Skip" preferred, over the list's view controller.
void presentDuplicateAlert(UI::CollectionView view, NS::String message, UI::ActionHandler addAgain,
                           UI::ActionHandler skip) {
    UI::AlertController alert = app::makeAlert(message);
    UI::AlertAction skipAction = UI::AlertAction::actionWithTitle(NS::literal<"Skip">(), 0, skip);
    alert.addAction(UI::AlertAction::actionWithTitle(NS::literal<"Add Again">(), 0, addAgain));
    alert.addAction(skipAction);
    alert.setPreferredAction(skipAction);
    app::present(alert, view);
}

void raiseSongDuplicateAlert(UI::CollectionView view, SEL cmd, NS::Set touches, UI::Event event,
                             objc::Object indexPath) {
    HeldTouchEnd held(view, cmd, touches, event);
    Ref<objc::Object> keptIndexPath = Ref<objc::Object>::retain(indexPath);
    presentDuplicateAlert(
        view, NS::literal<"This song is already in your playlist.">(),
        ^(id) {
            held.passOn()->selectItemAtIndexPath(keptIndexPath, YES, 0);
        },
        nullptr);
}

// What a tap on a playlist of the playlist picker found: the playlist of the tapped name, whether it
// already holds the context item, and what the picker duplicate alert would say and add on "Skip".
struct PlaylistPick {
    Ref<MP::Playlist> playlist;
    bool holdsItem = false;
    NS::String message = NS::literal<"This song is already in your playlist.">();
    Ref<NS::MutableArray> missingSongs = NS::MutableArray::make();
    bool addMissingOnSkip = false;
};

PlaylistPick checkPlaylistPick(UI::View cell) {
    PlaylistPick pick;
    NS::String tappedName = app::title(cell);
    for (MP::Playlist playlist : NS::each<MP::Playlist>(MP::playlists()))
        if (app::sameTitle(playlist.name(), tappedName)) pick.playlist = Ref<MP::Playlist>::retain(playlist);
    if (tweakState.contextItemIsAlbum) {
        pick.holdsItem = pick.addMissingOnSkip = checkAlbum(pick.playlist, pick.missingSongs);
        pick.message = pick.holdsItem ? NS::literal<"This playlist already contains some songs from this album.">()
                                      : NS::literal<"This album is already in your playlist.">();
        return pick;
    }
    NS::String song = tweakState.contextItemTitle;
    for (MP::Item item : NS::each<MP::Item>(pick.playlist->items()))
        if (!NS::isEmpty(song) && app::sameTitle(item.title(), song) && tweakState.disable) pick.holdsItem = true;
    return pick;
}

void raisePickerDuplicateAlert(UI::CollectionView view, SEL cmd, NS::Set touches, UI::Event event, const PlaylistPick& pick) {
    HeldTouchEnd held(view, cmd, touches, event);
    Ref<MP::Playlist> keptPlaylist = pick.playlist;
    Ref<NS::MutableArray> missingSongs = pick.missingSongs;
    bool addMissingOnSkip = pick.addMissingOnSkip;
    presentDuplicateAlert(
        view, pick.message, ^(id) { held.passOn(); },
        ^(id) {
            if (addMissingOnSkip) addMissingSongs(keptPlaylist, missingSongs, held.view.load());
        });
}

} // namespace

void collectionViewTouchesBegan(UI::CollectionView self, SEL cmd, NS::Set touches, UI::Event event) {
    // A touch that was cancelled (a press that became a scroll) never reached a touch end: its flag
    // must not hold back the tap that follows.
    tweakState.pendingDuplicateTap = false;
    objc::Object indexPath = touchedIndexPath(self, event);
    if (!indexPath) return;
    UI::View cell = self.cellForItemAtIndexPath(indexPath);
    // A cell without a title (or no cell) is never held back.
    if (tweakState.targetPlaylistSongTitles.contains(app::title(cell))) {
        tweakState.pendingDuplicateTap = true;
        return;
    }
    callPrevious<&collectionViewTouchesBegan>(self, cmd, touches, event);
}

void collectionViewTouchesEnded(UI::CollectionView self, SEL cmd, NS::Set touches, UI::Event event) {
    objc::Object indexPath = touchedIndexPath(self, event);
    if (tweakState.disable && tweakState.pendingDuplicateTap) {
        raiseSongDuplicateAlert(self, cmd, touches, event, indexPath);
    } else if (indexPath) {
        UI::View cell = self.cellForItemAtIndexPath(indexPath);
        if (cell.isKindOfClass(app::songCellClass())) {
            passTouchEndOn(self, cmd, touches, event);
            // Remembered while the picker is open, so that a second tap on the song is caught.
            NS::String title = app::title(cell);
            if (title && tweakState.targetPlaylistSongTitles.count() > 0) tweakState.targetPlaylistSongTitles.append(title);
            tweakState.pendingDuplicateTap = false;
            return;
        }
        if (self.viewControllerForAncestor().isKindOfClass(app::playlistPickerClass())) {
            PlaylistPick pick = checkPlaylistPick(cell);
            if (pick.holdsItem) tweakState.pendingDuplicateTap = true;
            if (tweakState.pendingDuplicateTap) raisePickerDuplicateAlert(self, cmd, touches, event, pick);
        }
    }
    // A held-back touch ends here: swallowed (an alert, if any, is on screen now).
    if (tweakState.pendingDuplicateTap) {
        tweakState.pendingDuplicateTap = false;
        return;
    }
    passTouchEndOn(self, cmd, touches, event);
}
