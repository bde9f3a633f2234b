// Helpers for defining the stand-in classes: the set of classes a launch leaves out, class methods,
// and C++ state hung on an instance variable.
#pragma once

#include "objc/class_builder.hpp"
#include "objc/foundation.hpp"
#include "sim/platform/gnu_runtime.hpp"

#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace sim {

// Names of stand-in classes that a launch does not define (an app without them).
using ClassNames = std::set<std::string>;

// Every class the simulated device defined, so a relaunch can restore their methods.
const std::vector<Class>& definedClasses();

// Defines a class unless it exists or is left out; `build` adds its methods and instance
// variables. Gives the class, or null when it is left out or its superclass is missing.
template <class Build> Class defineClass(const char* name, const char* superclass, const ClassNames& leftOut, Build build);

template <auto fn> void addClassMethod(Class cls, SEL sel) {
    class_addMethod(metaclassOf(cls), sel, reinterpret_cast<IMP>(fn), objc::encodingOf<fn>());
}

// The C++ state of an instance, made on first use, kept in an instance variable of type void*
// that the class declares with `ivar<void*>(name)`.
template <class State> State& stateOf(objc::Object object, const char* ivarName) {
    void** slot = objc::ivarOf<void*>(object, ivarName);
    if (*slot == nullptr) *slot = new State();
    return *static_cast<State*>(*slot);
}
template <class State> void destroyState(objc::Object object, const char* ivarName) {
    void** slot = objc::ivarOf<void*>(object, ivarName);
    delete static_cast<State*>(*slot);
    *slot = nullptr;
}

void recordDefinedClass(Class cls);

// A new instance of the named class (nil when the app lacks it), owned.
template <class T> objc::Ref<T> make(const char* className) {
    return objc::Ref<T>::adopt(NS::classNamed(className).send<T>(objc::sel<"new">()));
}

// Sends `dealloc` on to the implementation of the named superclass, as a stand-in's dealloc ends.
inline void deallocAsSuperclass(id self, const char* superclass) {
    objc::sendSuper<void>(self, objc::lookUpClass(superclass), objc::sel<"dealloc">());
}

// An autoreleased array of the objects, as the stand-ins' collection getters give.
template <class T> id autoreleasedArray(const std::vector<objc::Ref<T>>& objects) {
    auto array = NS::MutableArray::make();
    for (const auto& object : objects) array->addObject(object.get());
    return objc::Object(array.get().retain()).autorelease();
}

// A text as scripts write it: in quotes, or none.
inline std::string quotedOrNone(const std::optional<std::string>& text) { return text ? "\"" + *text + "\"" : "none"; }

// A number as people write it (0.5, 1), for messages.
inline std::string shortNumber(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// A string of UTF-8 text, or nil for nothing.
inline objc::Ref<NS::String> stringOf(const std::optional<std::string>& text) {
    if (!text) return objc::Ref<NS::String>();
    return NS::String::make(text->c_str());
}

template <class Build> Class defineClass(const char* name, const char* superclass, const ClassNames& leftOut, Build build) {
    if (leftOut.count(name)) return nullptr;
    if (Class existing = objc::lookUpClass(name)) return existing;
    Class super = objc::lookUpClass(superclass);
    if (super == nullptr) return nullptr;
    objc::ClassBuilder builder(name, super);
    build(builder);
    Class cls = builder.registerClass();
    recordDefinedClass(cls);
    return cls;
}

// A string of UTF-8 text, or nothing for nil.
std::optional<std::string> text(NS::String string);

} // namespace sim
