// What each replacement costs on top of the app's own work, as the library grows: every benchmark
// times the hooked method, sent through the runtime, and the implementation it replaced, called
// directly, on the same objects, and reports both per call and their ratio.
#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "sim/platform/call_log.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/uikit/uikit.hpp"
#include "tweak/state.hpp"
#include "tweak/tweak.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

// A library of `playlists` playlists named "Playlist 0", "Playlist 1", ... each holding the same
// `songs` songs, "Song 0", "Song 1", ...
struct Library {
    int playlists;
    int songs;
    bool operator==(const Library&) const = default;
};
// What the library holds now; none after a benchmark changed it.
std::optional<Library> builtLibrary;

void buildLibrary(Library wanted) {
    NS::AutoreleasePool pool;
    sim::media::reset();
    std::vector<MP::Item> songs;
    for (int i = 0; i < wanted.songs; ++i) songs.push_back(sim::media::addSong("Song " + std::to_string(i)));
    for (int i = 0; i < wanted.playlists; ++i) sim::media::addPlaylist("Playlist " + std::to_string(i), songs);
    builtLibrary = wanted;
}

// For benchmarks that only read the library: built again only when the shape changes.
void useLibrary(Library wanted) {
    if (builtLibrary != wanted) buildLibrary(wanted);
}

// For benchmarks whose taps make the app add to the library: built afresh for every run.
void useFreshLibrary(Library wanted) {
    buildLibrary(wanted);
    builtLibrary.reset();
}

void setPreferences(bool greyText) {
    sim::writeFile("/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist",
                   std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>greyText</key>") +
                       (greyText ? "<true/>" : "<false/>") + "</dict></plist>");
    loadPreferences(nullptr, nullptr, nullptr, nullptr, nullptr);
}

using Clock = std::chrono::steady_clock;

// The simulator narrates what it shows; the benchmarks' own report is all that should be printed.
class Quiet {
public:
    Quiet() : saved_(std::cout.rdbuf(nullptr)) {}
    ~Quiet() { std::cout.rdbuf(saved_); }

private:
    std::streambuf* saved_;
};

double nanosecondsPerCall(int64_t calls, const std::function<void()>& prepare, const std::function<void()>& call) {
    Clock::duration total{};
    for (int64_t i = 0; i < calls; ++i) {
        if (prepare) prepare();
        NS::AutoreleasePool pool;
        Clock::time_point start = Clock::now();
        call();
        total += Clock::now() - start;
    }
    return std::chrono::duration<double, std::nano>(total).count() / double(calls);
}

// Times `hooked` in the benchmark's loop, then `previous` as often, each call inside its own
// autorelease pool as the run loop gives it; `prepare`, if any, runs untimed before every call.
void compare(benchmark::State& state, const std::function<void()>& hooked, const std::function<void()>& previous,
             const std::function<void()>& prepare = {}) {
    Clock::duration hookedTotal{};
    for (auto _ : state) {
        if (prepare) {
            state.PauseTiming();
            prepare();
            state.ResumeTiming();
        }
        NS::AutoreleasePool pool;
        Clock::time_point start = Clock::now();
        hooked();
        hookedTotal += Clock::now() - start;
    }
    double hookedNs = std::chrono::duration<double, std::nano>(hookedTotal).count() / double(state.iterations());
    double previousNs = nanosecondsPerCall(state.iterations(), prepare, previous);
    state.counters["hooked_ns"] = hookedNs;
    state.counters["previous_ns"] = previousNs;
    state.counters["ratio"] = hookedNs / previousNs;
}

// The add-music picker over the page of "Playlist 0", whose songs are the target list.
void openPickerOnFirstPlaylist() {
    sim::music::openPlaylist("Playlist 0");
    sim::music::openPicker();
}

UI::View rowOnScreen(size_t row) {
    UI::CollectionView list = sim::music::listOnScreen();
    Object indexPath = NS::classNamed("NSIndexPath").send<Object>(sel<"indexPathForItem:inSection:">(), NSInteger(row),
                                                                  NSInteger(0));
    return list.cellForItemAtIndexPath(indexPath);
}

template <auto replacement> void layoutThrough(benchmark::State& state, UI::View row) {
    compare(
        state, [row] { row.send(sel<"layoutSubviews">()); },
        [row] { callPrevious<replacement>(row, sel<"layoutSubviews">()); });
}

// The floor of every figure: an empty call, timed as the others are (a clock read on each side
// and an autorelease pool around it).
void TimingFloor(benchmark::State& state) { compare(state, [] {}, [] {}); }
BENCHMARK(TimingFloor);

// ---- song and search-result rows: membership in a target list of N titles ----

void SongRow(benchmark::State& state) {
    Quiet quiet;
    useLibrary({1, int(state.range(0))});
    setPreferences(true);
    openPickerOnFirstPlaylist();
    layoutThrough<&songCellLayoutSubviews>(state, rowOnScreen(size_t(state.range(0)) - 1));
}
BENCHMARK(SongRow)->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000);

void SearchResultRow(benchmark::State& state) {
    Quiet quiet;
    useLibrary({1, int(state.range(0))});
    setPreferences(true);
    openPickerOnFirstPlaylist();
    sim::music::search("Song 1");
    layoutThrough<&searchResultCellLayoutSubviews>(state, rowOnScreen(0));
}
BENCHMARK(SearchResultRow)->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000);

// ---- playlist rows: P playlists of S songs ----

// Nothing can dim: "greyText" off, or no context title.
void PlaylistRow(benchmark::State& state) {
    Quiet quiet;
    int playlists = int(state.range(0)), songs = int(state.range(1));
    bool greyText = state.range(2) != 0, titled = state.range(3) != 0;
    useLibrary({playlists, songs});
    setPreferences(greyText);
    sim::music::showActions(titled ? "Song 0" : "", "Artist");
    sim::music::openPlaylistPicker();
    layoutThrough<&playlistCellLayoutSubviews>(state, rowOnScreen(0));
}
BENCHMARK(PlaylistRow)
    ->ArgNames({"playlists", "songs", "greyText", "titled"})
    ->Apply([](benchmark::internal::Benchmark* benchmark) {
        for (int playlists : {10, 100, 1000})
            for (int songs : {10, 100, 1000})
                for (auto [greyText, titled] : {std::pair{0, 0}, std::pair{0, 1}, std::pair{1, 0}})
                    benchmark->Args({playlists, songs, greyText, titled});
    });

// "greyText" on and a context title: the row's pass compares the names of the playlists up to its
// own (all of them for a row that does not dim) and reads its playlist's songs up to the first
// titled like the item. The row is the first, the middle or the last playlist; a row that dims
// matches the playlists' last song, one that does not reads all songs for nothing.
void DimmingPlaylistRow(benchmark::State& state) {
    Quiet quiet;
    int playlists = int(state.range(0)), songs = int(state.range(1));
    size_t row = size_t(state.range(2) * (playlists - 1) / 2);
    bool dims = state.range(3) != 0;
    useLibrary({playlists, songs});
    setPreferences(true);
    sim::music::showActions(dims ? "Song " + std::to_string(songs - 1) : "No such song", "Artist");
    sim::music::openPlaylistPicker();
    layoutThrough<&playlistCellLayoutSubviews>(state, rowOnScreen(row));
    state.counters["names_compared"] = double(dims ? row + 1 : playlists);
}
BENCHMARK(DimmingPlaylistRow)
    ->ArgNames({"playlists", "songs", "row", "dims"})
    ->ArgsProduct({{10, 100, 1000}, {10, 1000}, {0, 1, 2}, {0, 1}});

// ---- the picker's rebuild: every playlist's name, the items of those named like the page ----

void PickerRebuild(benchmark::State& state) {
    Quiet quiet;
    useLibrary({int(state.range(0)), int(state.range(1))});
    openPickerOnFirstPlaylist();
    Ref<UI::ViewController> picker =
        Ref<UI::ViewController>::adopt(NS::classNamed("Music.MediaPickerNavigationController").send<UI::ViewController>(sel<"new">()));
    UI::ViewController shown = picker;
    compare(
        state, [shown] { shown.send(sel<"viewWillAppear:">(), NO); },
        [shown] { callPrevious<&mediaPickerViewWillAppear>(shown, sel<"viewWillAppear:">(), NO); });
    state.counters["playlists"] = double(state.range(0));
    state.counters["matching_songs"] = double(state.range(1));
}
BENCHMARK(PickerRebuild)->ArgNames({"playlists", "songs"})->ArgsProduct({{10, 100, 1000}, {10, 100, 1000}});

// ---- touches ----

// A touch on a row of the list on screen, made again whenever the list is.
struct Touch {
    UI::CollectionView list;
    Ref<UI::Touch> touch;
    Ref<UI::Event> event;

    void onRow(size_t row) {
        list = sim::music::listOnScreen();
        CGRect frame = rowOnScreen(row).frame();
        touch = sim::ui::makeTouch(CGPoint{frame.origin.x + frame.size.width / 2, frame.origin.y + frame.size.height / 2},
                                   list);
        event = sim::ui::makeEvent(touch);
    }
    void send(SEL sel) const { list.send(sel, event->allTouches(), event.get()); }
    template <auto replacement> void sendToPrevious(SEL sel) const {
        callPrevious<replacement>(list, sel, event->allTouches(), event.get());
    }
};

template <auto replacement>
void touchThrough(benchmark::State& state, Touch& target, const char* selector, const std::function<void()>& prepare = {}) {
    SEL sel = sel_registerName(selector);
    compare(
        state, [&target, sel] { target.send(sel); }, [&target, sel] { target.sendToPrevious<replacement>(sel); }, prepare);
    tweakState.pendingDuplicateTap = false;
}

void TouchBeganOnDuplicate(benchmark::State& state) {
    Quiet quiet;
    useLibrary({1, int(state.range(0))});
    openPickerOnFirstPlaylist();
    Touch target;
    target.onRow(size_t(state.range(0)) - 1);
    touchThrough<&collectionViewTouchesBegan>(state, target, "touchesBegan:withEvent:");
}
BENCHMARK(TouchBeganOnDuplicate)->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000);

// A new song passes: the app adds it to the playlist, and the tweak remembers its title.
void TouchEndedOnNewSong(benchmark::State& state) {
    Quiet quiet;
    useFreshLibrary({1, int(state.range(0))});
    sim::media::addSong("New");
    openPickerOnFirstPlaylist();
    Touch target;
    target.onRow(size_t(state.range(0)));
    touchThrough<&collectionViewTouchesEnded>(state, target, "touchesEnded:withEvent:");
}
BENCHMARK(TouchEndedOnNewSong)->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000);

// A duplicate whose touch began held back: the user is asked; the alert is taken away untimed
// before the next call.
void TouchEndedOnDuplicate(benchmark::State& state) {
    Quiet quiet;
    useFreshLibrary({1, int(state.range(0))});
    openPickerOnFirstPlaylist();
    Touch target;
    target.onRow(0);
    touchThrough<&collectionViewTouchesEnded>(state, target, "touchesEnded:withEvent:", [] {
        sim::ui::dismissAll();
        sim::settle();
        tweakState.pendingDuplicateTap = true;
    });
}
BENCHMARK(TouchEndedOnDuplicate)->Arg(10)->Arg(100000);

// A tap in the playlist picker, whose own handling closes it: it is opened again, untimed, with
// the rows' dimming off, which is not what this measures and would make every opening walk the library.
void tapInPlaylistPicker(benchmark::State& state, const std::function<void()>& open) {
    setPreferences(false);
    open();
    Touch target;
    target.onRow(0);
    touchThrough<&collectionViewTouchesEnded>(state, target, "touchesEnded:withEvent:", [&] {
        sim::ui::dismissAll();
        sim::settle();
        if (sim::music::listOnScreen() == target.list) return;
        open();
        target.onRow(0);
    });
}

// A playlist that already holds the song: one query, the names of all playlists, the songs of the
// one tapped.
void TouchEndedInPlaylistPicker(benchmark::State& state) {
    Quiet quiet;
    useFreshLibrary({int(state.range(0)), int(state.range(1))});
    tapInPlaylistPicker(state, [] {
        sim::music::showActions("Song 0", "Artist");
        sim::music::openPlaylistPicker();
    });
    state.counters["playlists"] = double(state.range(0));
    state.counters["matching_songs"] = double(state.range(1));
}
BENCHMARK(TouchEndedInPlaylistPicker)
    ->ArgNames({"playlists", "songs"})
    ->ArgsProduct({{10, 100, 1000}, {10, 1000}})
    ->Iterations(1000);

// An album of 30 songs, half of them in the tapped playlist.
void TouchEndedForAlbum(benchmark::State& state) {
    Quiet quiet;
    useFreshLibrary({0, 0});
    std::vector<MP::Item> album, half;
    for (int i = 0; i < 30; ++i) {
        album.push_back(sim::media::addSong("Track " + std::to_string(i)));
        if (i % 2 == 0) half.push_back(album.back());
    }
    sim::media::addAlbum("Record", album);
    sim::media::addPlaylist("Half", half);
    tapInPlaylistPicker(state, [] {
        sim::music::showAlbumActions(sim::media::albums().front());
        sim::music::openPlaylistPicker();
    });
}
BENCHMARK(TouchEndedForAlbum)->Iterations(1000);

} // namespace

int main(int argc, char** argv) {
    NS::AutoreleasePool pool;
    {
        Quiet quiet;
        sim::makeFreshRoot();
        sim::music::LaunchOptions options;
        options.tweakPath = EMPTY_TWEAK;
        sim::music::launch(options);
    }
    startTweak();
    sim::setCallLogging(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Quiet quiet;
    sim::music::quit();
    sim::removeRoot();
    return 0;
}
