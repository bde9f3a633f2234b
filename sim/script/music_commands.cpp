// The Music app's share of the script language.
#include "objc/system.hpp"
#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/script/runner.hpp"
#include "sim/settings/preferences_daemon.hpp"
#include "sim/uikit/collection_view.hpp"
#include "sim/uikit/uikit.hpp"

#include <algorithm>
#include <cctype>
#include <map>

namespace sim {

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

constexpr const char* kPreferencesPath = "/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist";
constexpr const char* kReloadNotification = "com.qzr.twinlyprefs/reloadPrefs";

// The script's names of the songs of the library.
std::map<std::string, Ref<MP::Item>>& songIds() {
    static std::map<std::string, Ref<MP::Item>> ids;
    return ids;
}

std::string idOf(MP::Item item) {
    for (const auto& [name, song] : songIds())
        if (song.get() == item) return name;
    return "(unnamed item)";
}

// What the next launch of this file leaves out of the app; fixed once the app has launched.
music::LaunchOptions launchOptions;
bool launchedInThisFile = false;

// Reads the tokens of one line in order, failing the line with what was expected.
class Words {
public:
    explicit Words(const Line& line) : tokens_(line.tokens) {}

    bool atEnd() const { return next_ >= tokens_.size(); }

    const Token& take(const char* what) {
        if (atEnd()) throw ScriptError(std::string("expected ") + what + ", found the end of the line");
        return tokens_[next_++];
    }
    std::string word(const char* what) {
        const Token& token = take(what);
        if (token.quoted) throw ScriptError(std::string("expected ") + what + ", found \"" + token.text + "\"");
        return token.text;
    }
    std::string text(const char* what) {
        const Token& token = take(what);
        if (!token.quoted) throw ScriptError(std::string("expected ") + what + " in quotes, found " + token.text);
        return token.text;
    }
    // A quoted text, or the word none.
    std::optional<std::string> textOrNone(const char* what) {
        const Token& token = take(what);
        if (token.quoted) return token.text;
        if (token.text == "none") return std::nullopt;
        throw ScriptError(std::string("expected ") + what + " in quotes or none, found " + token.text);
    }
    // The next token, not taken; null at the end of the line.
    const Token* peek() const { return atEnd() ? nullptr : &tokens_[next_]; }
    bool nextIs(const char* word) const { return !atEnd() && !tokens_[next_].quoted && tokens_[next_].text == word; }
    bool nextIsQuoted() const { return !atEnd() && tokens_[next_].quoted; }
    void expect(const char* expected) {
        std::string found = word(expected);
        if (found != expected) throw ScriptError(std::string("expected ") + expected + ", found " + found);
    }
    void end() {
        if (!atEnd()) throw ScriptError("expected the end of the line, found " + describe(tokens_[next_]));
    }
    static std::string describe(const Token& token) { return token.quoted ? "\"" + token.text + "\"" : token.text; }

private:
    const std::vector<Token>& tokens_;
    size_t next_ = 0;
};

bool isId(const std::string& word) {
    if (word.empty()) return false;
    for (char c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

MP::Item song(const std::string& id) {
    auto found = songIds().find(id);
    if (found == songIds().end()) throw ScriptError("expected a song ID defined by `song`, found " + id);
    return found->second.get();
}

std::vector<MP::Item> songsUntilEnd(Words& words) {
    std::vector<MP::Item> songs;
    while (!words.atEnd()) songs.push_back(song(words.word("a song ID")));
    return songs;
}

size_t number(const std::string& text, const char* what) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        throw ScriptError(std::string("expected ") + what + ", found " + text);
    return std::stoul(text);
}

// ---- the library and the preferences file ----

void defineSong(Words& words) {
    std::string id = words.word("a song ID");
    if (!isId(id)) throw ScriptError("expected a song ID of letters, digits and _, found " + id);
    if (songIds().count(id)) throw ScriptError("expected a new song ID, found " + id + " again");
    std::optional<std::string> title = words.textOrNone("a title");
    words.end();
    songIds()[id] = Ref<MP::Item>::retain(media::addSong(title));
}

Object preferenceValue(const Token& value) {
    Object numbers = NS::classNamed("NSNumber");
    if (value.quoted) return NS::classNamed("NSString").send<Object>(sel<"stringWithUTF8String:">(), value.text.c_str());
    if (value.text == "yes" || value.text == "no")
        return numbers.send<Object>(sel<"numberWithBool:">(), BOOL(value.text == "yes"));
    bool negative = !value.text.empty() && value.text[0] == '-';
    long long magnitude = number(negative ? value.text.substr(1) : value.text, "yes, no, an integer or a quoted string");
    return numbers.send<Object>(sel<"numberWithLongLong:">(), negative ? -magnitude : magnitude);
}

void writePreferences(Words& words) {
    if (words.nextIs("missing")) {
        words.expect("missing");
        words.end();
        removeFile(kPreferencesPath);
        transcript("  device: the preferences file is removed");
        return;
    }
    if (words.nextIs("text")) {
        words.expect("text");
        std::string bytes = words.text("the file's text");
        words.end();
        writeFile(kPreferencesPath, bytes);
        transcript("  device: the preferences file holds the text \"" + bytes + "\"");
        return;
    }
    PlistFormat format = PlistFormat::xml;
    if (words.nextIs("binary")) {
        words.expect("binary");
        format = PlistFormat::binary;
    }
    NS::AutoreleasePool pool;
    auto dictionary = NS::MutableDictionary::make();
    std::string described;
    while (!words.atEnd()) {
        std::string pair = words.word("KEY=VALUE");
        size_t equals = pair.find('=');
        if (equals == 0 || equals == std::string::npos) throw ScriptError("expected KEY=VALUE, found " + pair);
        std::string key = pair.substr(0, equals);
        Token value{pair.substr(equals + 1), false};
        if (value.text.empty()) value = words.take("a value"); // KEY="text": the string is a token of its own
        dictionary->setObjectForKey(preferenceValue(value), NS::String::make(key.c_str()));
        described += " " + key + "=" + Words::describe(value);
    }
    writePropertyList(kPreferencesPath, dictionary.get(), format);
    transcript(std::string("  device: preferences written (") + (format == PlistFormat::xml ? "XML" : "binary") + "):" +
               described);
}

void notifyReload() {
    NS::AutoreleasePool pool;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         sys::cfString(NS::String::make(kReloadNotification)), nullptr, nullptr, YES);
    drainMainQueue();
    transcript("  device: reload notification posted");
}

// `wait`: the library's additions with the main-queue work they bring, and the preferences
// daemon's late write.
void waitForPendingWork() {
    while (media::pendingAdditions() > 0 || pendingMainQueueWork() > 0) {
        media::completeAdditions();
        drainMainQueue();
    }
    settings::writePendingPreferences();
}

// `leave out class "NAME"`: the Music app of another release, without that class.
void leaveOutClass(Words& words) {
    words.expect("out");
    words.expect("class");
    std::string name = words.text("a class name");
    words.end();
    if (launchedInThisFile) throw ScriptError("expected leave out class before launch, found it after");
    const std::vector<std::string> known = music::classesALaunchCanLeaveOut();
    if (std::find(known.begin(), known.end(), name) == known.end()) {
        std::string listed;
        for (const std::string& each : known) listed += (listed.empty() ? "" : ", ") + each;
        throw ScriptError("expected a class that the Music app defines (" + listed + "), found \"" + name + "\"");
    }
    launchOptions.leftOut.insert(name);
    transcript("  device: the Music app of another release, without " + name);
}

void launchMusic() {
    launchedInThisFile = true;
    music::launch(launchOptions);
}

// ---- the Music app ----

size_t rowShowing(const std::string& title) {
    std::vector<music::Row> rows = music::rowsOnScreen();
    for (size_t row = 0; row < rows.size(); ++row)
        if (rows[row].title == title) return row;
    throw ScriptError("expected a row showing \"" + title + "\" on screen, found " +
                      (rows.empty() ? std::string("no rows") : std::to_string(rows.size()) + " other rows"));
}

size_t rowNamed(Words& words) {
    const Token& token = words.take("a row title or #N");
    if (token.quoted) return rowShowing(token.text);
    if (token.text.size() > 1 && token.text[0] == '#') {
        size_t row = number(token.text.substr(1), "a row number");
        if (row == 0) throw ScriptError("expected a row number from 1, found #0");
        return row - 1;
    }
    throw ScriptError("expected a row title or #N, found " + token.text);
}

void open(Words& words) {
    std::string what = words.word("playlist or picker");
    if (what == "playlist") {
        std::optional<std::string> name = words.textOrNone("a playlist name");
        words.end();
        music::openPlaylist(name);
    } else if (what == "picker") {
        words.end();
        music::openPicker();
    } else {
        throw ScriptError("expected playlist or picker, found " + what);
    }
}

void close(Words& words) {
    std::string what = words.word("picker or playlists");
    if (what == "playlists") {
        words.end();
        music::closePlaylistPicker();
        return;
    }
    if (what != "picker") throw ScriptError("expected picker or playlists, found " + what);
    std::string how = words.word("done, cancel, finish or silently");
    words.end();
    if (how == "done") music::closePicker(music::PickerClose::done);
    else if (how == "cancel") music::closePicker(music::PickerClose::cancel);
    else if (how == "finish") music::closePicker(music::PickerClose::finish);
    else if (how == "silently") music::closePicker(music::PickerClose::silently);
    else throw ScriptError("expected done, cancel, finish or silently, found " + how);
}

void actions(Words& words) {
    if (words.nextIs("album")) {
        words.expect("album");
        std::string title = words.text("an album title");
        words.end();
        for (MP::Collection album : media::albums())
            if (media::albumTitleOf(album) == title) return music::showAlbumActions(album);
        throw ScriptError("expected an album titled \"" + title + "\", found none");
    }
    if (words.nextIs("title")) {
        words.expect("title");
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
    std::string what = words.word("a text, none or image");
    words.end();
    if (what == "none") music::layoutMarquee(music::MarqueeContent::noText);
    else if (what == "image") music::layoutMarquee(music::MarqueeContent::image);
    else throw ScriptError("expected a text, none or image, found " + what);
}

void press(Words& words) {
    std::string button = words.text("a button title");
    words.end();
    UI::AlertController alert = ui::alertOnScreen();
    if (!alert) throw ScriptError("expected an alert on screen to press \"" + button + "\", found none");
    std::string buttons;
    for (const auto& offered : ui::contentOf(alert).buttons) buttons += " \"" + offered.title + "\"";
    transcript("  user: presses \"" + button + "\"");
    NS::AutoreleasePool pool;
    if (!ui::pressAlertButton(button))
        throw ScriptError("expected a button \"" + button + "\" on the alert, found" + (buttons.empty() ? " none" : buttons));
}

// ---- expectations ----

void expectAlert(Words& words) {
    std::string message = words.text("the alert's message");
    words.expect("buttons");
    std::vector<std::string> buttons;
    while (words.nextIsQuoted()) buttons.push_back(words.text("a button"));
    bool checkPreferred = false;
    std::optional<std::string> preferred;
    if (words.nextIs("preferred")) {
        words.expect("preferred");
        checkPreferred = true;
        preferred = words.textOrNone("the preferred button");
    }
    words.end();

    std::string expected = "an alert with an empty title, message \"" + message + "\" and buttons";
    for (const auto& button : buttons) expected += " \"" + button + "\"";
    UI::AlertController alert = ui::alertOnScreen();
    if (!alert) throw ScriptError("expected " + expected + ", found no alert");
    ui::AlertContent content = ui::contentOf(alert);
    std::string found = "title " + quotedOrNone(content.title) + ", message " + quotedOrNone(content.message) + ", buttons";
    for (const auto& button : content.buttons) found += " \"" + button.title + "\"";
    found += ", preferred " + quotedOrNone(content.preferred) + ", style " + std::to_string(content.preferredStyle);
    std::vector<std::string> foundButtons;
    for (const auto& button : content.buttons) foundButtons.push_back(button.title);
    bool holds = content.title == std::string() && content.message == message && foundButtons == buttons &&
                 content.preferredStyle == UI::AlertController::kStyleAlert &&
                 (!checkPreferred || content.preferred == preferred);
    if (checkPreferred) expected += ", preferred " + quotedOrNone(preferred);
    if (!holds) throw ScriptError("expected " + expected + ", found " + found);
}

void expectPlaylist(Words& words) {
    std::string name = words.text("a playlist name");
    size_t which = 1;
    // "Name"#2 names the second playlist of that name.
    if (const Token* next = words.peek(); next && !next->quoted && next->text.size() > 1 && next->text[0] == '#') {
        which = number(words.word("#N").substr(1), "a playlist number");
        if (which == 0) throw ScriptError("expected a playlist number from 1, found #0");
    }
    std::vector<MP::Item> expected;
    if (words.nextIs("empty")) {
        words.expect("empty");
        words.end();
    } else {
        expected = songsUntilEnd(words);
    }
    std::string label = "\"" + name + "\"" + (which > 1 ? "#" + std::to_string(which) : "");
    MP::Playlist found;
    size_t seen = 0;
    for (MP::Playlist playlist : media::playlists())
        if (media::nameOf(playlist) == name && ++seen == which) {
            found = playlist;
            break;
        }
    auto listed = [](const std::vector<MP::Item>& items) {
        std::string text;
        for (MP::Item item : items) text += " " + idOf(item);
        return items.empty() ? std::string(" empty") : text;
    };
    if (!found) throw ScriptError("expected playlist " + label + listed(expected) + ", found no such playlist");
    std::vector<MP::Item> held = media::itemsOf(found);
    if (held != expected)
        throw ScriptError("expected playlist " + label + listed(expected) + ", found" + listed(held));
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
                throw ScriptError("expected \"" + title + "\" " + state + " (alpha " + shortNumber(alpha) +
                                  "), found alpha " + shortNumber(rows[row].alpha) + " on row " + std::to_string(row + 1));
        }
        if (!any) throw ScriptError("expected a row showing \"" + title + "\" on screen, found none");
    }
}

void expectTouches(Words& words) {
    words.expect("touches");
    words.expect("began");
    size_t began = number(words.word("a count"), "a count");
    words.expect("ended");
    size_t ended = number(words.word("a count"), "a count");
    words.end();
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
    words.expect("interactive");
    std::string answer = words.word("yes or no");
    words.end();
    if (answer != "yes" && answer != "no") throw ScriptError("expected yes or no, found " + answer);
    bool interactive = music::transportInteractive();
    if (interactive != (answer == "yes"))
        throw ScriptError(std::string("expected the transport button ") + (answer == "yes" ? "interactive" : "not interactive") +
                          ", found it " + (interactive ? "interactive" : "not interactive"));
}

void expectLog(Words& words) {
    std::string text = words.text("a text");
    words.end();
    if (transcriptText().find(text) == std::string::npos)
        throw ScriptError("expected the transcript to contain \"" + text + "\", found it does not");
}

void expectation(Words& words) {
    std::string what = words.word("what to expect");
    if (what == "alert") return expectAlert(words);
    if (what == "no") {
        words.expect("alert");
        words.end();
        if (UI::AlertController alert = ui::alertOnScreen())
            throw ScriptError("expected no alert, found the alert " + quotedOrNone(ui::contentOf(alert).message));
        return;
    }
    if (what == "playlist") return expectPlaylist(words);
    if (what == "dimmed") return expectAlpha(words, 0.5, "dimmed");
    if (what == "undimmed") return expectAlpha(words, 1.0, "undimmed");
    if (what == "app") return expectTouches(words);
    if (what == "selected") return expectSelected(words);
    if (what == "transport") return expectTransport(words);
    if (what == "log") return expectLog(words);
    throw ScriptError("expected alert, no alert, playlist, dimmed, undimmed, app touches, selected, transport or log, found " +
                      what);
}

void endOfLine(Words& words, void (*action)()) {
    words.end();
    action();
}

// Commands that reach the app under an alert, which covers it as on a device: the user cannot.
bool coveredByAlert(const std::string& name) {
    static const char* const kCovered[] = {"tap", "drag", "touch", "search", "open", "close", "actions", "add"};
    for (const char* covered : kCovered)
        if (name == covered) return true;
    return false;
}

void command(Words& words) {
    std::string name = words.word("a command");
    if (UI::AlertController alert = ui::alertOnScreen(); alert && coveredByAlert(name))
        throw ScriptError("cannot " + name + ": an alert is on screen (" + quotedOrNone(ui::contentOf(alert).message) +
                          "), the user can only press one of its buttons");
    if (name == "song") return defineSong(words);
    if (name == "album") {
        std::string title = words.text("an album title");
        media::addAlbum(title, songsUntilEnd(words));
        return;
    }
    if (name == "playlist") {
        std::string playlistName = words.text("a playlist name");
        media::addPlaylist(playlistName, songsUntilEnd(words));
        return;
    }
    if (name == "prefs") return writePreferences(words);
    if (name == "notify") return endOfLine(words, notifyReload);
    if (name == "leave") return leaveOutClass(words);
    if (name == "launch") return endOfLine(words, launchMusic);
    if (name == "relaunch") return endOfLine(words, music::relaunch);
    if (name == "open") return open(words);
    if (name == "search") {
        std::string text = words.text("a search text");
        words.end();
        return music::search(text);
    }
    if (name == "close") return close(words);
    if (name == "actions") return actions(words);
    if (name == "add") {
        words.expect("to");
        words.expect("playlist");
        return endOfLine(words, music::openPlaylistPicker);
    }
    if (name == "marquee") return marquee(words);
    if (name == "transport") return endOfLine(words, music::layoutTransport);
    if (name == "tap") {
        if (words.nextIs("empty")) {
            words.expect("empty");
            return endOfLine(words, music::tapEmpty);
        }
        size_t row = rowNamed(words);
        words.end();
        return music::tapRow(row);
    }
    if (name == "drag") {
        size_t row = rowShowing(words.text("a row title"));
        words.expect("to");
        words.expect("empty");
        words.end();
        return music::dragRowToEmpty(row);
    }
    if (name == "touch") {
        size_t row = rowShowing(words.text("a row title"));
        words.expect("cancelled");
        words.end();
        return music::touchRowCancelled(row);
    }
    if (name == "press") return press(words);
    if (name == "layout") return endOfLine(words, music::layoutScreen);
    if (name == "wait") return endOfLine(words, waitForPendingWork);
    if (name == "expect") return expectation(words);
    throw ScriptError("expected a command (see --help), found " + name);
}

void reportAddition(const std::string& playlist, const std::vector<std::string>& titles) {
    std::string added;
    for (const auto& title : titles) added += (added.empty() ? "\"" : ", \"") + title + "\"";
    transcript("  library: added " + (added.empty() ? std::string("nothing") : added) + " to \"" + playlist + "\"");
}

// The alert on screen after the previous line, so that a new one goes into the transcript.
id alertReported = nullptr;

void reportNewAlert() {
    UI::AlertController alert = ui::alertOnScreen();
    if (alert.raw == alertReported) return;
    alertReported = alert.raw;
    if (!alert) return;
    ui::AlertContent content = ui::contentOf(alert);
    std::string buttons;
    for (const auto& button : content.buttons) buttons += " [" + button.title + "]";
    transcript("  alert: " + quotedOrNone(content.message) + buttons +
               (content.preferred ? ", preferred \"" + *content.preferred + "\"" : std::string()));
}

} // namespace

void resetMusicScript() {
    // The library exists before the app is launched.
    media::classes.define();
    songIds().clear();
    launchOptions = music::LaunchOptions();
    launchedInThisFile = false;
    media::reset();
    media::setAdditionReport(reportAddition);
    makeFreshRoot();
    alertReported = nullptr;
}

void runMusicLine(const Line& line) {
    Words words(line);
    try {
        NS::AutoreleasePool pool;
        command(words);
    } catch (const music::AppError& error) {
        throw ScriptError(std::string("cannot do that: ") + error.what());
    }
    reportNewAlert();
}

void endMusicScript() {
    if (music::running()) music::quit();
}

} // namespace sim
