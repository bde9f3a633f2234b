// Dims the rows of what is already added, and keeps the transport button from taking touches.
#include "app.hpp"
#include "objc/mediaplayer.hpp"
#include "state.hpp"

namespace {

// Every layout pass of a song row ends at 0.5 or 1.0, whatever the row's own layout set.
void markSongRow(UI::View row) {
    bool added = tweakState.greyText && tweakState.targetPlaylistSongTitles.contains(app::title(row));
    app::setIsDisabled(row, added ? YES : NO);
}

} // namespace

void songCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious<&songCellLayoutSubviews>(self, cmd);
    markSongRow(self);
}

void searchResultCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious<&searchResultCellLayoutSubviews>(self, cmd);
    markSongRow(self);
}

// A playlist row dims when a playlist of its name holds a song titled like the context item. It
// never undims: the row keeps its alpha until something else changes it.
void playlistCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious<&playlistCellLayoutSubviews>(self, cmd);
    NS::String item = tweakState.contextItemTitle;
    // Nothing can dim: spare the library walk.
    if (!tweakState.greyText || NS::isEmpty(item)) return;
    NS::String rowTitle = app::title(self);
    for (MP::Playlist playlist : NS::each<MP::Playlist>(MP::playlists())) {
        if (!app::sameTitle(playlist.name(), rowTitle)) continue;
        for (MP::Item song : NS::each<MP::Item>(playlist.items())) {
            if (app::sameTitle(song.title(), item)) {
                // Dimmed rows stay dimmed, so the first match settles the pass.
                app::setIsDisabled(self, YES);
                return;
            }
        }
    }
}

void transportButtonLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious<&transportButtonLayoutSubviews>(self, cmd);
    self.setUserInteractionEnabled(NO);
}

void cellSetIsDisabled(UI::View self, SEL, BOOL disabled) { self.setAlpha(disabled ? 0.5 : 1.0); }
