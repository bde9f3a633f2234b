// The tweak's one process-wide record, shared by every replacement.
#pragma once

#include "hook_table.hpp"
#include "objc/system.hpp"

// The song titles of the target playlist, in playlist order and with their repeats, and beside
// them the same titles as a set, so that a membership test costs the same for any length of list.
// Absent until the first picker appears; an absent list contains nothing and counts 0.
class TargetTitles {
public:
    // Puts a new empty list in place; the old one is released, never emptied in place.
    void startAfresh() {
        list_ = NS::MutableArray::make();
        members_ = NS::MutableSet::make();
    }
    void append(NS::String title) const {
        list_->addObject(title);
        members_->addObject(title);
    }
    bool contains(NS::String title) const {
        return title && members_->containsObject(title);
    }
    NSUInteger count() const { return list_->count(); }
    NS::MutableArray list() const { return list_; }

private:
    objc::Ref<NS::MutableArray> list_;
    objc::Ref<NS::MutableSet> members_;
};

// What the playlist rows laid out in one turn of the main run loop have asked the media library
// (marking.cpp): one playlists query, the named playlists with their names, and the song titles of
// the playlists named like a row, fetched at the pass's first row of that title. Empty between
// passes.
struct PlaylistPass {
    objc::Ref<NS::MutableArray> playlists;
    objc::Ref<NS::MutableArray> names;
    objc::Ref<NS::MutableData> nameHashes; // an NSUInteger for each name
    objc::Ref<NS::MutableDictionary> songTitlesByRowTitle; // row title -> NSMutableArray of titles
};

struct TweakState {
    TargetTitles targetPlaylistSongTitles;
    PlaylistPass playlistPass;
    // Ends each pass; made at start-up and kept for the life of the process.
    CFRunLoopObserverRef playlistPassEnd;
    objc::Ref<NS::String> currentPlaylistTitle;
    objc::Ref<NS::String> contextItemTitle;
    bool contextItemIsAlbum;
    bool pendingDuplicateTap;
    bool enabled;
    bool disable;
    bool greyText;
    // One previous implementation for each replacement of the hook table, in its order.
    IMP previous[kReplacementCount];
};

// Zero-filled at load and never destroyed: it lives as long as the process.
extern TweakState tweakState;

// Calls the implementation that `replacement` took the place of, with the very same receiver,
// selector and arguments, as the replacement takes them: callPrevious<&songCellLayoutSubviews>(self,
// cmd). Every hooked method returns nothing.
template <auto replacement> struct Previous;
template <class... Parameters, void (*replacement)(Parameters...)> struct Previous<replacement> {
    static void call(Parameters... arguments) {
        constexpr int slot = slotOf<replacement>();
        static_assert(slot >= 0, "a replacement of the hook table");
        reinterpret_cast<void (*)(Parameters...)>(tweakState.previous[slot])(arguments...);
    }
};
template <auto replacement> constexpr auto callPrevious = &Previous<replacement>::call;
