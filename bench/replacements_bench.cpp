// What each replacement costs on top of the app's own work, as the library grows: every benchmark
// times the hooked method, sent through the runtime, and the implementation it replaced, called
// directly, on the same objects, and reports both per call and their ratio. The playlist picker's
// passes also report what they asked the media library. Last, the shipped bytes: the package's
// own music.dylib in the device core, whose replacements are counted in guest instructions and in
// calls that cross between guest and host. The goals that these figures must meet are checked at
// the end: a missed goal fails the run.
#include "sim/device_core/core.hpp"
#include "sim/device_core/package.hpp"
#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "sim/platform/call_log.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/uikit/uikit.hpp"
#include "tests/support/session.hpp"
#include "tweak/state.hpp"
#include "tweak/tweak.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
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
    support::writePreferences(std::string("<key>greyText</key>") + (greyText ? "<true/>" : "<false/>"));
    // The reload notification reaches whichever tweak runs, this process's or the shipped one.
    support::postReload();
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

// From the first shipped-bytes benchmark on, the app runs the package's arm64 binary in the device
// core instead of this process's own copy of the tweak: a new process, as a relaunch gives it.
void useShippedBytes() {
    static bool switched = false;
    if (switched) return;
    switched = true;
    Quiet quiet;
    support::quitWithOwnTweak();
    sim::device::usePackage(TWINLY_PACKAGE);
    sim::music::launch();
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

// Every row's layout in one turn of the main run loop, as a layout pass: through the runtime, and
// through the implementation that `replacement` replaced.
void layoutPass(const std::vector<UI::View>& rows) {
    sim::handleEvent([&rows] { for (UI::View row : rows) row.send(sel<"layoutSubviews">()); });
}
template <auto replacement> void previousLayoutPass(const std::vector<UI::View>& rows) {
    sim::handleEvent([&rows] { for (UI::View row : rows) callPrevious<replacement>(row, sel<"layoutSubviews">()); });
}

// The same as layoutThrough, each layout in a turn of the main run loop of its own, as a pass of one row.
template <auto replacement> void layoutInPasses(benchmark::State& state, const std::vector<UI::View>& rows) {
    compare(state, [&rows] { layoutPass(rows); }, [&rows] { previousLayoutPass<replacement>(rows); });
}

// What one pass asked the library, as counters.
void reportAskedPerPass(benchmark::State& state, const sim::media::Asked& asked) {
    state.counters["queries_per_pass"] = double(asked.playlistsQueries);
    state.counters["collections_per_pass"] = double(asked.collections);
    state.counters["playlists_fetched_per_pass"] = double(asked.playlistsFetched);
    state.counters["property_reads_per_pass"] = double(asked.propertyReads);
}

// ---- the goals, checked once every benchmark has run ----

struct Goal {
    std::string what;
    double figure;
    double limit;
    bool met;
};
std::vector<Goal>& goals() {
    static std::vector<Goal> list;
    return list;
}
// Benchmark calls a benchmark's function again until it has run long enough: its last run counts.
void checkGoal(const std::string& what, double figure, double limit, bool met) {
    for (Goal& goal : goals())
        if (goal.what == what) return void(goal = {what, figure, limit, met});
    goals().push_back({what, figure, limit, met});
}

// Prints each goal's figure; false when one was missed.
bool reportGoals() {
    bool allMet = true;
    std::printf("\nGoals (%zu checked)\n", goals().size());
    for (const Goal& goal : goals()) {
        std::printf("  %-4s %-72s %10.2f (limit %g)\n", goal.met ? "met" : "MISS", goal.what.c_str(), goal.figure,
                    goal.limit);
        allMet = allMet && goal.met;
    }
    return allMet;
}

// The floor of every figure: an empty call, timed as the others are (a clock read on each side
// and an autorelease pool around it).
void TimingFloor(benchmark::State& state) { compare(state, [] {}, [] {}); }
BENCHMARK(TimingFloor);

// ---- song and search-result rows: membership in a target list of N titles ----

// A song row asks the library nothing, whatever its size.
void SongRow(benchmark::State& state) {
    Quiet quiet;
    useLibrary({1, int(state.range(0))});
    setPreferences(true);
    openPickerOnFirstPlaylist();
    sim::media::takeAsked();
    layoutThrough<&songCellLayoutSubviews>(state, rowOnScreen(size_t(state.range(0)) - 1));
    sim::media::Asked asked = sim::media::takeAsked();
    double reads = double(asked.playlistsQueries + asked.playlistsFetched + asked.propertyReads);
    checkGoal("song rows unchanged: SongRow/" + std::to_string(state.range(0)) + " asks the library nothing",
              reads / double(state.iterations()), 0, reads == 0);
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

// "greyText" on and a context title, one row in a pass of its own: the pass's playlists query and
// every name, and the songs of the row's playlists. The row is the first, the middle or the last
// playlist; a row that dims matches the playlists' last song, one that does not matches none.
void DimmingPlaylistRow(benchmark::State& state) {
    Quiet quiet;
    int playlists = int(state.range(0)), songs = int(state.range(1));
    size_t row = size_t(state.range(2) * (playlists - 1) / 2);
    bool dims = state.range(3) != 0;
    useLibrary({playlists, songs});
    setPreferences(true);
    sim::music::showActions(dims ? "Song " + std::to_string(songs - 1) : "No such song", "Artist");
    sim::music::openPlaylistPicker();
    layoutInPasses<&playlistCellLayoutSubviews>(state, {rowOnScreen(row)});
}
BENCHMARK(DimmingPlaylistRow)
    ->ArgNames({"playlists", "songs", "row", "dims"})
    ->ArgsProduct({{10, 100, 1000}, {10, 1000}, {0, 1, 2}, {0, 1}});

double nanosecondsOf(const std::function<void()>& call) {
    Clock::time_point start = Clock::now();
    call();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// The playlist picker's first ten rows laid out together, in one turn of the main run loop, as
// the commit lays out the rows on screen: P playlists of S songs, the item the playlists' last
// song. One query is what the rule asked at every row before: the playlists query and every
// playlist's name, in a turn of its own as the pass is. The pass, the app's own pass and the query
// take turns, so that the machine's load weighs on all three alike, and each figure is the median.
void PlaylistPickerPass(benchmark::State& state) {
    Quiet quiet;
    int playlists = int(state.range(1)), songs = int(state.range(2));
    size_t rows = size_t(state.range(0));
    useLibrary({playlists, songs});
    setPreferences(true);
    sim::music::showActions("Song " + std::to_string(songs - 1), "Artist");
    sim::music::openPlaylistPicker();
    std::vector<UI::View> shown;
    for (size_t row = 0; row < rows; ++row) shown.push_back(rowOnScreen(row));
    auto pass = [&shown] { layoutPass(shown); };
    auto appPass = [&shown] { previousLayoutPass<&playlistCellLayoutSubviews>(shown); };
    auto query = [] {
        sim::handleEvent([] {
            for (MP::Playlist playlist : NS::each<MP::Playlist>(MP::playlists())) playlist.name();
        });
    };
    std::vector<double> passNs, appPassNs, queryNs;
    for (auto _ : state) {
        passNs.push_back(nanosecondsOf(pass));
        appPassNs.push_back(nanosecondsOf(appPass));
        queryNs.push_back(nanosecondsOf(query));
    }
    sim::media::takeAsked();
    pass();
    sim::media::Asked asked = sim::media::takeAsked();
    reportAskedPerPass(state, asked);
    double passToQuery = median(passNs) / median(queryNs);
    state.counters["pass_ns"] = median(passNs);
    state.counters["app_pass_ns"] = median(appPassNs);
    state.counters["ratio"] = median(passNs) / median(appPassNs);
    state.counters["query_ns"] = median(queryNs);
    state.counters["pass_to_query"] = passToQuery;

    std::string name = "PlaylistPickerPass/rows:" + std::to_string(rows) + "/playlists:" + std::to_string(playlists) +
                       "/songs:" + std::to_string(songs);
    double queries = double(asked.playlistsQueries), fetched = double(asked.playlistsFetched);
    checkGoal("one playlists query per pass: " + name, queries, 1, queries == 1);
    checkGoal("playlists fetched per pass, at most the distinct row titles: " + name, fetched, double(rows),
              fetched <= double(rows));
    if (playlists == 1000 && songs == 10)
        checkGoal("a pass costs at most twice one query: " + name + " (pass_to_query)", passToQuery, 2,
                  passToQuery <= 2);
}
BENCHMARK(PlaylistPickerPass)
    ->ArgNames({"rows", "playlists", "songs"})
    ->ArgsProduct({{10}, {10, 100, 1000}, {10, 1000}});

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

// ---- the shipped bytes ----

// Counts what `call` runs in the device core, per call: guest instructions and crossings between
// guest and host. Its first call (which registers selectors) is not counted, nor is `between`, which
// runs before each counted call.
void countCalls(benchmark::State& state, const std::function<void()>& call, const std::function<void()>& between = {}) {
    call();
    sim::device::Counts total{};
    for (auto _ : state) {
        if (between) between();
        NS::AutoreleasePool pool;
        sim::device::Counts before = sim::device::counts();
        call();
        sim::device::Counts after = sim::device::counts();
        total.instructions += after.instructions - before.instructions;
        total.crossings += after.crossings - before.crossings;
    }
    state.counters["guest_instructions"] = double(total.instructions) / double(state.iterations());
    state.counters["crossings"] = double(total.crossings) / double(state.iterations());
}

// The song row's counts at each size, to compare once both have run.
std::map<int64_t, double> shippedSongRowInstructions;

void ShippedSongRow(benchmark::State& state) {
    Quiet quiet;
    useShippedBytes();
    useLibrary({1, int(state.range(0))});
    setPreferences(true);
    openPickerOnFirstPlaylist();
    UI::View row = rowOnScreen(size_t(state.range(0)) - 1);
    countCalls(state, [row] { row.send(sel<"layoutSubviews">()); });
    shippedSongRowInstructions[state.range(0)] = state.counters["guest_instructions"];
}

void ShippedSearchRow(benchmark::State& state) {
    Quiet quiet;
    useShippedBytes();
    useLibrary({1, 10});
    setPreferences(true);
    openPickerOnFirstPlaylist();
    sim::music::search("Song 1");
    UI::View row = rowOnScreen(0);
    countCalls(state, [row] { row.send(sel<"layoutSubviews">()); });
}

// A row laid out alone in its pass, 10 playlists of 10 songs: the pass's query is its own.
void ShippedPlaylistRow(benchmark::State& state) {
    Quiet quiet;
    useShippedBytes();
    useLibrary({10, 10});
    setPreferences(true);
    sim::music::showActions("Song 9", "Artist");
    sim::music::openPlaylistPicker();
    UI::View row = rowOnScreen(0);
    countCalls(state, [row] { row.send(sel<"layoutSubviews">()); }, [] { sim::handleEvent([] {}); });
}

// What the tweak adds to a turn of the main run loop that lays nothing out: its observer, which ends
// the playlist rows' pass, hears each activity.
void ShippedRunLoopTurn(benchmark::State& state) {
    Quiet quiet;
    useShippedBytes();
    countCalls(state, [] { sim::handleEvent([] {}); });
}

// A tap on a new song of the add-music picker: the touch begins and ends through the list.
void ShippedTouch(benchmark::State& state, const char* selector) {
    Quiet quiet;
    useShippedBytes();
    useFreshLibrary({1, 10});
    sim::media::addSong("New");
    openPickerOnFirstPlaylist();
    Touch target;
    target.onRow(10);
    SEL sel = sel_registerName(selector);
    countCalls(state, [&target, sel] { target.send(sel); });
}
void ShippedTouchBegan(benchmark::State& state) { ShippedTouch(state, "touchesBegan:withEvent:"); }
void ShippedTouchEnded(benchmark::State& state) { ShippedTouch(state, "touchesEnded:withEvent:"); }

// Registered after every other benchmark, which all run with this process's own tweak.
void registerShippedBytes() {
    benchmark::RegisterBenchmark("ShippedBytes/SongRow", ShippedSongRow)->ArgName("titles")->Arg(10)->Arg(1000);
    benchmark::RegisterBenchmark("ShippedBytes/SearchRow", ShippedSearchRow);
    benchmark::RegisterBenchmark("ShippedBytes/PlaylistRow", ShippedPlaylistRow);
    benchmark::RegisterBenchmark("ShippedBytes/TouchBegan", ShippedTouchBegan);
    benchmark::RegisterBenchmark("ShippedBytes/TouchEnded", ShippedTouchEnded);
    benchmark::RegisterBenchmark("ShippedBytes/RunLoopTurn", ShippedRunLoopTurn);
}

void checkShippedSongRow() {
    if (shippedSongRowInstructions.size() < 2) return;
    double fewest = shippedSongRowInstructions.begin()->second, most = shippedSongRowInstructions.rbegin()->second;
    checkGoal("song rows unchanged: ShippedBytes/SongRow runs as many guest instructions at 10 and 1000 titles",
              most - fewest, 0, most == fewest);
}

} // namespace

int main(int argc, char** argv) {
    NS::AutoreleasePool pool;
    {
        Quiet quiet;
        sim::makeFreshRoot();
        support::launchWithOwnTweak();
    }
    sim::setCallLogging(false);
    registerShippedBytes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    checkShippedSongRow();
    bool met = reportGoals();
    Quiet quiet;
    sim::music::quit();
    sim::device::removePackage();
    sim::removeRoot();
    return met ? 0 : 1;
}
