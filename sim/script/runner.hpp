// The scenario runner's own parts: reading a script line into tokens, and the Music app's share
// of the script language (the library, preferences, launches, the app's commands and expectations).
#pragma once

#include "sim/script/script.hpp"

#include <string>

namespace sim {

// Splits one line of a script by the lexical rules: words, "strings" with \" and \\ escapes,
// comments from a # that does not begin a number (#2), to the end of the line. Throws ScriptError.
Line tokenize(const std::string& file, int number, const std::string& text);

// Forgets the songs of the previous file and makes the library and the root empty.
void resetMusicScript();
// Runs one line that is not the Settings app's; throws ScriptError when it fails.
void runMusicLine(const Line& line);
// Ends the Music app if it runs, as the end of a file does.
void endMusicScript();

// The commands, for --help.
const char* scriptHelp();

} // namespace sim
