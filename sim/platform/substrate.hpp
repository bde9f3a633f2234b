// Substrate's MSHookMessageEx (exported with C linkage for the tweak; a hook it cannot install ends
// the run with `substrate: cannot hook -[Class selector]`), and the record of every hook it
// installed, so that a relaunch can take them back.
#pragma once

#include "objc/runtime.hpp"

namespace sim {

// Undoes the hooks installed after the first `kept` (every one by default), the latest first: a
// swapped implementation goes back, an override that a hook added to a class is taken away.
void undoHooks(size_t kept = 0);
// How many hooks are installed now.
size_t installedHookCount();

} // namespace sim
