// UIKit on the main thread only, as the platform's main thread checker enforces it: every method of
// a UIKit stand-in, deallocation included, first checks the calling thread, and a call from any
// other thread ends the run at once with `UIKit used off the main thread: -[Class selector]`. A
// weak reference to a UIKit object is copied and loaded on the main thread only, too
// (weak_references.hpp).
// (UIColor, UIFont and UIImage are left out: Apple documents them as safe on any thread.)
#pragma once

#include "sim/platform/run_loop.hpp"
#include "sim/platform/stand_in_classes.hpp"
#include "sim/platform/weak_references.hpp"

namespace sim::ui {

// Prints the checker's message for `self` and `cmd` and ends the process.
[[noreturn]] void reportOffMainThread(id self, SEL cmd, bool classMethod);

// An implementation `fn` that checks the thread before it runs.
template <auto fn, bool classMethod = false> struct OnMainThread;
template <class R, class Self, class... Args, R (*fn)(Self, SEL, Args...), bool classMethod>
struct OnMainThread<fn, classMethod> {
    static R call(Self self, SEL cmd, Args... args) {
        if (!onMainThread()) reportOffMainThread(reinterpret_cast<id>(self), cmd, classMethod);
        return fn(self, cmd, args...);
    }
};

// A class builder whose methods all check the thread.
class UIKitClassBuilder {
public:
    explicit UIKitClassBuilder(objc::ClassBuilder& builder) : builder_(builder) {}
    template <auto fn> UIKitClassBuilder& method(SEL sel) {
        builder_.method<OnMainThread<fn>::call>(sel);
        return *this;
    }
    template <class T> UIKitClassBuilder& ivar(const char* name) {
        builder_.ivar<T>(name);
        return *this;
    }

private:
    objc::ClassBuilder& builder_;
};

// `defineClass` for a class of UIKit: `build` is given a UIKitClassBuilder.
template <class Build> Class defineUIKitClass(const char* name, const char* superclass, const ClassNames& leftOut, Build build) {
    Class cls = defineClass(name, superclass, leftOut, [&](objc::ClassBuilder& builder) {
        UIKitClassBuilder checked(builder);
        build(checked);
    });
    if (cls) keepWeakReferencesOnMainThread(cls);
    return cls;
}

template <auto fn> void addUIKitClassMethod(Class cls, SEL sel) { addClassMethod<OnMainThread<fn, true>::call>(cls, sel); }

} // namespace sim::ui
