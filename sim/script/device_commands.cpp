// The device's own commands: the media library, the preferences file, the reload notification,
// waiting for pending work, and a scenario about the package's own bytes.
#include "objc/system.hpp"
#include "sim/device_core/package.hpp"
#include "sim/mediaplayer/media_library.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/process.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/script/commands.hpp"
#include "sim/settings/preferences_daemon.hpp"

#include <algorithm>
#include <cctype>
#include <map>

namespace sim {

namespace {

const std::string kPreferencesPath = settings::preferencesPath("com.qzr.twinlyprefs");
constexpr const char* kReloadNotification = "com.qzr.twinlyprefs/reloadPrefs";

// The script's names of the songs of the library.
std::map<std::string, Ref<MP::Item>> songIds;

std::vector<MP::Item> songsUntilEnd(Words& words) {
    std::vector<MP::Item> songs;
    while (!words.atEnd()) songs.push_back(song(words.word("a song ID")));
    return songs;
}

void defineSong(Words& words) {
    std::string id = words.word("a song ID");
    bool wellFormed = std::all_of(id.begin(), id.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
    if (!wellFormed) throw ScriptError("expected a song ID of letters, digits and _, found " + id);
    if (songIds.count(id)) throw ScriptError("expected a new song ID, found " + id + " again");
    std::optional<std::string> title = words.textOrNone("a title");
    words.end();
    songIds[id] = Ref<MP::Item>::retain(media::addSong(title));
}

void defineAlbum(Words& words) {
    std::string title = words.text("an album title");
    media::addAlbum(title, songsUntilEnd(words));
}

void definePlaylist(Words& words) {
    std::string name = words.text("a playlist name");
    media::addPlaylist(name, songsUntilEnd(words));
}

Object preferenceValue(const Token& value) {
    Object numbers = NS::classNamed("NSNumber");
    if (value.quoted) return NS::classNamed("NSString").send<Object>(sel<"stringWithUTF8String:">(), value.text.c_str());
    if (value.text == "yes" || value.text == "no")
        return numbers.send<Object>(sel<"numberWithBool:">(), BOOL(value.text == "yes"));
    long long magnitude = Words::wholeNumber(value.text.substr(value.text[0] == '-'), "yes, no, an integer or a quoted string");
    return numbers.send<Object>(sel<"numberWithLongLong:">(), value.text[0] == '-' ? -magnitude : magnitude);
}

void removePreferences(Words& words) {
    words.end();
    removeFile(kPreferencesPath);
    transcript("  device: the preferences file is removed");
}

void writePreferencesText(Words& words) {
    std::string bytes = words.text("the file's text");
    words.end();
    writeFile(kPreferencesPath, bytes);
    transcript("  device: the preferences file holds the text \"" + bytes + "\"");
}

void writePreferences(Words& words, PlistFormat format) {
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
void writeXmlPreferences(Words& words) { writePreferences(words, PlistFormat::xml); }
void writeBinaryPreferences(Words& words) { writePreferences(words, PlistFormat::binary); }

void notifyReload(Words& words) {
    words.end();
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         sys::cfString(NS::String::make(kReloadNotification)), nullptr, nullptr, YES);
    settle();
    transcript("  device: reload notification posted");
}

// The library's additions with the main-queue work they bring, and the preferences daemon's late write.
void waitForPendingWork(Words& words) {
    words.end();
    while (media::pendingAdditions() > 0 || pendingMainQueueWork() > 0) {
        media::completeAdditions();
        settle();
    }
    settings::writePendingPreferences();
}

// The first line of a scenario about what the device's loader makes of the package's binaries:
// without --package it fails.
void shippedBytesOnly(Words& words) {
    words.end();
    if (!device::packagedPath("/")) throw ScriptError("expected --package: this scenario is about the shipped bytes");
}

void reportAddition(const std::string& playlist, const std::vector<std::string>& titles) {
    transcript("  library: added " + (titles.empty() ? std::string("nothing") : quotedList(titles, ", ")) + " to \"" +
               playlist + "\"");
}

} // namespace

const CommandGroup kDeviceCommands{
    "The library and the preferences file",
    {{"song", defineSong, false, "song ID \"Title\" | song ID none", "a media item (each line a distinct item)"},
     {"album", defineAlbum, false, "album \"Title\" ID...", "an album of these songs, in order"},
     {"playlist", definePlaylist, false, "playlist \"Name\" ID...", "a playlist holding these items, in order"},
     {"prefs", writeXmlPreferences, false, "prefs KEY=VALUE...", "writes the preferences file as XML (yes, no, 12, \"text\")"},
     {"prefs binary", writeBinaryPreferences, false, "prefs binary KEY=VALUE...", "the same, as a binary property list"},
     {"prefs missing", removePreferences, false, "prefs missing", "removes the file"},
     {"prefs text", writePreferencesText, false, "prefs text \"...\"", "writes exactly these bytes"},
     {"notify", notifyReload, false, "notify", "posts the reload notification and delivers it"},
     {"wait", waitForPendingWork, false, "wait", "lets media-library additions and main-queue work finish"},
     {"shipped bytes only", shippedBytesOnly, false, "shipped bytes only", "first line: the scenario needs --package"}}};

void startDevice() {
    chooseDevice(device::defaultDevice());
    media::classes.define();
    songIds.clear();
    media::reset();
    media::setAdditionReport(reportAddition);
    makeFreshRoot();
}

MP::Item song(const std::string& id) {
    auto found = songIds.find(id);
    if (found == songIds.end()) throw ScriptError("expected a song ID defined by `song`, found " + id);
    return found->second.get();
}

std::string idOf(MP::Item item) {
    for (const auto& [name, kept] : songIds)
        if (kept.get() == item) return name;
    return "(unnamed item)";
}

} // namespace sim
