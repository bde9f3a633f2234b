// MSHookMessageEx as Substrate behaves, on the GNU runtime: swap a class's own method, override an
// inherited one on the hooked class alone, and end the run for a nil class or a selector nobody
// answers. Relaunches rely on undoHooks giving the classes back untouched.
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/substrate.hpp"

#include "objc/class_builder.hpp"
#include "objc/system.hpp"

#include <gtest/gtest.h>

namespace {

using objc::Object;
using objc::sel;

int baseValue(id, SEL) { return 1; }
int hookedValue(id, SEL) { return 2; }

struct Classes {
    Class base, child, sibling;
};

// Base answers `value` itself; Child and Sibling inherit it.
Classes defineFamily() {
    objc::ClassBuilder base("HookBase", objc::lookUpClass("NSObject"));
    base.method<baseValue>(sel<"value">());
    Class baseClass = base.registerClass();
    Class child = objc::ClassBuilder("HookChild", baseClass).registerClass();
    Class sibling = objc::ClassBuilder("HookSibling", baseClass).registerClass();
    return {baseClass, child, sibling};
}

int valueOf(Class cls) {
    objc::Ref<Object> instance = objc::Ref<Object>::adopt(objc::classObject(cls).send<Object>(sel<"new">()));
    return instance->send<int>(sel<"value">());
}

void untouched() {}
const IMP kUntouched = untouched;

TEST(MSHookMessageEx, SwapsTheClassesOwnMethodAndHandsBackTheOldOne) {
    Classes family = defineFamily();
    IMP previous = kUntouched;
    MSHookMessageEx(family.base, sel<"value">(), reinterpret_cast<IMP>(hookedValue), &previous);
    EXPECT_EQ(previous, reinterpret_cast<IMP>(baseValue));
    EXPECT_EQ(valueOf(family.base), 2);
    EXPECT_EQ(valueOf(family.child), 2); // subclasses that inherit it see the replacement
    EXPECT_EQ(objc::sendTo<int>(previous, nullptr, sel<"value">()), 1);
}

TEST(MSHookMessageEx, OverridesAnInheritedMethodOnTheHookedClassOnly) {
    Classes family = defineFamily();
    IMP previous = kUntouched;
    MSHookMessageEx(family.child, sel<"value">(), reinterpret_cast<IMP>(hookedValue), &previous);
    EXPECT_EQ(previous, reinterpret_cast<IMP>(baseValue));
    EXPECT_EQ(valueOf(family.child), 2);
    EXPECT_EQ(valueOf(family.base), 1);
    EXPECT_EQ(valueOf(family.sibling), 1);
    EXPECT_EQ(method_getImplementation(class_getInstanceMethod(family.base, sel<"value">())),
              reinterpret_cast<IMP>(baseValue));
}

// The strictest substrate: such a hook ends the process, naming what could not be hooked.
TEST(MSHookMessageEx, EndsTheRunForANilClassOrAnUnansweredSelector) {
    Classes family = defineFamily();
    IMP previous = kUntouched;
    EXPECT_DEATH(MSHookMessageEx(nullptr, sel<"value">(), reinterpret_cast<IMP>(hookedValue), &previous),
                 "substrate: cannot hook -\\[nil value\\]");
    EXPECT_DEATH(MSHookMessageEx(family.child, sel<"noSuchSelector">(), reinterpret_cast<IMP>(hookedValue), &previous),
                 "substrate: cannot hook -\\[HookChild noSuchSelector\\]");
}

TEST(MSHookMessageEx, UndoingRestoresSwapsAndRemovesOverridesLatestFirst) {
    Classes family = defineFamily();
    IMP first = nullptr, second = nullptr, onChild = nullptr;
    MSHookMessageEx(family.base, sel<"value">(), reinterpret_cast<IMP>(hookedValue), &first);
    MSHookMessageEx(family.base, sel<"value">(), reinterpret_cast<IMP>(baseValue), &second);
    MSHookMessageEx(family.child, sel<"value">(), reinterpret_cast<IMP>(hookedValue), &onChild);
    EXPECT_EQ(second, reinterpret_cast<IMP>(hookedValue));
    sim::undoHooks();
    EXPECT_EQ(method_getImplementation(class_getInstanceMethod(family.base, sel<"value">())),
              reinterpret_cast<IMP>(baseValue));
    EXPECT_EQ(sim::ownMethod(family.child, sel<"value">()), nullptr);
    EXPECT_EQ(valueOf(family.child), 1);
    EXPECT_EQ(sim::installedHookCount(), 0u);
}

void addedDisabled(id, SEL, BOOL) {}

TEST(MethodRestore, TakesBackMethodsAddedToALiveClassSinceTheMark) {
    Classes family = defineFamily();
    sim::MethodsMark mark = sim::markMethods(family.child);
    class_addMethod(family.child, sel<"setIsDisabled:">(), reinterpret_cast<IMP>(addedDisabled), "v@:C");
    class_addMethod(family.child, sel<"value">(), reinterpret_cast<IMP>(hookedValue), "i@:");
    EXPECT_EQ(valueOf(family.child), 2);
    sim::restoreMethods(mark);
    EXPECT_EQ(class_getInstanceMethod(family.child, sel<"setIsDisabled:">()), nullptr);
    EXPECT_EQ(valueOf(family.child), 1);
    EXPECT_EQ(valueOf(family.base), 1);
}

} // namespace
