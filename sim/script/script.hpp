// What the scenario runner and the simulated apps share: a parsed script line, the error that
// fails a line, and the transcript.
#pragma once

#include <stdexcept>
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

// Fails the line being run; the runner prints FILE:LINE: and the message, and stops that file.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Appends a line to the transcript that the runner prints.
void transcript(const std::string& text);
// The transcript so far (for `expect log`).
const std::string& transcriptText();

// The Settings app's share of the script language (`settings ...`, `screen width`, `banner`, and
// the expectations about the Settings app). The Settings app answers whether a line is its own,
// and runs it, throwing ScriptError when it fails.
bool isSettingsLine(const Line& line);
void runSettingsLine(const Line& line);
// Forgets the Settings app and its bundle state between two scenario files.
void resetSettingsApp();

} // namespace sim
