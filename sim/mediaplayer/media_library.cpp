#include "sim/mediaplayer/media_library.hpp"

#include "sim/platform/objects.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"

#include <Block.h>

#include <future>
#include <thread>
#include <utility>

// MediaPlayer's property names, exported for the tweak, which links against them.
SIM_EXPORT id MPMediaPlaylistPropertyName = nullptr;
SIM_EXPORT id MPMediaItemPropertyTitle = nullptr;
SIM_EXPORT id MPMediaItemPropertyAlbumTitle = nullptr;

namespace sim::media {

constinit Catalogue classes{Threads::any};

namespace {

id makeConstant(const char* text) { return NS::String::make(text).get().retain(); }

__attribute__((constructor)) void defineProperties() {
    MPMediaPlaylistPropertyName = makeConstant("name");
    MPMediaItemPropertyTitle = makeConstant("title");
    MPMediaItemPropertyAlbumTitle = makeConstant("albumTitle");
}

// Every object of the library has a persistent ID; the library's own objects are the records, and
// each query hands out fresh objects equal to them by that ID, as MediaPlayer does.
using PersistentID = unsigned long long;
PersistentID nextPersistentID = 1;

struct ItemState {
    Ref<String> title;
    Ref<String> albumTitle;
    PersistentID persistentID = 0;
};
ItemState& item(id self) { return state<ItemState>(self); }

// Albums and playlists alike: a titled, ordered list of items.
struct CollectionState {
    Ref<String> title;
    std::vector<Ref<MP::Item>> items;
    PersistentID persistentID = 0;
    Ref<Object> record; // for a fresh object: the library's own collection it stands for
};
CollectionState& ownState(id self) { return state<CollectionState>(self); }
// The library's record of the collection, whichever object of it `self` is.
CollectionState& collection(id self) {
    Object record = ownState(self).record;
    return record ? ownState(record.raw) : ownState(self);
}

struct QueryState {
    bool playlists = false;
};

struct PendingAddition {
    Ref<MP::Playlist> playlist;
    std::vector<Ref<MP::Item>> items;
    MP::AdditionCompletion completion; // a copy, released once done with
};

struct Library {
    std::vector<Ref<MP::Item>> songs;
    std::vector<Ref<MP::Collection>> albums;
    std::vector<Ref<MP::Playlist>> playlists;
    std::vector<PendingAddition> pending;
};
Library& library() {
    static Library shared;
    return shared;
}

AdditionReport additionReport = nullptr;
Asked asked;

// The objects that references keep, and references that keep objects.
template <class T> std::vector<T> objectsOf(const std::vector<Ref<T>>& kept) {
    std::vector<T> objects;
    for (const Ref<T>& each : kept) objects.push_back(each.get());
    return objects;
}
template <class T> std::vector<Ref<T>> keep(const std::vector<T>& objects) {
    std::vector<Ref<T>> kept;
    for (T each : objects) kept.push_back(Ref<T>::retain(each));
    return kept;
}

bool isProperty(id property, id constant) { return String(property).isEqualToString(String(constant)); }

id itemValueForProperty(id self, SEL, id property) {
    ++asked.propertyReads;
    if (isProperty(property, MPMediaItemPropertyTitle)) return item(self).title.get().raw;
    if (isProperty(property, MPMediaItemPropertyAlbumTitle)) return item(self).albumTitle.get().raw;
    return nullptr;
}

// A new item object for the library's item `record`.
id freshItem(id record) {
    Object made(NS::classNamed("MPMediaItem").send<id>(sel<"new">()));
    item(made.raw) = item(record);
    return made.autorelease();
}

// A new collection object (of the record's class) for the library's collection `record`.
id freshCollection(id record) {
    ++asked.collections;
    Object made(objc::classObject(objc::classOf(record)).send<id>(sel<"new">()));
    ownState(made.raw).record = Ref<Object>::retain(Object(record));
    ownState(made.raw).persistentID = ownState(record).persistentID;
    return made.autorelease();
}

// An autoreleased array of new objects standing for the library's `records`.
template <class T> id freshObjects(const std::vector<Ref<T>>& records, id (*freshObject)(id)) {
    auto fresh = NS::MutableArray::make();
    for (const auto& record : records) fresh->addObject(Object(freshObject(record.get().raw)));
    return autoreleased(fresh).raw;
}

// Equal by persistent ID within a kind of object, never by identity.
BOOL itemIsEqual(id self, SEL, id other) {
    return other && Object(other).isKindOfClass(objc::lookUpClass("MPMediaItem")) &&
           item(self).persistentID == item(other).persistentID;
}
NSUInteger itemHash(id self, SEL) { return NSUInteger(item(self).persistentID); }
BOOL collectionIsEqual(id self, SEL, id other) {
    return other && Object(other).isKindOfClass(objc::lookUpClass("MPMediaItemCollection")) &&
           ownState(self).persistentID == ownState(other).persistentID;
}
NSUInteger collectionHash(id self, SEL) { return NSUInteger(ownState(self).persistentID); }

const StandIn<ItemState> kMPMediaItem{classes, "MPMediaItem", "NSObject",
                                      {method<itemValueForProperty>("valueForProperty:"),
                                       method<itemIsEqual>("isEqual:"),
                                       method<itemHash>("hash")}};

id collectionItems(id self, SEL) {
    if (Object(self).isKindOfClass(objc::lookUpClass("MPMediaPlaylist"))) ++asked.playlistsFetched;
    return freshObjects(collection(self).items, freshItem);
}
id collectionRepresentativeItem(id self, SEL) {
    const auto& items = collection(self).items;
    return items.empty() ? nullptr : freshItem(items.front().get().raw);
}

const StandIn<CollectionState> kMPMediaItemCollection{classes, "MPMediaItemCollection", "NSObject",
                                                      {method<collectionItems>("items"),
                                                       method<collectionRepresentativeItem>("representativeItem"),
                                                       method<collectionIsEqual>("isEqual:"),
                                                       method<collectionHash>("hash")}};

id playlistValueForProperty(id self, SEL, id property) {
    ++asked.propertyReads;
    if (isProperty(property, MPMediaPlaylistPropertyName)) return collection(self).title.get().raw;
    return nullptr;
}

void report(MP::Playlist playlist, const std::vector<Ref<MP::Item>>& items) {
    if (additionReport == nullptr) return;
    std::vector<std::string> titles;
    for (const auto& added : items) titles.push_back(titleOf(added).value_or("(no title)"));
    additionReport(nameOf(playlist).value_or("(no name)"), titles);
}

void append(MP::Playlist playlist, const std::vector<Ref<MP::Item>>& items) {
    auto& held = collection(playlist.raw).items;
    held.insert(held.end(), items.begin(), items.end());
    report(playlist, items);
}

// The library's own item equal to `given`, or `given` itself when the library has none.
MP::Item recordOf(MP::Item given) {
    for (const auto& song : library().songs)
        if (item(song.get().raw).persistentID == item(given.raw).persistentID) return song.get();
    return given;
}

MP::Playlist recordOf(MP::Playlist given) {
    Object record = ownState(given.raw).record;
    return record ? MP::Playlist(record.raw) : given;
}

void playlistAddMediaItems(id self, SEL, id items, MP::AdditionCompletion completion) {
    PendingAddition addition{Ref<MP::Playlist>::retain(recordOf(MP::Playlist(self))), {}, nullptr};
    for (MP::Item added : NS::each<MP::Item>(Object(items)))
        addition.items.push_back(Ref<MP::Item>::retain(recordOf(added)));
    if (completion) addition.completion = Block_copy(completion);
    library().pending.push_back(std::move(addition));
}

const StandIn<> kMPMediaPlaylist{classes, "MPMediaPlaylist", "MPMediaItemCollection",
                                 {method<playlistValueForProperty>("valueForProperty:"),
                                  method<playlistAddMediaItems>("addMediaItems:completionHandler:")}};

id queryPlaylists(id cls, SEL) { return autoreleasedWithState(cls, QueryState{.playlists = true}); }
id queryAlbums(id cls, SEL) { return autoreleasedWithState(cls, QueryState{.playlists = false}); }
id queryCollections(id self, SEL) {
    if (!state<QueryState>(self).playlists) return freshObjects(library().albums, freshCollection);
    ++asked.playlistsQueries;
    return freshObjects(library().playlists, freshCollection);
}

const StandIn<QueryState> kMPMediaQuery{classes, "MPMediaQuery", "NSObject",
                                        {classMethod<queryPlaylists>("playlistsQuery"),
                                         classMethod<queryAlbums>("albumsQuery"),
                                         method<queryCollections>("collections")}};

std::vector<PendingAddition> takePending() {
    std::vector<PendingAddition> taken;
    taken.swap(library().pending);
    return taken;
}

} // namespace

void reset() {
    for (PendingAddition& addition : takePending())
        if (addition.completion) Block_release(addition.completion);
    library() = Library();
    asked = Asked();
}

MP::Item addSong(const std::optional<std::string>& title) {
    auto song = make<MP::Item>("MPMediaItem");
    item(song.get().raw).title = stringOf(title);
    item(song.get().raw).persistentID = nextPersistentID++;
    library().songs.push_back(song);
    return song;
}

// A new collection of the library, of that class, with these items.
template <class T> T addCollection(std::vector<Ref<T>>& into, const char* className, const std::string& title,
                                   const std::vector<MP::Item>& items) {
    Ref<T> made = make<T>(className);
    collection(made.get().raw) = {String::make(title.c_str()), keep(items), nextPersistentID++, {}};
    into.push_back(made);
    return made.get();
}

MP::Collection addAlbum(const std::string& title, const std::vector<MP::Item>& songs) {
    MP::Collection album = addCollection(library().albums, "MPMediaItemCollection", title, songs);
    for (MP::Item song : songs) item(song.raw).albumTitle = collection(album.raw).title;
    return album;
}

MP::Playlist addPlaylist(const std::string& name, const std::vector<MP::Item>& items) {
    return addCollection(library().playlists, "MPMediaPlaylist", name, items);
}

std::vector<MP::Item> songs() { return objectsOf(library().songs); }
std::vector<MP::Playlist> playlists() { return objectsOf(library().playlists); }
std::vector<MP::Collection> albums() { return objectsOf(library().albums); }
std::vector<MP::Item> itemsOf(MP::Collection of) { return objectsOf(collection(of.raw).items); }

MP::Playlist playlistNamed(const std::string& name, size_t which) {
    for (const Ref<MP::Playlist>& playlist : library().playlists)
        if (nameOf(playlist.get()) == name && --which == 0) return playlist.get();
    return MP::Playlist();
}

std::optional<std::string> nameOf(MP::Playlist playlist) { return sim::text(collection(playlist.raw).title.get()); }
std::optional<std::string> titleOf(MP::Item song) { return sim::text(item(song.raw).title.get()); }
std::optional<std::string> albumTitleOf(MP::Collection album) { return sim::text(collection(album.raw).title.get()); }

void appendToPlaylist(MP::Playlist playlist, const std::vector<MP::Item>& items) { append(playlist, keep(items)); }

size_t pendingAdditions() { return library().pending.size(); }

namespace {

// The library lets go of the completions on its own thread too, and only after the main queue has
// run what they brought: the worst order for a completion that holds the last reference to
// something that must die on the main thread.
void finishAdditions(bool succeed) {
    std::vector<PendingAddition> additions = takePending();
    if (additions.empty()) return;
    std::promise<void> completed, drained;
    std::future<void> whenCompleted = completed.get_future(), whenDrained = drained.get_future();
    std::thread library([&] {
        ForeignThread thread;
        for (PendingAddition& addition : additions) {
            id error = nullptr;
            if (succeed) {
                append(addition.playlist, addition.items);
            } else {
                error = NS::classNamed("NSError").send<id>(sel<"errorWithDomain:code:userInfo:">(),
                                                           NS::literal<"MPErrorDomain">(), NSInteger(1), nullptr);
            }
            if (addition.completion) addition.completion(error);
        }
        completed.set_value();
        whenDrained.wait();
        for (PendingAddition& addition : additions)
            if (addition.completion) Block_release(addition.completion);
    });
    whenCompleted.wait();
    settle();
    drained.set_value();
    library.join();
}

} // namespace

void completeAdditions() { finishAdditions(true); }

void failAdditions() { finishAdditions(false); }

void abandonCompletions() {
    // Kept for the life of the host process, as the memory of an ended process is gone without any
    // release: what a completion refers to (a box of the tweak's own heap) stays as it was left.
    [[clang::no_destroy]] static std::vector<MP::AdditionCompletion> abandoned;
    for (PendingAddition& addition : takePending()) {
        append(addition.playlist, addition.items);
        if (addition.completion) abandoned.push_back(addition.completion);
    }
}

Asked takeAsked() { return std::exchange(asked, Asked()); }

void setAdditionReport(AdditionReport reportTo) { additionReport = reportTo; }

} // namespace sim::media
