// Placeholder until the simulated Settings app exists: its commands fail clearly.
#include "script.hpp"

namespace sim {

bool isSettingsLine(const Line& line) {
    if (line.tokens.empty()) return false;
    const std::string& first = line.tokens[0].text;
    if (first == "settings" || first == "screen" || first == "banner") return true;
    if (first != "expect" || line.tokens.size() < 2) return false;
    const std::string& what = line.tokens[1].text;
    return what == "banner" || what == "tint" || what == "switch" || what == "spawned" || what == "opened" ||
           what == "heading";
}

void runSettingsLine(const Line&) { throw ScriptError("the Settings app is not available yet"); }

void resetSettingsApp() {}

} // namespace sim
