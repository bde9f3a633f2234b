#include "sim/platform/substrate.hpp"

#include "sim/platform/gnu_runtime.hpp"

#include <vector>

namespace sim {

namespace {

struct InstalledHook {
    Class cls;
    SEL sel;
    // The swapped method and what it held; null for an override added to the class.
    Method swapped;
    IMP previous;
};

std::vector<InstalledHook>& installedHooks() {
    static std::vector<InstalledHook> hooks;
    return hooks;
}

} // namespace

void undoHooks() {
    auto& hooks = installedHooks();
    for (auto hook = hooks.rbegin(); hook != hooks.rend(); ++hook) {
        if (hook->swapped) method_setImplementation(hook->swapped, hook->previous);
        else removeAddedMethod(hook->cls, hook->sel);
    }
    hooks.clear();
}

size_t installedHookCount() { return installedHooks().size(); }

} // namespace sim

// As Substrate does: a method of the class itself is swapped; an inherited one gets an override on
// this class only (GNU's class_replaceMethod would change the superclass that owns it). Nothing is
// done, and `previous` is left alone, for a nil class or a selector the class does not answer.
extern "C" __attribute__((visibility("default"))) void MSHookMessageEx(Class cls, SEL sel, IMP replacement,
                                                                         IMP* previous) {
    if (cls == nullptr || sel == nullptr) return;
    Method inherited = class_getInstanceMethod(cls, sel);
    if (inherited == nullptr) return;
    if (Method own = sim::ownMethod(cls, sel)) {
        IMP old = method_setImplementation(own, replacement);
        sim::installedHooks().push_back({cls, sel, own, old});
        if (previous) *previous = old;
        return;
    }
    IMP superImplementation = method_getImplementation(inherited);
    class_addMethod(cls, sel, replacement, method_getTypeEncoding(inherited));
    sim::installedHooks().push_back({cls, sel, nullptr, nullptr});
    if (previous) *previous = superImplementation;
}
