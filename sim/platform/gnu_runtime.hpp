// What the simulated device needs of GNU's libobjc beyond the calls the product declares: the
// method-list surgery that lets a relaunch take back methods added to a live class, which the
// runtime's public interface cannot do.
#pragma once

#include "objc/runtime.hpp"

extern "C" {
const char* method_getTypeEncoding(Method method);
}

namespace sim {

// The metaclass, whose methods are the class's class methods.
inline Class metaclassOf(Class cls) { return objc::classOf(reinterpret_cast<id>(cls)); }

// The class's own methods as they are now. GNU's class_addMethod puts each added method in a list
// of its own at the head of the class's lists, so anything added later lies in front of this mark.
struct MethodsMark {
    Class cls = nullptr;
    void* head = nullptr;
};
MethodsMark markMethods(Class cls);
// Takes back every method added to the class since the mark; nothing when the methods of the mark
// went already (an app that launched before ended and took back what it had added).
void restoreMethods(const MethodsMark& mark);
// Takes back one method that class_addMethod added to the class itself.
void removeAddedMethod(Class cls, SEL sel);

// The class's own implementation of `sel`, or null when it has none (inherited or unanswered).
Method ownMethod(Class cls, SEL sel);
// Gives the class's own method `sel` the implementation `replacement` and returns the one it had;
// null, and nothing changes, when the class has no method of that name of its own.
IMP replaceOwnMethod(Class cls, SEL sel, IMP replacement);

} // namespace sim
