// The Music app's commands and expectations, and the choice of the device it runs on.
#include "sim/device_core/loader.hpp"
#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "sim/platform/process.hpp"
#include "sim/script/commands.hpp"
#include "sim/uikit/collection_view.hpp"
#include "sim/uikit/uikit.hpp"

#include <algorithm>

namespace sim {

namespace {

// What the next launch of this file leaves out of the app; fixed once the app has launched.
music::LaunchOptions launchOptions;
bool launchedInThisFile = false;

// The alert on screen after the previous line, so that a new one goes into the transcript.
id alertReported = nullptr;

// `leave out class "NAME"`: the Music app of another release, without that class.
void leaveOutClass(Words& words) {
    std::string name = words.text("a class name");
    words.end();
    if (launchedInThisFile) throw ScriptError("expected leave out class before launch, found it after");
    std::vector<std::string> known = music::classesALaunchCanLeaveOut();
    if (std::find(known.begin(), known.end(), name) == known.end()) {
        std::string listed;
        for (const std::string& each : known) listed += (listed.empty() ? "" : ", ") + each;
        throw ScriptError("expected a class that the Music app defines (" + listed + "), found \"" + name + "\"");
    }
    launchOptions.leftOut.insert(name);
    transcript("  device: the Music app of another release, without " + name);
}

// `device "MODEL"` and `ios "RELEASE"`, before launch: the model and release that the run simulates,
// chosen once both are stated (or at launch, the other one the default's).
std::optional<std::string> statedModel, statedRelease;

void chooseStatedDevice() {
    device::Device byDefault = device::defaultDevice();
    try {
        chooseDevice(device::deviceNamed(statedModel.value_or(byDefault.model->name),
                                         statedRelease.value_or(device::versionName(byDefault.release))));
    } catch (const std::invalid_argument& error) {
        throw ScriptError(error.what());
    }
    const device::Device& chosen = runningDevice();
    transcript(std::string("  device: ") + chosen.model->name + " (" + chosen.model->processor + ") on iOS " +
               device::versionName(chosen.release));
}

void state(Words& words, std::optional<std::string>& stated, const char* command, const char* what) {
    std::string text = words.text(what);
    words.end();
    if (launchedInThisFile) throw ScriptError(std::string("expected ") + command + " before launch, found it after");
    stated = text;
    if (statedModel && statedRelease) chooseStatedDevice();
}
void stateModel(Words& words) { state(words, statedModel, "device", "a model name"); }
void stateRelease(Words& words) { state(words, statedRelease, "ios", "an iOS release"); }

void launch(Words& words) {
    words.end();
    if (!launchedInThisFile && statedModel.has_value() != statedRelease.has_value()) chooseStatedDevice();
    launchedInThisFile = true;
    music::launch(launchOptions);
}

void openPlaylist(Words& words) {
    std::optional<std::string> name = words.textOrNone("a playlist name");
    words.end();
    music::openPlaylist(name);
}

void search(Words& words) {
    std::string text = words.text("a search text");
    words.end();
    music::search(text);
}

void closePicker(Words& words) {
    auto how = music::PickerClose(words.oneOf({"done", "cancel", "finish", "silently"}));
    words.end();
    music::closePicker(how);
}

void actions(Words& words) {
    if (words.skip("album")) {
        std::string title = words.text("an album title");
        words.end();
        for (MP::Collection album : media::albums())
            if (media::albumTitleOf(album) == title) return music::showAlbumActions(album);
        throw ScriptError("expected an album titled \"" + title + "\", found none");
    }
    if (words.skip("title")) {
        std::optional<std::string> title = words.textOrNone("a title");
        words.expect("subtitle");
        std::optional<std::string> subtitle = words.textOrNone("a subtitle");
        words.end();
        return music::showActions(title, subtitle);
    }
    MP::Item item = song(words.word("a song ID, album or title"));
    words.end();
    music::showSongActions(item);
}

void marquee(Words& words) {
    if (words.nextIsQuoted()) {
        std::string text = words.text("the marquee's text");
        words.end();
        return music::layoutMarquee(music::MarqueeContent::text, text);
    }
    bool image = words.oneOf({"none", "image"});
    words.end();
    music::layoutMarquee(image ? music::MarqueeContent::image : music::MarqueeContent::noText);
}

size_t rowShowing(const std::string& title) {
    std::vector<music::Row> rows = music::rowsOnScreen();
    for (size_t row = 0; row < rows.size(); ++row)
        if (rows[row].title == title) return row;
    throw ScriptError("expected a row showing \"" + title + "\" on screen, found " +
                      (rows.empty() ? std::string("no rows") : std::to_string(rows.size()) + " other rows"));
}

void tap(Words& words) {
    if (words.skip("empty")) {
        words.end();
        return music::tapEmpty();
    }
    std::optional<size_t> numbered = words.numbered("a row number");
    size_t row = numbered ? *numbered - 1 : rowShowing(words.text("a row title or #N"));
    words.end();
    music::tapRow(row);
}

void drag(Words& words) {
    size_t row = rowShowing(words.text("a row title"));
    words.expect("to");
    words.expect("empty");
    words.end();
    music::dragRowToEmpty(row);
}

void touch(Words& words) {
    size_t row = rowShowing(words.text("a row title"));
    words.expect("cancelled");
    words.end();
    music::touchRowCancelled(row);
}

void layout(Words& words) {
    words.end();
    music::layoutScreen();
}

// `layout after row N` and a library command (song, album or playlist) that another process runs once
// row N is laid out.
void layoutWithChange(Words& words) {
    size_t row = words.count("a row number");
    Line change = words.rest();
    bool libraryCommand = !change.tokens.empty() && !change.tokens[0].quoted &&
                          (change.tokens[0].text == "song" || change.tokens[0].text == "album" ||
                           change.tokens[0].text == "playlist");
    if (!libraryCommand) throw ScriptError("expected a library command (song, album or playlist) after the row number");
    music::layoutScreen(row, [change] {
        runLine(change);
        transcript("  library: another process changes it during the pass");
    });
}

void press(Words& words) {
    std::string button = words.text("a button title");
    words.end();
    UI::AlertController alert = ui::alertOnScreen();
    if (!alert) throw ScriptError("expected an alert on screen to press \"" + button + "\", found none");
    std::vector<std::string> offered = ui::contentOf(alert).buttons;
    transcript("  user: presses \"" + button + "\"");
    if (!ui::pressAlertButton(button))
        throw ScriptError("expected a button \"" + button + "\" on the alert, found " +
                          (offered.empty() ? "none" : quotedList(offered, " ")));
}

// ---- expectations ----

void expectAlert(Words& words) {
    std::string message = words.text("the alert's message");
    words.expect("buttons");
    std::vector<std::string> buttons;
    while (words.nextIsQuoted()) buttons.push_back(words.text("a button"));
    bool checkPreferred = words.skip("preferred");
    std::optional<std::string> preferred = checkPreferred ? words.textOrNone("the preferred button") : std::nullopt;
    words.end();

    std::string expected = "an alert with an empty title, message \"" + message + "\" and buttons";
    if (!buttons.empty()) expected += " " + quotedList(buttons, " ");
    if (checkPreferred) expected += ", preferred " + quotedOrNone(preferred);
    UI::AlertController alert = ui::alertOnScreen();
    if (!alert) throw ScriptError("expected " + expected + ", found no alert");
    screens::Alert content = ui::contentOf(alert);
    std::string found = "title " + quotedOrNone(content.title) + ", message " + quotedOrNone(content.message) + ", buttons";
    if (!content.buttons.empty()) found += " " + quotedList(content.buttons, " ");
    found += ", preferred " + quotedOrNone(content.preferred) + ", style " + std::to_string(content.style);
    bool holds = content.title == std::string() && content.message == message && content.buttons == buttons &&
                 content.style == UI::AlertController::kStyleAlert &&
                 (!checkPreferred || content.preferred == preferred);
    if (!holds) throw ScriptError("expected " + expected + ", found " + found);
}

void expectNoAlert(Words& words) {
    words.end();
    if (UI::AlertController alert = ui::alertOnScreen())
        throw ScriptError("expected no alert, found the alert " + quotedOrNone(ui::contentOf(alert).message));
}

void expectPlaylist(Words& words) {
    std::string name = words.text("a playlist name");
    // "Name"#2 names the second playlist of that name.
    size_t which = words.numbered("a playlist number").value_or(1);
    std::vector<MP::Item> expected;
    if (words.skip("empty")) words.end();
    while (!words.atEnd()) expected.push_back(song(words.word("a song ID")));
    std::string label = "\"" + name + "\"" + (which > 1 ? "#" + std::to_string(which) : "");
    MP::Playlist found = media::playlistNamed(name, which);
    auto listed = [](const std::vector<MP::Item>& items) {
        std::string text;
        for (MP::Item item : items) text += " " + idOf(item);
        return items.empty() ? std::string(" empty") : text;
    };
    if (!found) throw ScriptError("expected playlist " + label + listed(expected) + ", found no such playlist");
    std::vector<MP::Item> held = media::itemsOf(found);
    if (held != expected) throw ScriptError("expected playlist " + label + listed(expected) + ", found" + listed(held));
}

void expectAlpha(Words& words, CGFloat alpha, const char* state) {
    if (words.atEnd()) throw ScriptError("expected at least one row title, found the end of the line");
    std::vector<music::Row> rows = music::rowsOnScreen();
    while (!words.atEnd()) {
        std::string title = words.text("a row title");
        bool any = false;
        for (size_t row = 0; row < rows.size(); ++row) {
            if (rows[row].title != title) continue;
            any = true;
            if (rows[row].alpha != alpha)
                throw ScriptError("expected \"" + title + "\" " + state + " (alpha " + shortNumber(alpha) + "), found alpha " +
                                  shortNumber(rows[row].alpha) + " on row " + std::to_string(row + 1));
        }
        if (!any) throw ScriptError("expected a row showing \"" + title + "\" on screen, found none");
    }
}
void expectDimmed(Words& words) { expectAlpha(words, 0.5, "dimmed"); }
void expectUndimmed(Words& words) { expectAlpha(words, 1.0, "undimmed"); }

// The rest of a line `FIRST N SECOND M`: the two counts.
std::pair<size_t, size_t> twoCounts(Words& words, const char* first, const char* second) {
    words.expect(first);
    size_t one = words.count("a count");
    words.expect(second);
    size_t other = words.count("a count");
    words.end();
    return {one, other};
}

void expectTouches(Words& words) {
    auto [began, ended] = twoCounts(words, "began", "ended");
    ui::TouchCounts counts = ui::takeTouchCounts();
    if (size_t(counts.began) != began || size_t(counts.ended) != ended)
        throw ScriptError("expected the lists' own touch handling to run began " + std::to_string(began) + " ended " +
                          std::to_string(ended) + ", found began " + std::to_string(counts.began) + " ended " +
                          std::to_string(counts.ended));
}

void expectSelected(Words& words) {
    std::optional<std::string> title = words.textOrNone("a row title");
    words.end();
    std::optional<ui::Selection> selection = ui::lastSelection();
    std::string expected = title ? "a selection from code of the row \"" + *title + "\"" : "a selection from code with no index path";
    if (!selection) throw ScriptError("expected " + expected + ", found no selection from code");
    if (selection->title != title)
        throw ScriptError("expected " + expected + ", found " +
                          (selection->title ? "the row \"" + *selection->title + "\"" : std::string("no index path")));
}

void expectTransport(Words& words) {
    bool expected = words.oneOf({"no", "yes"});
    words.end();
    bool interactive = music::transportInteractive();
    auto described = [](bool yes) { return yes ? "interactive" : "not interactive"; };
    if (interactive != expected)
        throw ScriptError(std::string("expected the transport button ") + described(expected) + ", found it " + described(interactive));
}

void expectLog(Words& words) {
    std::string text = words.text("a text");
    words.end();
    if (transcriptText().find(text) == std::string::npos)
        throw ScriptError("expected the transcript to contain \"" + text + "\", found it does not");
}

void expectNotLoaded(Words& words) {
    std::string text = words.text("part of the loader's message");
    words.end();
    const std::vector<std::string>& refused = device::refusedLoads();
    for (const std::string& each : refused)
        if (each.find(text) != std::string::npos) return;
    throw ScriptError("expected a load refused with \"" + text + "\", found " +
                      (refused.empty() ? std::string("none refused") : quotedList(refused, "; ")));
}

void expectAsked(Words& words) {
    auto [queries, fetched] = twoCounts(words, "queries", "fetched");
    media::Asked asked = media::takeAsked();
    if (asked.playlistsQueries != queries || asked.playlistsFetched != fetched)
        throw ScriptError("expected the app to ask the library for " + std::to_string(queries) +
                          " playlists queries and the songs of " + std::to_string(fetched) + " playlists, found " +
                          std::to_string(asked.playlistsQueries) + " and " + std::to_string(asked.playlistsFetched));
}

} // namespace

const CommandGroup kMusicCommands{
    "The Music app",
    {{"leave out class", leaveOutClass, false, "leave out class \"NAME\"", "before launch: an app of another release, without it"},
     {"device", stateModel, false, "device \"MODEL\"", "before launch: iPhone 5s, 6, 6s, SE, 7, 8, X, XS, XR, 11"},
     {"ios", stateRelease, false, "ios \"RELEASE\"", "and iOS 10.x to 14.x (by default an iPhone 7, 10.3)"},
     {"launch", launch, false, "launch", "starts the Music app"},
     {"relaunch", wordsAlone<music::relaunch>, false, "relaunch", "quits it and starts it again"},
     {"open playlist", openPlaylist, true, "open playlist \"Name\" | open playlist none", ""},
     {"open picker", wordsAlone<music::openPicker>, true, "open picker", "the add-music picker over the playlist page"},
     {"search", search, true, "search \"text\"", "search results in the picker"},
     {"close picker", closePicker, true, "close picker done|cancel|finish|silently", ""},
     {"actions", actions, true, "actions ID | actions album \"Title\" | actions title \"T\"|none subtitle \"S\"|none", ""},
     {"add to playlist", wordsAlone<music::openPlaylistPicker>, true, "add to playlist", "the playlist picker over the context actions"},
     {"close playlists", wordsAlone<music::closePlaylistPicker>, true, "close playlists", "closes the playlist picker"},
     {"marquee", marquee, false, "marquee \"Text\" | marquee none | marquee image", ""},
     {"transport", wordsAlone<music::layoutTransport>, false, "transport", "lays out the now-playing transport button"},
     {"tap", tap, true, "tap \"Title\" | tap #N | tap empty", ""},
     {"drag", drag, true, "drag \"Title\" to empty", ""},
     {"touch", touch, true, "touch \"Title\" cancelled", ""},
     {"press", press, false, "press \"Button\"", "taps a button of the alert on screen"},
     {"layout", layout, false, "layout", "a layout pass of the rows and header on screen"},
     {"layout after row", layoutWithChange, false, "layout after row N song|album|playlist ...",
      "another process changes the library then"}}};

const CommandGroup kMusicExpectations{
    "Expectations in the Music app",
    {{"expect alert", expectAlert, false, "expect alert \"Message\" buttons \"A\" \"B\" [preferred \"B\" | preferred none]", ""},
     {"expect no alert", expectNoAlert, false, "expect no alert", ""},
     {"expect playlist", expectPlaylist, false, "expect playlist \"Name\"[#N] ID... | expect playlist \"Name\" empty", ""},
     {"expect dimmed", expectDimmed, false, "expect dimmed \"Title\"...", ""},
     {"expect undimmed", expectUndimmed, false, "expect undimmed \"Title\"...", ""},
     {"expect app touches", expectTouches, false, "expect app touches began N ended M",
      "the lists' own touch handling since the last such line"},
     {"expect selected", expectSelected, false, "expect selected \"Title\" | expect selected none", ""},
     {"expect transport interactive", expectTransport, false, "expect transport interactive yes|no", ""},
     {"expect log", expectLog, false, "expect log \"text\"", "the transcript so far contains the text"},
     {"expect not loaded", expectNotLoaded, false, "expect not loaded \"text\"",
      "a load was refused with a message containing the text"},
     {"expect library", expectAsked, false, "expect library queries N fetched M",
      "since the last such line: queries of playlists, and playlists whose songs were fetched"}}};

void startMusicScript() {
    launchOptions = music::LaunchOptions();
    launchedInThisFile = false;
    statedModel.reset();
    statedRelease.reset();
    alertReported = nullptr;
}

void reportNewAlert() {
    UI::AlertController alert = ui::alertOnScreen();
    if (alert.raw == alertReported) return;
    alertReported = alert.raw;
    if (!alert) return;
    screens::Alert content = ui::contentOf(alert);
    std::string buttons;
    for (const std::string& button : content.buttons) buttons += " [" + button + "]";
    transcript("  alert: " + quotedOrNone(content.message) + buttons +
               (content.preferred ? ", preferred \"" + *content.preferred + "\"" : std::string()));
}

} // namespace sim
