// Long random sessions of what a user and the device do, seeded so that each replays exactly, with
// the invariants checked after every step: no crash, no touch flag left set after a touch end, the
// lists' own touch-end handling at most once per touch end or "Add Again", playlists that change
// only through what the app handled and "Skip" additions, and alerts released with all that their
// handlers held. Playlists are checked against a model of what the app and the library do, and the
// guard against a model of its own of the titles the add-music picker holds: with "disable" on a
// tap on a held title never reaches the list's own touch end (until "Add Again"), a tap on a new
// song always does, and song rows are dimmed exactly when their title is held. Playlist rows are
// checked against the rule of each row at each pass, with the library as it is at that pass.
#include "live_objects.hpp"
#include "tests/support/session.hpp"

#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/platform/transcript.hpp"
#include "sim/uikit/collection_view.hpp"
#include "sim/uikit/uikit.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>

namespace MP {
// A song in failure messages: its place in the library and its title.
void PrintTo(const Item& song, std::ostream* out) {
    std::vector<Item> songs = sim::media::songs();
    *out << "#" << std::find(songs.begin(), songs.end(), song) - songs.begin() + 1 << " "
         << sim::quotedOrNone(sim::media::titleOf(song));
}
} // namespace MP

namespace {

using Items = std::vector<MP::Item>;
using Text = std::optional<std::string>;

// Few distinct titles, so that repeats, same-named playlists and albums named like songs abound.
const std::vector<std::string> kTitles = {"Hey Jude", "Yesterday", "hey jude", "Let It Be", "Help!", "Intro",
                                          "Mix", "Road Trip", "e\u0301t\u00e9", "\xf0\x9f\x8e\xb5 Song"};

struct LibrarySize {
    int songs, albums, playlists;
};

// What the user did last with a touch, for the alert that it may raise.
struct Touch {
    size_t list;
    std::optional<size_t> endRow;
};

struct AlertRecord {
    bool notice = false;
    Touch touch{};
    // For "This playlist already contains some songs from this album.": what "Skip" adds.
    std::optional<std::pair<MP::Playlist, Items>> skipAddition;
};

// What an alert's handlers may keep.
constexpr const char* kListClass = "UICollectionView";
constexpr const char* kHeldByAlerts[] = {"UIAlertAction", "UIEvent", "UITouch", "NSIndexPath", kListClass};

enum class Screen { root, page, picker, actions, playlistPicker };

// What is on screen, as the model sees it.
struct Shown {
    Screen screen = Screen::root;
    Text pageTitle;
    Items pickerRows;
    size_t pickerList = 0; // each list shown gets a number of its own
    MP::Item contextSong;
    MP::Collection contextAlbum;
    std::vector<MP::Playlist> playlistRows;
    std::vector<CGFloat> playlistAlphas;
    size_t playlistList = 0;
    bool searched = false; // the picker shows search results, which are never held
    bool pickerOpen() const { return screen == Screen::picker; }
    bool playlistPickerOpen() const { return screen == Screen::playlistPicker; }
};

class RandomSession {
public:
    RandomSession(uint64_t seed, LibrarySize size) : random_(seed), seed_(seed), size_(size) {}

    void run(int steps) {
        support::launchWithOwnTweak();
        hooked_ = tweakState.enabled;
        buildLibrary(size_);
        for (const char* cls : kHeldByAlerts) idle_[cls] = sim::liveInstances(cls);
        for (step_ = 1; step_ <= steps && !::testing::Test::HasFatalFailure(); ++step_) {
            NS::AutoreleasePool pool;
            doOneStep();
            checkInvariants();
        }
        support::quitWithOwnTweak();
        sim::media::reset();
    }

    // What the session went through, so that a run shows it reached the guard's paths.
    std::string summary() const {
        std::ostringstream text;
        text << "seed " << seed_ << ": " << step_ - 1 << " steps, " << handled_ << " touch ends the app handled, "
             << alertsSeen_ << " alerts, " << addAgains_ << " \"Add Again\", " << albumSkips_
             << " album \"Skip\" additions, " << touchesWhileAdding_ << " touches before an addition completed, "
             << relaunches_ << " relaunches";
        return text.str();
    }

    // The last steps, for a failure's message.
    std::string history() const {
        std::string text;
        for (const std::string& line : history_) text += "  " + line + "\n";
        return text;
    }

    std::string where() const {
        std::ostringstream text;
        text << "seed " << seed_ << ", step " << step_ << " (" << action_ << ")";
        return text.str();
    }

private:
    // ---- the library ----

    std::string anyTitle() { return kTitles[pick(kTitles.size())]; }

    void buildLibrary(LibrarySize size) {
        for (int i = 0; i < size.songs; ++i) sim::media::addSong(pick(20) == 0 ? Text() : Text(anyTitle()));
        Items songs = sim::media::songs();
        // A song belongs to one album at most, as in any library; its album title is that album's.
        std::vector<MP::Item> unalbummed = songs;
        std::shuffle(unalbummed.begin(), unalbummed.end(), random_);
        for (int i = 0; i < size.albums && !unalbummed.empty(); ++i) {
            size_t count = std::min(unalbummed.size(), 1 + pick(6));
            sim::media::addAlbum(anyTitle(), Items(unalbummed.end() - count, unalbummed.end()));
            unalbummed.resize(unalbummed.size() - count);
        }
        for (int i = 0; i < size.playlists; ++i) sim::media::addPlaylist(anyTitle(), someOf(songs, pick(8)));
        for (MP::Playlist playlist : sim::media::playlists()) expected_.push_back(sim::media::itemsOf(playlist));
    }

    Items someOf(const Items& from, size_t count) {
        Items chosen;
        for (size_t i = 0; i < count && !from.empty(); ++i) chosen.push_back(from[pick(from.size())]);
        return chosen;
    }

    size_t indexOf(MP::Playlist playlist) const {
        std::vector<MP::Playlist> all = sim::media::playlists();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i] == playlist) return i;
        ADD_FAILURE() << where() << ": a playlist the library does not have";
        return 0;
    }

    void expectAdded(MP::Playlist playlist, const Items& items) {
        Items& held = expected_[indexOf(playlist)];
        held.insert(held.end(), items.begin(), items.end());
    }

    // ---- steps ----

    size_t pick(size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random_); }

    void doOneStep() {
        touchStep_ = false;
        if (sim::ui::alertOnScreen()) return doOneStepUnderAlert();
        // The playlist picker closes at the first tap the app handles: touch it while it is open.
        if (shown_.playlistPickerOpen() && pick(2) == 0) return touch();
        switch (pick(20)) {
        case 0: changeLibrary(); break;
        case 1: changePreferences(); break;
        case 2: openPlaylist(); break;
        case 3:
        case 4: openPicker(); break;
        case 5: search(); break;
        case 6: closePicker(); break;
        case 7: showActions(); break;
        case 8: openPlaylistPicker(); break;
        case 9: closePlaylistPicker(); break;
        case 10:
        case 11:
        case 12: touch(); break;
        case 13:
        case 14:
        case 15: pressButton(); break;
        case 16: marquee(); break;
        case 17: layout(); break;
        case 18: wait(); break;
        case 19: if (pick(4) == 0) relaunch(); else act("transport", sim::music::layoutTransport); break;
        }
    }

    // An alert is modal: the user can only press one of its buttons, while the device goes on.
    void doOneStepUnderAlert() {
        switch (pick(10)) {
        case 0: changeLibrary(); break;
        case 1: changePreferences(); break;
        case 2: marquee(); break;
        case 3: layout(); break;
        case 4: wait(); break;
        case 5: if (pick(4) == 0) relaunch(); else act("transport", sim::music::layoutTransport); break;
        default: pressButton(); break;
        }
    }

    void layout() {
        act("layout", [] { sim::music::layoutScreen(); });
        checkDimming();
        checkPlaylistPass();
    }

    template <class F> void act(const std::string& action, F f) {
        action_ = action;
        history_.push_back(std::to_string(step_) + ": " + action);
        if (history_.size() > kHistory) history_.pop_front();
        f();
    }

    void changeLibrary() {
        std::vector<MP::Playlist> playlists = sim::media::playlists();
        switch (pick(3)) {
        case 0: act("song added to the library", [&] { sim::media::addSong(anyTitle()); }); break;
        case 1:
            act("playlist added to the library", [&] {
                Items items = someOf(sim::media::songs(), pick(4));
                sim::media::addPlaylist(anyTitle(), items);
                expected_.push_back(items);
            });
            break;
        case 2:
            act("songs appended to a playlist by the library", [&] {
                if (playlists.empty()) return;
                MP::Playlist playlist = playlists[pick(playlists.size())];
                Items items = someOf(sim::media::songs(), 1 + pick(2));
                sim::media::appendToPlaylist(playlist, items);
                expectAdded(playlist, items);
            });
            break;
        }
    }

    void changePreferences() {
        static const char* const kValues[] = {"<true/>", "<false/>", "<integer>0</integer>", "<integer>7</integer>",
                                              "<string>no</string>", "<array/>"};
        std::string entries;
        for (const char* key : {"enabled", "disable", "greyText"})
            if (pick(4) != 0) entries += std::string("<key>") + key + "</key>" + kValues[pick(std::size(kValues))];
        bool notify = pick(3) != 0;
        act(std::string("preferences ") + entries + (notify ? " and notify" : " without notifying"), [&] {
            if (pick(8) == 0) sim::removeFile("/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist");
            else support::writePreferencesText("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + entries +
                                               "</dict></plist>");
            if (notify) support::postReload();
        });
    }

    void leaveScreens() {
        alerts_.clear();
        shown_.screen = Screen::root;
    }

    void openPlaylist() {
        std::vector<MP::Playlist> playlists = sim::media::playlists();
        Text name = pick(6) == 0 ? Text() : !playlists.empty() && pick(4) != 0
                                              ? sim::media::nameOf(playlists[pick(playlists.size())])
                                              : Text(anyTitle());
        act("open playlist " + sim::quotedOrNone(name), [&] { sim::music::openPlaylist(name); });
        leaveScreens();
        shown_.screen = Screen::page;
        shown_.pageTitle = name;
    }

    void openPicker() {
        if (shown_.screen != Screen::page) return openPlaylist();
        act("open picker", sim::music::openPicker);
        shown_.screen = Screen::picker;
        shown_.pickerRows = sim::media::songs();
        shown_.pickerList = ++lists_;
        shown_.searched = false;
        // The picker holds the titles of every playlist named like the page, as it appears.
        held_.clear();
        if (shown_.pageTitle && !shown_.pageTitle->empty())
            for (MP::Playlist playlist : sim::media::playlists())
                if (sim::media::nameOf(playlist) == shown_.pageTitle)
                    for (MP::Item song : sim::media::itemsOf(playlist))
                        if (Text title = sim::media::titleOf(song)) held_.push_back(*title);
        checkDimming();
    }

    bool isHeld(const Text& title) const {
        return hooked_ && title && std::find(held_.begin(), held_.end(), *title) != held_.end();
    }

    // Song rows are dimmed exactly when their title is held and "greyText" is on.
    void checkDimming() {
        if (!shown_.pickerOpen()) return;
        for (const sim::music::Row& row : sim::music::rowsOnScreen())
            EXPECT_EQ(row.alpha, isHeld(row.title) && tweakState.greyText ? 0.5 : 1.0)
                << where() << ": row " << sim::quotedOrNone(row.title);
    }

    // A playlist row dims at a pass when a playlist of its name holds a song titled like the context
    // item; otherwise it keeps its alpha.
    void checkPlaylistPass() {
        if (!shown_.playlistPickerOpen()) return;
        Text item = sim::text(tweakState.contextItemTitle.get());
        bool canDim = hooked_ && tweakState.greyText && item && !item->empty();
        std::vector<sim::music::Row> rows = sim::music::rowsOnScreen();
        ASSERT_EQ(rows.size(), shown_.playlistRows.size()) << where();
        for (size_t row = 0; row < rows.size(); ++row) {
            Text name = sim::media::nameOf(shown_.playlistRows[row]);
            if (canDim && name && holdsTitled(*name, *item)) shown_.playlistAlphas[row] = 0.5;
            EXPECT_EQ(rows[row].alpha, shown_.playlistAlphas[row]) << where() << ": playlist row " << row + 1;
        }
    }

    static bool holdsTitled(const std::string& name, const std::string& title) {
        for (MP::Playlist playlist : sim::media::playlists()) {
            if (sim::media::nameOf(playlist) != name) continue;
            for (MP::Item song : sim::media::itemsOf(playlist))
                if (sim::media::titleOf(song) == title) return true;
        }
        return false;
    }

    void search() {
        if (!shown_.pickerOpen()) return openPicker();
        std::string all = anyTitle();
        std::string text = all.substr(0, pick(all.size() + 1));
        act("search \"" + text + "\"", [&] { sim::music::search(text); });
        shown_.pickerRows.clear();
        shown_.searched = true;
        for (MP::Item song : sim::media::songs()) {
            Text title = sim::media::titleOf(song);
            if (title && title->find(text) != std::string::npos) shown_.pickerRows.push_back(song);
        }
        checkDimming();
    }

    void closePicker() {
        if (!shown_.pickerOpen()) return;
        auto how = sim::music::PickerClose(pick(4));
        act("close picker " + std::to_string(int(how)), [&] { sim::music::closePicker(how); });
        shown_.screen = Screen::page;
        // Done, cancel and finish let go of the titles; a picker that goes silently leaves them.
        if (how != sim::music::PickerClose::silently) held_.clear();
    }

    void showActions() {
        Items songs = sim::media::songs();
        std::vector<MP::Collection> albums = sim::media::albums();
        size_t kind = pick(4);
        if (kind == 0 && !songs.empty()) {
            MP::Item song = songs[pick(songs.size())];
            act("actions of a song", [&] { sim::music::showSongActions(song); });
            leaveScreens();
            shown_.contextSong = song;
            shown_.contextAlbum = MP::Collection();
            contextTitle_ = sim::media::titleOf(song);
            contextIsAlbum_ = false;
        } else if (kind <= 2 && !albums.empty()) {
            MP::Collection album = albums[pick(albums.size())];
            act("actions of an album", [&] { sim::music::showAlbumActions(album); });
            leaveScreens();
            shown_.contextSong = MP::Item();
            shown_.contextAlbum = album;
            contextTitle_ = sim::media::albumTitleOf(album);
            contextIsAlbum_ = true;
        } else {
            Text title = pick(5) == 0 ? Text() : Text(anyTitle());
            Text subtitle = pick(3) == 0 ? Text() : Text(pick(2) ? "Artist \u2219 2019" : "Artist \u2022 2019");
            act("actions " + sim::quotedOrNone(title) + " " + sim::quotedOrNone(subtitle),
                [&] { sim::music::showActions(title, subtitle); });
            leaveScreens();
            shown_.contextSong = MP::Item();
            shown_.contextAlbum = MP::Collection();
            contextTitle_ = title;
            contextIsAlbum_ = subtitle && subtitle->find("\u2219") != std::string::npos;
        }
        shown_.screen = Screen::actions;
    }

    void openPlaylistPicker() {
        if (shown_.screen != Screen::actions) return showActions();
        act("add to playlist", sim::music::openPlaylistPicker);
        shown_.screen = Screen::playlistPicker;
        shown_.playlistRows = sim::media::playlists();
        shown_.playlistAlphas.assign(shown_.playlistRows.size(), 1.0);
        shown_.playlistList = ++lists_;
        checkPlaylistPass();
    }

    void closePlaylistPicker() {
        if (!shown_.playlistPickerOpen()) return;
        act("close playlists", sim::music::closePlaylistPicker);
        shown_.screen = Screen::actions;
    }

    void marquee() {
        auto content = sim::music::MarqueeContent(pick(3));
        std::string text = anyTitle();
        act("marquee " + std::to_string(int(content)) + " \"" + text + "\"",
            [&] { sim::music::layoutMarquee(content, text); });
        if (content == sim::music::MarqueeContent::text) contextTitle_ = text;
        else if (content == sim::music::MarqueeContent::noText) contextTitle_ = std::nullopt;
    }

    size_t rowsShown() const {
        if (shown_.pickerOpen()) return shown_.pickerRows.size();
        if (shown_.playlistPickerOpen()) return shown_.playlistRows.size();
        return 0;
    }

    void touch() {
        if (!shown_.pickerOpen() && !shown_.playlistPickerOpen()) return pick(2) ? openPicker() : openPlaylistPicker();
        size_t rows = rowsShown();
        size_t list = shown_.pickerOpen() ? shown_.pickerList : shown_.playlistList;
        size_t kind = rows == 0 ? 2 : pick(5);
        size_t row = rows == 0 ? 0 : pick(rows);
        Text begunOn = kind == 2 ? Text() : rowTitle(row);
        UI::AlertController before = sim::ui::alertOnScreen();
        touchStep_ = true;
        if (!pendingAdditions_.empty()) ++touchesWhileAdding_;
        bool cancelled = false;
        std::optional<size_t> endRow;
        switch (kind) {
        case 0:
        case 1:
            act("tap #" + std::to_string(row + 1), [&] { sim::music::tapRow(row); });
            endRow = row;
            break;
        case 2: act("tap empty", sim::music::tapEmpty); break;
        case 3: act("drag #" + std::to_string(row + 1) + " to empty", [&] { sim::music::dragRowToEmpty(row); }); break;
        case 4:
            act("touch #" + std::to_string(row + 1) + " cancelled", [&] { sim::music::touchRowCancelled(row); });
            touchStep_ = false;
            cancelled = true;
            break;
        }
        checkCounts(cancelled ? 0 : 1, true);
        std::optional<int> ends = expectedEnds(kind, begunOn);
        if (ends) EXPECT_EQ(ended_, *ends) << where() << ": the list's own touch ends, begun on " << sim::quotedOrNone(begunOn);
        bool heldBack = hooked_ && !cancelled && isHeld(begunOn) && tweakState.disable;
        // A new song the list handled is held from now on, when the picker holds any title.
        if (ended_ == 1 && hooked_ && endRow && shown_.pickerOpen() && !shown_.searched && !held_.empty() && begunOn)
            held_.push_back(*begunOn);
        // The app's own handling of this touch end adds what the row stands for.
        if (ended_ == 1) appHandles(Touch{list, endRow});
        UI::AlertController now = sim::ui::alertOnScreen();
        if (heldBack)
            EXPECT_EQ(now ? sim::ui::contentOf(now).message : Text(), "This song is already in your playlist.") << where();
        if (now && now != before) {
            alerts_.push_back(recordAlert(now, Touch{list, endRow}));
            ++alertsSeen_;
        }
    }

    Text rowTitle(size_t row) const {
        if (shown_.pickerOpen()) return sim::media::titleOf(shown_.pickerRows.at(row));
        return sim::media::nameOf(shown_.playlistRows.at(row));
    }

    // How many times the list's own touch end runs for a touch of that kind (0, 1: a tap; 2: on
    // empty space; 3: a drag to empty space; 4: cancelled) begun on a row of that title, where the
    // guard's rules settle it; nothing where the playlist picker's check decides.
    std::optional<int> expectedEnds(size_t kind, const Text& begunOn) const {
        if (kind == 4) return 0;
        if (!hooked_ || kind == 2) return 1;
        if (isHeld(begunOn)) return tweakState.disable ? std::optional<int>(0) : std::nullopt;
        if (shown_.pickerOpen()) return 1;
        return std::nullopt;
    }

    // What the Music app does when its list's own touch-end handling sees this touch.
    void appHandles(const Touch& touch) {
        ++handled_;
        if (!touch.endRow) return;
        if (shown_.pickerOpen() && touch.list == shown_.pickerList) {
            if (*touch.endRow >= shown_.pickerRows.size()) return;
            for (MP::Playlist playlist : sim::media::playlists())
                if (shown_.pageTitle && sim::media::nameOf(playlist) == shown_.pageTitle) {
                    expectAdded(playlist, {shown_.pickerRows[*touch.endRow]});
                    break;
                }
        } else if (shown_.playlistPickerOpen() && touch.list == shown_.playlistList) {
            if (*touch.endRow >= shown_.playlistRows.size()) return;
            MP::Playlist target = shown_.playlistRows[*touch.endRow];
            if (shown_.contextSong) expectAdded(target, {shown_.contextSong});
            else if (shown_.contextAlbum) expectAdded(target, sim::media::itemsOf(shown_.contextAlbum));
            shown_.screen = Screen::actions;
        }
    }

    AlertRecord recordAlert(UI::AlertController alert, const Touch& touch) {
        AlertRecord record{false, touch, std::nullopt};
        sim::screens::Alert content = sim::ui::contentOf(alert);
        if (content.message != "This playlist already contains some songs from this album.") return record;
        // The album titled like the context item and the playlist named like the tapped row, the
        // last of each name, and the album's songs that this very playlist lacks.
        EXPECT_TRUE(touch.endRow) << where() << ": an album alert for a touch that ended on no row";
        if (!touch.endRow) return record;
        Text rowName = sim::media::nameOf(shown_.playlistRows.at(*touch.endRow));
        MP::Playlist picked;
        for (MP::Playlist playlist : sim::media::playlists())
            if (sim::media::nameOf(playlist) == rowName) picked = playlist;
        MP::Collection album;
        for (MP::Collection each : sim::media::albums())
            if (contextTitle_ && sim::media::albumTitleOf(each) == contextTitle_) album = each;
        EXPECT_TRUE(contextIsAlbum_) << where();
        Items missing;
        Items held = sim::media::itemsOf(picked);
        for (MP::Item song : sim::media::itemsOf(album))
            if (std::find(held.begin(), held.end(), song) == held.end()) missing.push_back(song);
        record.skipAddition = std::make_pair(picked, missing);
        return record;
    }

    void pressButton() {
        if (!sim::ui::alertOnScreen()) return touch();
        EXPECT_FALSE(alerts_.empty()) << where() << ": an alert the model did not see come";
        if (alerts_.empty()) return;
        sim::screens::Alert content = sim::ui::contentOf(sim::ui::alertOnScreen());
        std::string button = content.buttons.at(pick(content.buttons.size()));
        AlertRecord record = alerts_.back();
        alerts_.pop_back();
        act("press \"" + button + "\"", [&] { EXPECT_TRUE(sim::ui::pressAlertButton(button)) << where(); });
        if (record.notice) {
            EXPECT_EQ(button, "Ok") << where();
            checkCounts(0, false);
        } else if (button == "Add Again") {
            checkCounts(1, false);
            EXPECT_EQ(ended_, 1) << where() << ": \"Add Again\" passes the held touch end on";
            ++addAgains_;
            if (ended_ == 1) appHandles(record.touch);
        } else {
            EXPECT_EQ(button, "Skip") << where();
            checkCounts(0, false);
            if (record.skipAddition) {
                pendingAdditions_.push_back(*record.skipAddition);
                ++albumSkips_;
            }
        }
    }

    void wait() {
        int alertsBefore = sim::liveInstances("UIAlertController");
        act("wait", [] {
            while (sim::media::pendingAdditions() > 0 || sim::pendingMainQueueWork() > 0) {
                sim::media::completeAdditions();
                sim::settle();
            }
        });
        completePendingAdditions();
        // Each completed addition may bring its notice, over whatever controller is there.
        int notices = sim::liveInstances("UIAlertController") - alertsBefore;
        for (int i = 0; i < notices; ++i) alerts_.push_back(AlertRecord{true, {}, std::nullopt});
        if (notices > 0) {
            EXPECT_EQ(sim::ui::contentOf(sim::ui::alertOnScreen()).message, "Missing songs added.") << where();
        }
    }

    void completePendingAdditions() {
        for (const auto& [playlist, items] : pendingAdditions_) expectAdded(playlist, items);
        pendingAdditions_.clear();
    }

    void relaunch() {
        act("relaunch", support::relaunchWithOwnTweak);
        ++relaunches_;
        hooked_ = tweakState.enabled;
        held_.clear();
        // The library still adds what the ended process asked for.
        completePendingAdditions();
        leaveScreens();
        contextTitle_ = std::nullopt;
        contextIsAlbum_ = false;
    }

    // ---- invariants ----

    // The lists' own touch handling since the last step: at most `maxEnded` touch ends, and a touch
    // begin only for a new touch.
    void checkCounts(int maxEnded, bool newTouch) {
        sim::ui::TouchCounts counts = sim::ui::takeTouchCounts();
        EXPECT_LE(counts.ended, maxEnded) << where();
        EXPECT_LE(counts.began, newTouch ? 1 : 0) << where();
        ended_ = counts.ended;
        countsTaken_ = true;
    }

    void checkInvariants() {
        if (!countsTaken_) checkCounts(0, false);
        countsTaken_ = false;
        if (touchStep_) EXPECT_FALSE(tweakState.pendingDuplicateTap) << where() << ": the touch flag is still set";

        std::vector<MP::Playlist> playlists = sim::media::playlists();
        ASSERT_EQ(playlists.size(), expected_.size()) << where();
        for (size_t i = 0; i < playlists.size(); ++i)
            ASSERT_EQ(sim::media::itemsOf(playlists[i]), expected_[i])
                << where() << ": playlist " << i + 1 << " " << sim::quotedOrNone(sim::media::nameOf(playlists[i]));

        ASSERT_EQ(sim::liveInstances("UIAlertController"), int(alerts_.size())) << where();
        if (alerts_.empty() && sim::media::pendingAdditions() == 0) {
            // Touches, events, index paths and lists are back to what they were with nothing on
            // screen (GNUstep keeps index paths of its own), but for the lists on screen: the
            // picker's, with the search results over it once searched.
            int lists = shown_.pickerOpen() ? 1 + shown_.searched : shown_.playlistPickerOpen() ? 1 : 0;
            for (const char* cls : kHeldByAlerts)
                EXPECT_EQ(sim::liveInstances(cls), idle_[cls] + (cls == kListClass ? lists : 0)) << where() << ": " << cls;
        }
    }

    std::mt19937_64 random_;
    uint64_t seed_;
    LibrarySize size_;
    int step_ = 0;
    std::string action_ = "start";
    static constexpr size_t kHistory = 20;
    std::deque<std::string> history_;
    std::vector<Items> expected_;
    std::vector<std::pair<MP::Playlist, Items>> pendingAdditions_;
    std::vector<AlertRecord> alerts_;
    std::map<std::string, int> idle_;
    Shown shown_;
    size_t lists_ = 0;
    Text contextTitle_;
    bool contextIsAlbum_ = false;
    // The titles the add-music picker holds, and whether this launch installed the hooks.
    std::vector<std::string> held_;
    bool hooked_ = false;
    bool touchStep_ = false;
    bool countsTaken_ = false;
    int ended_ = 0;
    int handled_ = 0, alertsSeen_ = 0, addAgains_ = 0, albumSkips_ = 0, touchesWhileAdding_ = 0, relaunches_ = 0;
};

// Fewer under the sanitizers, which run the same sessions many times slower.
int stepsPerSession(int plain) {
    const char* steps = std::getenv("TWINLY_SESSION_STEPS");
    return steps ? std::atoi(steps) : plain;
}

class RandomSessions : public ::testing::Test {
protected:
    void SetUp() override { sim::makeFreshRoot(); }
    void TearDown() override { sim::removeRoot(); }

    static void runSession(uint64_t seed, LibrarySize size, int steps) {
        RandomSession session(seed, size);
        SCOPED_TRACE("replays with the same seed and steps");
        session.run(steps);
        std::cout << session.summary() << '\n';
        if (::testing::Test::HasFailure())
            std::cerr << "random session failed at " << session.where() << ", after:\n" << session.history();
    }
    NS::AutoreleasePool pool;
};

constexpr LibrarySize kSmall{12, 3, 5};
constexpr LibrarySize kLarge{1500, 120, 60};

TEST_F(RandomSessions, SmallLibraries) {
    for (uint64_t seed : {1, 2, 3, 4}) runSession(seed, kSmall, stepsPerSession(10000));
}

TEST_F(RandomSessions, LargeLibraries) {
    for (uint64_t seed : {101, 102}) runSession(seed, kLarge, stepsPerSession(3000));
}

// What a whole session creates and lets go is all released: the same session run twice, the
// second leaves every class with as many live instances as before it.
TEST_F(RandomSessions, ARepeatedSessionLeavesNoObjectAlive) {
    runSession(7, kSmall, stepsPerSession(3000) / 3);
    reliability::LiveObjects before = reliability::liveObjects();
    runSession(7, kSmall, stepsPerSession(3000) / 3);
    EXPECT_EQ(reliability::changes(before, reliability::liveObjects()), "");
}

} // namespace
