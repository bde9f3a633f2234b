#include "hook_table.hpp"

#include "objc/system.hpp"
#include "state.hpp"

namespace {

bool sameName(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

} // namespace

void installHookTable() {
    const char* lookedUpName = nullptr;
    Class cls = nullptr;
    int nextSlot = 0;
    for (const HookRow& row : kHookTable) {
        int slot = row.addedTypes ? -1 : nextSlot++;
        if (!sameName(row.className, lookedUpName)) {
            lookedUpName = row.className;
            cls = objc_getClass(row.className);
        }
        // A class the app lacks (renamed in another release) leaves its rows undone, and a method the
        // class does not answer its replacement: some substrates end the process on such a hook. The
        // slot of a replacement that never ran stays empty and is never called. class_addMethod
        // leaves a method that a cell already has in place.
        if (cls == nullptr) continue;
        SEL sel = sel_registerName(row.selector);
        if (row.addedTypes) class_addMethod(cls, sel, row.implementation(), row.addedTypes());
        else if (class_getInstanceMethod(cls, sel)) MSHookMessageEx(cls, sel, row.implementation(), &tweakState.previous[slot]);
    }
}
