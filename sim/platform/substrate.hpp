// Cydia Substrate's MSHookMessageEx (exported with C linkage for the tweak), and the record of every
// hook it installed so that a relaunch can take them back.
#pragma once

#include "objc/runtime.hpp"

namespace sim {

// Undoes every installed hook, the latest first: a swapped implementation goes back, an override
// that a hook added to a class is taken away.
void undoHooks();
// How many hooks are installed now.
size_t installedHookCount();

} // namespace sim
