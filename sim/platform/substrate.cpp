#include "sim/platform/substrate.hpp"

#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/platform/transcript.hpp"

#include <string>
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

void undoHooks(size_t kept) {
    auto& hooks = installedHooks();
    while (hooks.size() > kept) {
        const InstalledHook& hook = hooks.back();
        if (hook.swapped) method_setImplementation(hook.swapped, hook.previous);
        else removeAddedMethod(hook.cls, hook.sel);
        hooks.pop_back();
    }
}

size_t installedHookCount() { return installedHooks().size(); }

} // namespace sim

// As Substrate does: a method of the class itself is swapped; an inherited one gets an override on
// this class only (GNU's class_replaceMethod would change the superclass that owns it). A nil class
// or a selector the class does not answer ends the run, as the strictest substrates that provide
// mobilesubstrate end the process (Cydia Substrate would ignore the hook).
SIM_EXPORT void MSHookMessageEx(Class cls, SEL sel, IMP replacement, IMP* previous) {
    Method inherited = cls && sel ? class_getInstanceMethod(cls, sel) : nullptr;
    if (inherited == nullptr)
        sim::endRun(std::string("substrate: cannot hook -[") + (cls ? class_getName(cls) : "nil") + " " +
                    (sel ? sel_getName(sel) : "nil") + "]");
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
