// MediaPlayer: the media library's queries, playlists, items and album collections.
#pragma once

#include "foundation.hpp"

extern "C" {
// Property names that MediaPlayer exports as string constants.
extern id MPMediaPlaylistPropertyName;
extern id MPMediaItemPropertyTitle;
extern id MPMediaItemPropertyAlbumTitle;
}

namespace MP {

using NS::String;
using objc::Object;
using objc::sel;

// Completion of an addition: called once, on a thread of the library's choosing, with an error or nil.
using AdditionCompletion = void (^)(id error);

struct Item : Object {
    using Object::Object;
    String title() const { return send<String>(sel<"valueForProperty:">(), MPMediaItemPropertyTitle); }
    String albumTitle() const { return send<String>(sel<"valueForProperty:">(), MPMediaItemPropertyAlbumTitle); }
};

struct Collection : Object {
    using Object::Object;
    NS::Array items() const { return send<NS::Array>(sel<"items">()); }
    Item representativeItem() const { return send<Item>(sel<"representativeItem">()); }
};

struct Playlist : Collection {
    using Collection::Collection;
    String name() const { return send<String>(sel<"valueForProperty:">(), MPMediaPlaylistPropertyName); }
    void addMediaItems(NS::Array items, AdditionCompletion completion) const {
        send(sel<"addMediaItems:completionHandler:">(), items, completion);
    }
};

// Each query is made anew: the library may change between two calls.
inline NS::Array playlists() {
    return NS::classNamed("MPMediaQuery").send<Object>(sel<"playlistsQuery">()).send<NS::Array>(sel<"collections">());
}
inline NS::Array albums() {
    return NS::classNamed("MPMediaQuery").send<Object>(sel<"albumsQuery">()).send<NS::Array>(sel<"collections">());
}

} // namespace MP
