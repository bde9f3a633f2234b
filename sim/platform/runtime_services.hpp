// Layer sim/platform: the runtime and operating-system pieces of the simulated device (runtime
// additions, Substrate, run loop and main queue, Darwin notifications, the file-system root,
// Foundation's fixes, spawning, the transcript). It uses objc/, GNU's runtime and GNUstep only.
//
// The simulated device's runtime services: what GNU's runtime lacks (autorelease pools for the
// product's objc_autoreleasePoolPush/Pop), GNUstep's set-up for threads it did not make, and live
// object counts for leak checks. At load, the library turns on GNUstep's allocation counting.
#pragma once

#include "objc/foundation.hpp"

// What the simulated device exports to the product with C linkage, as the device's libraries do.
#define SIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace sim {

// Makes the current thread, which GNUstep did not create, fit to use Objective-C objects for the
// lifetime of the value: registered with GNUstep and inside an autorelease pool of its own.
class ForeignThread {
public:
    ForeignThread();
    ~ForeignThread();
    ForeignThread(const ForeignThread&) = delete;
    ForeignThread& operator=(const ForeignThread&) = delete;

private:
    void* pool_;
};

// Instances of exactly this class (not of subclasses) alive now.
int liveInstances(const char* className);

} // namespace sim
