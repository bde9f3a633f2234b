// Dims the rows of what is already added, and keeps the transport button from taking touches.
#include "host.hpp"
#include "hooks.hpp"
#include "objc/mediaplayer.hpp"

namespace {

// Every layout pass of a song row ends at 0.5 or 1.0, whatever the row's own layout set.
void markSongRow(UI::View row) {
    bool added = tweakState.greyText && tweakState.targetPlaylistSongTitles.contains(host::title(row));
    host::setIsDisabled(row, added ? YES : NO);
}

} // namespace

void songCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious(kSongCellLayout, self, cmd);
    markSongRow(self);
}

void searchResultCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious(kSearchResultCellLayout, self, cmd);
    markSongRow(self);
}

// A playlist row dims when a playlist of its name holds a song titled like the context item. It
// never undims: the row keeps its alpha until something else changes it.
void playlistCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious(kPlaylistCellLayout, self, cmd);
    NS::String item = tweakState.contextItemTitle;
    // Nothing can dim: spare the library walk.
    if (!tweakState.greyText || NS::isEmpty(item)) return;
    NS::String rowTitle = host::title(self);
    for (MP::Playlist playlist : NS::each<MP::Playlist>(MP::playlists())) {
        if (!host::sameTitle(playlist.name(), rowTitle)) continue;
        for (MP::Item song : NS::each<MP::Item>(playlist.items())) {
            if (host::sameTitle(song.title(), item)) {
                // Dimmed rows stay dimmed, so the first match settles the pass.
                host::setIsDisabled(self, YES);
                return;
            }
        }
    }
}

void transportButtonLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious(kTransportButtonLayout, self, cmd);
    self.setUserInteractionEnabled(NO);
}

void cellSetIsDisabled(UI::View self, SEL, BOOL disabled) { self.setAlpha(disabled ? 0.5 : 1.0); }
