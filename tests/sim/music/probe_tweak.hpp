// The state of the tests' stand-in tweak, zero-filled at each load.
#pragma once

#include "objc/runtime.hpp"

struct ProbeState {
    int loads;
    int marqueeLayouts;
    int notifications;
    int queuedBlocksRun;
    IMP previousMarqueeLayout;
};

extern "C" const ProbeState* probeState();
