// Dims the rows of what is already added, and keeps the transport button from taking touches.
#include "app.hpp"
#include "objc/mediaplayer.hpp"
#include "state.hpp"
#include "tweak.hpp"

namespace {

// Every layout pass of a song row ends at 0.5 or 1.0, whatever the row's own layout set.
void markSongRow(UI::View row) {
    bool added = tweakState.greyText && tweakState.targetPlaylistSongTitles.contains(app::title(row));
    app::setIsDisabled(row, added ? YES : NO);
}

// A pass ends at the main run loop's next activity. Core Animation lays out every row it commits
// inside one observer callout, at BeforeWaiting; the run loop tells its observers at the start of
// every turn, before waiting and after waking (CFRunLoop.c, __CFRunLoopRun and
// __CFRunLoopDoObservers, CF-1153.18), so rows laid out in one callout share a pass and no two
// turns do. Work queued on the main queue would end a pass too late: a turn handles its touches
// before the queue (same place), so such a pass could span a touch of the next turn.
void endPlaylistPass(CFRunLoopObserverRef, CFOptionFlags, void*) { tweakState.playlistPass = PlaylistPass{}; }

// The pass's one playlists query: each name is read once, and its hash kept, so that a row compares
// in full only the names of its own hash (equal strings have equal hashes). A playlist without a
// name matches no row.
void beginPlaylistPass() {
    PlaylistPass& pass = tweakState.playlistPass;
    NS::Array playlists = MP::playlists();
    pass.playlists = NS::MutableArray::make();
    pass.names = NS::MutableArray::make();
    pass.nameHashes = NS::MutableData::make(playlists.count() * sizeof(NSUInteger));
    pass.songTitlesByRowTitle = NS::MutableDictionary::make();
    auto* hashes = static_cast<NSUInteger*>(pass.nameHashes->mutableBytes());
    for (MP::Playlist playlist : NS::each<MP::Playlist>(playlists)) {
        NS::String name = playlist.name();
        if (!name) continue;
        if (hashes) hashes[pass.names->count()] = name.hash();
        pass.playlists->addObject(playlist);
        pass.names->addObject(name);
    }
}

// Whether `title` is among `titles`, as isEqualToString: with the listed title as the receiver
// decides; hashes first.
bool containsTitle(NS::Array titles, NS::String title) {
    NSUInteger hash = title.hash();
    for (NS::String listed : NS::each<NS::String>(titles))
        if (listed.hash() == hash && app::sameTitle(listed, title)) return true;
    return false;
}

// The titles of the songs of every playlist named `rowTitle`, in library order: each playlist's
// songs are fetched at the pass's first row of its name, and only then. (Without memory for the
// hashes, every name is compared in full.)
NS::Array songTitlesOfPlaylistsNamed(NS::String rowTitle) {
    PlaylistPass& pass = tweakState.playlistPass;
    if (auto known = objc::as<NS::Array>(pass.songTitlesByRowTitle->objectForKey(rowTitle))) return known;
    objc::Ref<NS::MutableArray> titles = NS::MutableArray::make();
    const auto* hashes = static_cast<const NSUInteger*>(pass.nameHashes->mutableBytes());
    NSUInteger hash = rowTitle.hash(), count = pass.names->count();
    for (NSUInteger index = 0; index < count; ++index) {
        if (hashes && hashes[index] != hash) continue;
        if (!app::sameTitle(objc::as<NS::String>(pass.names->objectAtIndex(index)), rowTitle)) continue;
        for (MP::Item song : NS::each<MP::Item>(objc::as<MP::Playlist>(pass.playlists->objectAtIndex(index)).items()))
            if (NS::String title = song.title()) titles->addObject(title);
    }
    pass.songTitlesByRowTitle->setObjectForKey(titles.get(), rowTitle);
    return titles.get();
}

} // namespace

// Made at start-up, so that it already hears the commit of the first pass, and after every other
// observer of the same activity, so that a pass ends right after Core Animation's commit and holds
// nothing while the thread sleeps. In the common modes, it also hears the turns of modes that
// become common later, as UIKit's tracking mode does (CFRunLoopAddCommonMode, CF-1153.18).
void observePlaylistPasses() {
    constexpr CFIndex kLastOrder = __LONG_MAX__;
    tweakState.playlistPassEnd =
        CFRunLoopObserverCreate(nullptr, kCFRunLoopAllActivities, YES, kLastOrder, endPlaylistPass, nullptr);
    if (tweakState.playlistPassEnd)
        CFRunLoopAddObserver(CFRunLoopGetMain(), tweakState.playlistPassEnd, kCFRunLoopCommonModes);
}

void songCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious<&songCellLayoutSubviews>(self, cmd);
    markSongRow(self);
}

void searchResultCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious<&searchResultCellLayoutSubviews>(self, cmd);
    markSongRow(self);
}

// A playlist row dims when a playlist of its name holds a song titled like the context item. It
// never undims: the row keeps its alpha until something else changes it. The rows laid out in one
// pass share what the library answered; the item and "greyText" are read at each row.
void playlistCellLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious<&playlistCellLayoutSubviews>(self, cmd);
    NS::String item = tweakState.contextItemTitle;
    // Nothing can dim: spare the library walk.
    if (!tweakState.greyText || NS::isEmpty(item)) return;
    NS::String rowTitle = app::title(self);
    if (!rowTitle) return;
    if (!tweakState.playlistPass.playlists) beginPlaylistPass();
    if (containsTitle(songTitlesOfPlaylistsNamed(rowTitle), item)) app::setIsDisabled(self, YES);
    // Without an observer to end it, a pass is this row alone.
    if (!tweakState.playlistPassEnd) tweakState.playlistPass = PlaylistPass{};
}

void transportButtonLayoutSubviews(UI::View self, SEL cmd) {
    callPrevious<&transportButtonLayoutSubviews>(self, cmd);
    self.setUserInteractionEnabled(NO);
}

void cellSetIsDisabled(UI::View self, SEL, BOOL disabled) { self.setAlpha(disabled ? 0.5 : 1.0); }
