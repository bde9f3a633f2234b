// What the user sees of the simulated device, the failure of an action that no user could do, and
// the end of a process that broke a rule of the platform. The apps write to the transcript; the
// scenario runner prints it and fails a line on ScriptError.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

// Fails the line being run; the runner prints FILE:LINE: and the message, and stops that file.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Appends a line to the transcript that the runner prints.
void transcript(const std::string& text);
// The transcript so far (for `expect log`).
const std::string& transcriptText();

// A rule of the platform broken (UIKit off the main thread, a hook on nothing): prints the message
// and ends the process at once, as the device ends the app.
[[noreturn]] void endRun(const std::string& message);

// A text as scripts write it: in quotes, or none.
inline std::string quoted(const std::string& text) { return "\"" + text + "\""; }
inline std::string quotedOrNone(const std::optional<std::string>& text) { return text ? quoted(*text) : "none"; }
// Each text in quotes, between them `separator`; empty for no texts, which each caller words its own way.
std::string quotedList(const std::vector<std::string>& texts, const std::string& separator);
// A number as people write it (0.5, 1, 12.25).
std::string shortNumber(double value);

} // namespace sim
