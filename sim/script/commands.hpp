// Layer sim/script: the scenario language and twinly-sim. It drives the apps and may use every
// layer below; nothing below includes it.
//
// The language as a table of commands, in groups as --help prints them. A line runs the command
// whose words begin it, the longest first; while an alert is on screen, a command that it covers
// (one that reaches the app) fails, as the user cannot do it.
#pragma once

#include "objc/mediaplayer.hpp"
#include "sim/script/words.hpp"

#include <iosfwd>

namespace sim {

struct Command {
    const char* words; // "tap", "expect alert", "leave out class"
    void (*run)(Words& rest);
    bool coveredByAlert;
    const char* usage;
    const char* help;
};

// A command of its words alone: the line ends there, and `action` runs.
template <void (*action)()> void wordsAlone(Words& rest) {
    rest.end();
    action();
}

struct CommandGroup {
    const char* title;
    std::vector<Command> commands;
};

extern const CommandGroup kDeviceCommands;
extern const CommandGroup kMusicCommands;
extern const CommandGroup kMusicExpectations;
extern const CommandGroup kSettingsCommands;

// Each file of a run starts in a fresh device and ends with the Music app quitting.
void startScript();
void runLine(const Line& line);
void endScript();
void printHelp(std::ostream& out);

// Each part's share of a file's start: an empty root and library, and the apps' state.
void startDevice();
void startMusicScript();
void startSettingsScript();
// Puts an alert that came up during the line into the transcript.
void reportNewAlert();

// The song that a script's ID names; throws ScriptError for an ID no `song` line defined.
MP::Item song(const std::string& id);
// The ID of the song, as scripts name it.
std::string idOf(MP::Item item);

} // namespace sim
