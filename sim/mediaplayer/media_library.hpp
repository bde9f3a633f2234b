// Layer sim/mediaplayer: the device's media library and MediaPlayer's stand-ins over it. It uses
// sim/platform only.
//
// MPMediaPlaylist's addMediaItems:completionHandler: completes at `completeAdditions`. Every query
// (collections, items, representativeItem) gives fresh objects, equal to the library's own
// (isEqual:, hash) by persistent ID and never the same object; two songs of one title stay two
// songs. The functions below give and take the library's own objects. The library outlives the
// Music app's process (a relaunch keeps it); `reset` empties it.
#pragma once

#include "objc/mediaplayer.hpp"
#include "sim/platform/stand_in.hpp"

#include <optional>
#include <string>
#include <vector>

namespace sim::media {

// MediaPlayer's classes, defined before the library is first filled.
extern Catalogue classes;

// Empties the library and forgets pending additions and what was asked.
void reset();

MP::Item addSong(const std::optional<std::string>& title);
// An album whose songs report `title` as their album title.
MP::Collection addAlbum(const std::string& title, const std::vector<MP::Item>& songs);
MP::Playlist addPlaylist(const std::string& name, const std::vector<MP::Item>& items);

// In library order.
std::vector<MP::Item> songs();
std::vector<MP::Playlist> playlists();
std::vector<MP::Collection> albums();
std::vector<MP::Item> itemsOf(MP::Collection collection);
// The `which`th playlist of that name, counted from 1; nil when there is none.
MP::Playlist playlistNamed(const std::string& name, size_t which = 1);
std::optional<std::string> nameOf(MP::Playlist playlist);
std::optional<std::string> titleOf(MP::Item item);
std::optional<std::string> albumTitleOf(MP::Collection album);

// An addition the app makes itself: the items are in the playlist when it returns.
void appendToPlaylist(MP::Playlist playlist, const std::vector<MP::Item>& items);

// Additions asked for through addMediaItems:completionHandler: and not completed yet.
size_t pendingAdditions();
// Completes every pending addition on another thread, as the media library does: the items join
// the playlist and the completion is called there with a nil error; the main queue then runs what
// the completions brought, and the library releases them on its thread. Returns when all is done.
void completeAdditions();
// Fails every pending addition the same way: nothing joins the playlists, each completion gets an error.
void failAdditions();
// The process that asked went away: the library still adds the items, but the completions, which
// belong to that process, are neither called nor released (a process that ends runs no release).
void abandonCompletions();

// What the app has asked of the library through MediaPlayer's classes since the last call: the
// playlists queries run, the collections they and every other query materialised, the playlists
// whose items were fetched, and the properties read (of items and playlists).
struct Asked {
    size_t playlistsQueries = 0;
    size_t collections = 0;
    size_t playlistsFetched = 0;
    size_t propertyReads = 0;
};
Asked takeAsked();

// Reports what the library adds (the runner puts it in the transcript).
using AdditionReport = void (*)(const std::string& playlist, const std::vector<std::string>& titles);
void setAdditionReport(AdditionReport report);

} // namespace sim::media
