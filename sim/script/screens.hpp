// twinly-sim --screens DIR: a picture of each screen that a scenario passes through.
#pragma once

#include <string>

namespace sim {

// From now on, pictures go into `folder` as SCENARIO-01.png, SCENARIO-02.png, ...
void recordScreensInto(const std::string& folder, const std::string& scenario);
// After each line of the scenario: a new picture when the screen shows something other than the
// last picture. The screen is the Settings app's page while it is the one that last changed, else
// the Music app's; nothing is drawn while neither shows anything.
void recordScreen();

} // namespace sim
