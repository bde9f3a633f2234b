// The one way to make a stand-in class. A declaration names the class and its superclass, the C++
// state of each instance and the methods, as C++ functions; it joins the catalogue of its framework
// or app, which defines its classes when that starts. The declaration owns the state (made at first
// use, destroyed by the dealloc that it adds), the thread rule and the registration:
//
//   void transportLayoutSubviews(id self, SEL cmd) { ... }
//   const StandIn<> kTransportButton{musicClasses, "MPUHalfTintedTransportButton", "UIView",
//                                    {method<transportLayoutSubviews>("layoutSubviews")}};
//
// Without a superclass a declaration adds its methods to a class that exists, as a category does.
#pragma once

#include "objc/class_builder.hpp"
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/run_loop.hpp"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// Names of stand-in classes that a launch does not define (an app of another release, without them).
using ClassNames = std::set<std::string>;
// The name that a launch gives a declared class (an app whose classes live in another module on
// that release); null keeps every name.
using Rename = std::string (*)(const char* declared);

// Where a class's methods may run. UIKit's run on the main thread only, as the platform's main
// thread checker enforces it: a call from any other thread, deallocation included, ends the run
// with `UIKit used off the main thread: -[Class selector]`, and so does a weak reference to one of
// its objects copied or loaded there (weak_references.hpp).
enum class Threads { ofCatalogue, main, any };

[[noreturn]] void reportOffMainThread(id self, SEL cmd, bool classMethod);

template <auto fn, bool classMethod> struct OnMainThread;
template <class R, class Self, class... Args, R (*fn)(Self, SEL, Args...), bool classMethod>
struct OnMainThread<fn, classMethod> {
    static R call(Self self, SEL cmd, Args... args) {
        if (!onMainThread()) reportOffMainThread(reinterpret_cast<id>(self), cmd, classMethod);
        return fn(self, cmd, args...);
    }
};

// A method of a stand-in: `fn` takes the receiver, the selector and the method's arguments, and
// gives the method's type encoding.
struct MethodRow {
    const char* selector;
    bool classMethod;
    IMP implementation;
    IMP onMainThreadOnly;
    const char* types;
};
template <auto fn, bool classMethod = false> MethodRow method(const char* selector) {
    return {selector, classMethod, reinterpret_cast<IMP>(fn), reinterpret_cast<IMP>(OnMainThread<fn, classMethod>::call),
            objc::encodingOf<fn>()};
}
template <auto fn> MethodRow classMethod(const char* selector) { return method<fn, true>(selector); }

class StandInClass;

// The stand-ins of one framework or app. Constant-initialised, so that declarations in any source
// file can join it while static objects are made.
class Catalogue {
public:
    constexpr explicit Catalogue(Threads threads) : threads_(threads) {}
    // Defines each class that does not exist yet, under the name `rename` gives it, unless that name is
    // left out or its superclass is missing; a superclass of the same catalogue comes first.
    void define(const ClassNames& leftOut = {}, Rename rename = nullptr);
    std::vector<std::string> classNames(Rename rename = nullptr) const;

private:
    friend class StandInClass;
    Class defineNamed(const char* name, const ClassNames& leftOut, Rename rename);
    Threads threads_;
    StandInClass* first_ = nullptr;
    StandInClass* last_ = nullptr;
};

// Every class that a catalogue defined, so that a process that ends can take back what was added.
const std::vector<Class>& definedClasses();

// Where the instances of a stand-in declared with State keep it. A State type belongs to one class,
// or to sibling classes that keep it at the same place (the Music app's cells); an instance of a
// subclass (the product's own included) finds it there too.
struct StateSlot {
    ptrdiff_t offset = -1;
    Class owner = nullptr;
    std::vector<ptrdiff_t> objectIvars; // released with the state
};
template <class State> inline StateSlot slotOf;

template <class State> State*& stateIn(id self) {
    return *reinterpret_cast<State**>(reinterpret_cast<char*>(self) + slotOf<State>.offset);
}
// The state of `self`, made on first use.
template <class State> State& state(id self) {
    State*& made = stateIn<State>(self);
    if (made == nullptr) made = new State();
    return *made;
}
// A new instance of `cls` that holds `kept` as its state, autoreleased: what a class method that
// makes an object (colorWithRed:green:blue:alpha:) gives.
template <class State> id autoreleasedWithState(id cls, State kept) {
    objc::Object made(objc::Object(cls).send<id>(objc::sel<"new">()));
    state<State>(made.raw) = std::move(kept);
    return made.autorelease();
}

// A property kept in a field of the state, read by `getter` and written by `setter`. An object
// field (a Ref) retains what it is given, or keeps a copy with `copyingSetter`, as UIKit keeps texts;
// any other field is a plain value (BOOL, CGFloat, CGRect, an id not retained).
template <class T> struct FieldAccess {
    using Value = T;
    static T get(const T& field) { return field; }
    static void set(T& field, T value) { field = value; }
};
template <class T> struct FieldAccess<objc::Ref<T>> {
    using Value = id;
    static id get(const objc::Ref<T>& field) { return field.get().raw; }
    static void set(objc::Ref<T>& field, id value) { field = objc::Ref<T>::retain(T(value)); }
};
template <auto field> struct Field;
template <class State, class T, T State::*field> struct Field<field> {
    using Access = FieldAccess<T>;
    static typename Access::Value get(id self, SEL) { return Access::get(state<State>(self).*field); }
    static void set(id self, SEL, typename Access::Value value) { Access::set(state<State>(self).*field, value); }
    static void setCopy(id self, SEL, id value) {
        state<State>(self).*field = T::adopt(objc::send<decltype(T().get())>(value, objc::sel<"copy">()));
    }
};
template <auto field> MethodRow getter(const char* selector) { return method<Field<field>::get>(selector); }
template <auto field> MethodRow setter(const char* selector) { return method<Field<field>::set>(selector); }
template <auto field> MethodRow copyingSetter(const char* selector) { return method<Field<field>::setCopy>(selector); }

template <class State> void destroyState(id self, SEL cmd) {
    delete stateIn<State>(self);
    stateIn<State>(self) = nullptr;
    for (ptrdiff_t offset : slotOf<State>.objectIvars)
        objc::Object(*reinterpret_cast<id*>(reinterpret_cast<char*>(self) + offset)).release();
    objc::sendSuper<void>(self, class_getSuperclass(slotOf<State>.owner), cmd);
}

class StandInClass {
public:
    StandInClass(const StandInClass&) = delete;
    StandInClass& operator=(const StandInClass&) = delete;

protected:
    // With state, an instance variable holds it (`state` says where each instance keeps it), and the
    // methods end with the dealloc that destroys it.
    StandInClass(Catalogue& catalogue, const char* name, const char* superclass, std::vector<MethodRow> methods,
                 Threads threads, StateSlot* state, std::vector<const char*> objectIvars);

private:
    friend class Catalogue;
    Class define(Catalogue& catalogue, const ClassNames& leftOut, Rename rename);
    void addMethods(Class cls, bool onMainThreadOnly) const;
    void bindState(Class cls) const;

    const char* name_;
    const char* superclass_;
    std::vector<MethodRow> methods_;
    Threads threads_;
    StateSlot* state_;
    std::string stateIvar_;
    std::vector<const char*> objectIvars_;
    StandInClass* next_ = nullptr;
};

// `objectIvars` are instance variables of type id that the platform's class declares for its
// subclasses (PSListController's _specifiers): the class releases what they hold when it goes.
template <class State = void> class StandIn : public StandInClass {
public:
    StandIn(Catalogue& catalogue, const char* name, const char* superclass, std::vector<MethodRow> methods,
            Threads threads = Threads::ofCatalogue, std::vector<const char*> objectIvars = {})
        : StandInClass(catalogue, name, superclass, withDealloc(std::move(methods)), threads, slot(), std::move(objectIvars)) {}

private:
    static std::vector<MethodRow> withDealloc(std::vector<MethodRow> methods) {
        if constexpr (!__is_same(State, void)) methods.push_back(method<destroyState<State>>("dealloc"));
        return methods;
    }
    static StateSlot* slot() {
        if constexpr (__is_same(State, void)) return nullptr;
        else return &slotOf<State>;
    }
};

} // namespace sim
