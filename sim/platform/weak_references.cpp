// Apple's zeroing weak references over GNU's runtime, which has none, and UIKit's thread rule for
// them (weak_references.hpp). A table from each object to the slots that refer to it, emptied into
// nil when the object is deallocated. The slots are cleared in NSObject's dealloc, which every
// deallocation ends in, so that a dealloc of a subclass still finds its object whole; Apple's
// runtime already reads nil from the moment the last release begins, and no stand-in reads a weak
// reference to an object from that object's own dealloc.
#include "sim/platform/weak_references.hpp"

#include "objc/foundation.hpp"
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/platform/transcript.hpp"

#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

std::mutex tableLock;
std::unordered_map<id, std::vector<id*>>& slotsOf() {
    static std::unordered_map<id, std::vector<id*>> table;
    return table;
}

IMP previousDealloc = nullptr;

// UIKit's classes, read by any thread and written while the apps define their classes.
std::mutex mainThreadClassesLock;
std::unordered_set<Class>& mainThreadClasses() {
    static std::unordered_set<Class> classes;
    return classes;
}

bool belongsToMainThread(id object) {
    std::lock_guard<std::mutex> hold(mainThreadClassesLock);
    for (Class cls = objc::classOf(object); cls != nullptr; cls = class_getSuperclass(cls))
        if (mainThreadClasses().count(cls)) return true;
    return false;
}

// `function` retains the object that a weak reference holds, with the table locked.
id loadRetained(id* location, const char* function) {
    std::lock_guard<std::mutex> hold(tableLock);
    id object = *location;
    if (object && !sim::onMainThread() && belongsToMainThread(object))
        sim::endRun(std::string("UIKit used off the main thread: ") + function + " of a " +
                    class_getName(objc::classOf(object)));
    return object ? objc::Object(object).retain() : nullptr;
}

void clearWeakReferencesAndDealloc(id self, SEL cmd) {
    {
        std::lock_guard<std::mutex> hold(tableLock);
        auto found = slotsOf().find(self);
        if (found != slotsOf().end()) {
            for (id* slot : found->second) *slot = nullptr;
            slotsOf().erase(found);
        }
    }
    reinterpret_cast<void (*)(id, SEL)>(previousDealloc)(self, cmd);
}

// Before the first weak reference exists, NSObject's dealloc learns to clear them.
void watchDeallocations() {
    static std::once_flag once;
    std::call_once(once, [] {
        previousDealloc = sim::replaceOwnMethod(objc::lookUpClass("NSObject"), objc::sel<"dealloc">(),
                                                reinterpret_cast<IMP>(clearWeakReferencesAndDealloc));
    });
}

// With the table locked: the slot no longer refers to its object.
void forget(id* location) {
    if (*location == nullptr) return;
    auto found = slotsOf().find(*location);
    if (found == slotsOf().end()) return;
    auto& slots = found->second;
    slots.erase(std::remove(slots.begin(), slots.end(), location), slots.end());
    if (slots.empty()) slotsOf().erase(found);
}

} // namespace

void sim::keepWeakReferencesOnMainThread(Class cls) {
    std::lock_guard<std::mutex> hold(mainThreadClassesLock);
    mainThreadClasses().insert(cls);
}

SIM_EXPORT id objc_storeWeak(id* location, id object) {
    watchDeallocations();
    std::lock_guard<std::mutex> hold(tableLock);
    forget(location);
    *location = object;
    if (object) slotsOf()[object].push_back(location);
    return object;
}

SIM_EXPORT id objc_initWeak(id* location, id object) {
    *location = nullptr;
    return objc_storeWeak(location, object);
}

SIM_EXPORT id objc_loadWeakRetained(id* location) { return loadRetained(location, "objc_loadWeakRetained"); }

SIM_EXPORT void objc_copyWeak(id* to, id* from) {
    id object = loadRetained(from, "objc_copyWeak");
    objc_initWeak(to, object);
    objc::Object(object).release();
}

SIM_EXPORT void objc_destroyWeak(id* location) { objc_storeWeak(location, nullptr); }
