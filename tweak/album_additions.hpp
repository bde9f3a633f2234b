// Adding an album to a playlist that already holds some of its songs.
#pragma once

#include "objc/mediaplayer.hpp"
#include "objc/uikit.hpp"

// Sorts the songs of the album titled like the context item (the last of that title): returns
// whether `playlist` holds any of them, and appends the others to `missingSongs`, in album order.
bool checkAlbum(MP::Playlist playlist, NS::MutableArray missingSongs);

// Adds the missing songs to the playlist, then confirms over the list's controller if the list is
// still there; `list` is referred to, not kept.
void addMissingSongs(MP::Playlist playlist, NS::Array missingSongs, UI::CollectionView list);
