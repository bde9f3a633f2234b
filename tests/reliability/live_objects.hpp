// Live Objective-C objects of every class, as GNUstep counts them: every object is allocated
// inside the runtime, so these counts, taken around a whole session, show what it leaked.
#pragma once

#include "objc/runtime.hpp"

#include <cstdlib>
#include <map>
#include <string>

extern "C" {
Class* GSDebugAllocationClassList();
int GSDebugAllocationCount(Class cls);
}

namespace reliability {

using LiveObjects = std::map<std::string, int>;

// Instances alive now, by class; classes with none are left out.
inline LiveObjects liveObjects() {
    LiveObjects live;
    Class* classes = GSDebugAllocationClassList(); // the caller frees the list
    for (Class* cls = classes; *cls != nullptr; ++cls)
        if (int count = GSDebugAllocationCount(*cls)) live[class_getName(*cls)] = count;
    std::free(classes);
    return live;
}

// "Class +n" for each class whose count changed, or "" when none did.
inline std::string changes(const LiveObjects& before, const LiveObjects& after) {
    std::map<std::string, int> delta;
    for (const auto& [name, count] : after) delta[name] += count;
    for (const auto& [name, count] : before) delta[name] -= count;
    std::string text;
    for (const auto& [name, change] : delta)
        if (change != 0) text += (text.empty() ? "" : ", ") + name + (change > 0 ? " +" : " ") + std::to_string(change);
    return text;
}

} // namespace reliability
