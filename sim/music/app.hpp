// Layer sim/music: the Music app. It uses the frameworks (sim/uikit, sim/mediaplayer) and
// sim/platform.
//
// The simulated Music app: its classes (classes.hpp), its screens, and its processes. A launch
// defines the app's classes (once per host process), then the substrate loads the tweak, whose
// constructor hooks them, as on a device (sim/platform/process.hpp).
#pragma once

#include "objc/mediaplayer.hpp"
#include "objc/uikit.hpp"
#include "sim/platform/stand_in.hpp"
#include "sim/screens/screen.hpp"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim::music {

// An action the app cannot do in its current state (no such row, no picker open, ...).
struct AppError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct LaunchOptions {
    // Stand-in classes (of UIKit, MediaPlayer or the app) that this app does not have.
    ClassNames leftOut;
    // Gives Music.SongCell a setIsDisabled: of its own, which the tweak must leave in place.
    bool songCellHasOwnSetIsDisabled = false;
    std::string tweakPath = defaultTweakPath();

    static std::string defaultTweakPath();
};

// The classes that a launch can leave out (`LaunchOptions::leftOut`): those the app defines when it
// starts, its own and the ones of UIKit and MediaPlayerUI that it hooks into.
std::vector<std::string> classesALaunchCanLeaveOut();

// Starts the app and loads the tweak into it. The classes are defined at the first launch of the
// host process; later launches must leave out the same classes.
void launch(const LaunchOptions& options = {});
// Ends the app's process; throws when the tweak library stays loaded after dlclose.
void quit();
// Quits and launches again with the same options.
void relaunch();
bool running();
// Whether the tweak library is loaded in the host process.
bool tweakLoaded();

// ---- screens (each throws AppError when it cannot be done) ----
// Each is an event of the main run loop (run_loop.hpp): the app handles it, and the views it marks
// are laid out at the commit that follows (layout_commit.hpp), before the call returns.

void openPlaylist(const std::optional<std::string>& name);
void openPicker();
void search(const std::string& text);
enum class PickerClose { done, cancel, finish, silently };
void closePicker(PickerClose how);
void showSongActions(MP::Item song);
void showAlbumActions(MP::Collection album);
// A header with these texts; no subtitle gives a second arranged view that is not a stack view.
void showActions(const std::optional<std::string>& title, const std::optional<std::string>& subtitle);
void openPlaylistPicker();
void closePlaylistPicker();
enum class MarqueeContent { text, noText, image };
void layoutMarquee(MarqueeContent content, const std::string& text = "");
void layoutTransport();
// A layout pass of every row and header on screen. With `duringPass`, another process does that
// once the first `afterRows` rows are laid out, and the pass goes on.
void layoutScreen(size_t afterRows = 0, const std::function<void()>& duringPass = {});

// ---- touches on the rows of the topmost list, counted from 0 ----

// Each row's title, alpha and frame in the list, as its picture shows them too.
using Row = screens::ListRow;
std::vector<Row> rowsOnScreen();
// The topmost list: the search results, the add-music picker's or the playlist picker's.
UI::CollectionView listOnScreen();
void tapRow(size_t row);
void tapEmpty();
void dragRowToEmpty(size_t row);
void touchRowCancelled(size_t row);

UI::View transportButton();
bool transportInteractive();

// What the app shows now, for its picture; nothing while it is not running or shows none of its
// screens.
std::optional<screens::MusicScreen> screenShown();

} // namespace sim::music
