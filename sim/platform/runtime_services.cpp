#include "sim/platform/runtime_services.hpp"

extern "C" {
BOOL GSDebugAllocationActive(BOOL active);
int GSDebugAllocationCount(Class cls);
BOOL GSRegisterCurrentThread();
void GSUnregisterCurrentThread();
}

// Apple's runtime keeps pools as markers on a per-thread stack; GNUstep's NSAutoreleasePool nests
// the same way, and releasing an outer pool drains the inner ones as popping does.
SIM_EXPORT void* objc_autoreleasePoolPush() {
    objc::Object pool(NS::classNamed("NSAutoreleasePool").send<id>(objc::sel<"alloc">()));
    return pool.send<id>(objc::sel<"init">());
}

SIM_EXPORT void objc_autoreleasePoolPop(void* pool) { objc::Object(static_cast<id>(pool)).release(); }

namespace sim {

namespace {

__attribute__((constructor)) void startDevice() { GSDebugAllocationActive(YES); }

} // namespace

ForeignThread::ForeignThread() {
    GSRegisterCurrentThread();
    pool_ = objc_autoreleasePoolPush();
}

ForeignThread::~ForeignThread() {
    objc_autoreleasePoolPop(pool_);
    GSUnregisterCurrentThread();
}

int liveInstances(const char* className) { return GSDebugAllocationCount(objc::lookUpClass(className)); }

} // namespace sim
