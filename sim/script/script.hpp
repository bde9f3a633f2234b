// Layer sim/script: the scenario language and twinly-sim. It drives the apps and may use every
// layer below; nothing below includes it.
//
// The scenario language's shared parts: a parsed script line, and the Settings app's share of the
// commands.
#pragma once

#include "sim/platform/transcript.hpp"

#include <string>
#include <vector>

namespace sim {

// A word of a script line; `quoted` tells the string "none" from the word none.
struct Token {
    std::string text;
    bool quoted = false;
};

struct Line {
    std::string file;
    int number = 0;
    std::vector<Token> tokens;
};

// The Settings app's share of the script language (`settings ...`, `screen width`, `banner`, and
// the expectations about the Settings app). The Settings app answers whether a line is its own,
// and runs it, throwing ScriptError when it fails.
bool isSettingsLine(const Line& line);
void runSettingsLine(const Line& line);
// Forgets the Settings app and its bundle state between two scenario files.
void resetSettingsApp();

} // namespace sim
