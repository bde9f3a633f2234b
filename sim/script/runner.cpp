#include "sim/script/runner.hpp"

namespace sim {

Line tokenize(const std::string& file, int number, const std::string& text) {
    Line line{file, number, {}};
    size_t at = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    // A # followed by a digit is a row or playlist number (tap #2, "Mix"#2), not a comment.
    auto startsComment = [&](size_t i) { return text[i] == '#' && !(i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9'); };
    while (at < text.size()) {
        char c = text[at];
        if (isSpace(c)) {
            ++at;
        } else if (startsComment(at)) {
            break;
        } else if (c == '"') {
            Token token{"", true};
            for (++at;; ++at) {
                if (at >= text.size()) throw ScriptError("expected a closing \", found the end of the line");
                if (text[at] == '"') break;
                if (text[at] == '\\') {
                    if (at + 1 >= text.size() || (text[at + 1] != '"' && text[at + 1] != '\\'))
                        throw ScriptError("expected \\\" or \\\\ in a string, found another escape");
                    ++at;
                }
                token.text += text[at];
            }
            ++at;
            line.tokens.push_back(token);
        } else {
            // A word ends at a space, a comment, or where a string begins (KEY="value").
            Token token;
            token.text += text[at++];
            while (at < text.size() && !isSpace(text[at]) && text[at] != '"' && !startsComment(at)) token.text += text[at++];
            line.tokens.push_back(token);
        }
    }
    return line;
}

} // namespace sim

namespace sim {

const char* scriptHelp() {
    return R"(usage: twinly-sim [--package FILE.deb] [--screens DIR] FILE...
Runs each scenario file in a fresh simulated device (empty root, empty library, no preferences
file), prints a transcript, and exits 0 when every expectation held. A failing line is reported as
FILE:LINE: expected ... found ..., and stops its file. With --package, the tweak and the settings
bundle are the package's own arm64 binaries, run in the device's emulated core. With --screens,
each screen that a file passes through is drawn into DIR as FILE-01.png, FILE-02.png, ...

Lines: one command each; # starts a comment; "strings" take \" and \\; an ID names a song.

The library and the preferences file
  song ID "Title" | song ID none          a media item (each line a distinct item)
  album "Title" ID...                     an album of these songs, in order
  playlist "Name" ID...                   a playlist holding these items, in order
  prefs KEY=VALUE...                      writes the preferences file as XML (yes, no, 12, "text")
  prefs binary KEY=VALUE...               the same, as a binary property list
  prefs missing | prefs text "..."        removes the file | writes exactly these bytes
  notify                                  posts the reload notification and delivers it
  leave out class "NAME"                  before launch: an app of another release, without it
  device "MODEL" | ios "RELEASE"          before launch: the model (iPhone 5s, 6, 6s, SE, 7, 8, X,
                                          XS, XR, 11) and iOS release (10 to 14) the run simulates;
                                          by default an iPhone 7 on iOS 10.3
  shipped bytes only                      first line: the scenario needs --package
  launch | relaunch                       starts the Music app | quits it and starts it again

The Music app
  open playlist "Name" | open playlist none
  open picker                             the add-music picker over the playlist page
  search "text"                           search results in the picker
  close picker done|cancel|finish|silently
  actions ID | actions album "Title" | actions title "T"|none subtitle "S"|none
  add to playlist | close playlists       the playlist picker over the context actions
  marquee "Text" | marquee none | marquee image
  transport                               lays out the now-playing transport button
  tap "Title" | tap #N | tap empty
  drag "Title" to empty | touch "Title" cancelled
  press "Button"                          taps a button of the alert on screen
  layout                                  a layout pass of the rows and header on screen
  layout after row N song|album|playlist ...   one during which another process changes the
                                          library, once row N is laid out
  wait                                    lets media-library additions and main-queue work finish

Expectations in the Music app
  expect alert "Message" buttons "A" "B" [preferred "B" | preferred none]
  expect no alert
  expect playlist "Name"[#N] ID... | expect playlist "Name" empty
  expect dimmed "Title"... | expect undimmed "Title"...
  expect app touches began N ended M      the lists' own touch handling since the last such line
  expect selected "Title" | expect selected none
  expect transport interactive yes|no
  expect log "text"                       the transcript so far contains the text
  expect not loaded "text"                a load was refused with a message containing the text
  expect library queries N fetched M      the app's playlists queries, and the playlists whose
                                          songs it fetched, since the last such line

The Settings app
  screen width N | banner W x H | banner missing
  settings open | settings switch KEY on|off | settings tap "Label" | settings close
  expect banner height N | expect tint settings|default | expect switch KEY on|off
  expect spawned "PATH" "ARG"... | expect opened "URL" | expect heading "Title" "Maker" "Description"
)";
}

} // namespace sim
