#include "sim/music/app.hpp"
#include "sim/script/commands.hpp"
#include "sim/uikit/uikit.hpp"

#include <ostream>

namespace sim {

namespace {

const CommandGroup* const kGroups[] = {&kDeviceCommands, &kMusicCommands, &kMusicExpectations, &kSettingsCommands};

// How many of the line's first tokens the command's words are; 0 when they are not.
size_t matchedWords(const Command& command, const Line& line) {
    size_t matched = 0;
    for (const char* at = command.words; *at;) {
        const char* space = at;
        while (*space && *space != ' ') ++space;
        if (matched >= line.tokens.size() || line.tokens[matched].quoted || line.tokens[matched].text != std::string(at, space))
            return 0;
        ++matched;
        at = *space ? space + 1 : space;
    }
    return matched;
}

} // namespace

void startScript() {
    startDevice();
    startMusicScript();
    startSettingsScript();
}

void runLine(const Line& line) {
    const Command* found = nullptr;
    size_t foundWords = 0;
    for (const CommandGroup* group : kGroups)
        for (const Command& command : group->commands)
            if (size_t words = matchedWords(command, line); words > foundWords) {
                found = &command;
                foundWords = words;
            }
    Words words(line);
    if (!found) throw ScriptError("expected a command (see --help), found " + words.word("a command"));
    if (UI::AlertController alert = ui::alertOnScreen(); alert && found->coveredByAlert)
        throw ScriptError("cannot " + line.tokens[0].text + ": an alert is on screen (" +
                          quotedOrNone(ui::contentOf(alert).message) + "), the user can only press one of its buttons");
    for (size_t skipped = 0; skipped < foundWords; ++skipped) words.take("a command");
    try {
        NS::AutoreleasePool pool;
        found->run(words);
    } catch (const music::AppError& error) {
        throw ScriptError(std::string("cannot do that: ") + error.what());
    }
    reportNewAlert();
}

// As the end of a file does.
void endScript() {
    if (music::running()) music::quit();
}

void printHelp(std::ostream& out) {
    out << R"(usage: twinly-sim [--package FILE.deb] [--screens DIR] FILE...
Runs each scenario file in a fresh simulated device (empty root, empty library, no preferences
file), prints a transcript, and exits 0 when every expectation held. A failing line is reported as
FILE:LINE: expected ... found ..., and stops its file. With --package, the tweak and the settings
bundle are the package's own arm64 binaries, run in the device's emulated core. With --screens,
each screen that a file passes through is drawn into DIR as FILE-01.png, FILE-02.png, ...

Lines: one command each; # starts a comment; "strings" take \" and \\; an ID names a song.
)";
    for (const CommandGroup* group : kGroups) {
        out << '\n' << group->title << '\n';
        for (const Command& command : group->commands) {
            std::string usage = std::string("  ") + command.usage;
            if (*command.help) usage.resize(std::max(usage.size() + 2, size_t(42)), ' ');
            out << usage << command.help << '\n';
        }
    }
}

} // namespace sim
