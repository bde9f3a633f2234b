// Instance variables of the stand-in classes as plain fields: object fields retain what they hold,
// and generated accessors read and write them. Also the hand-over of owned objects to the pool.
#pragma once

#include "objc/class_builder.hpp"
#include "objc/foundation.hpp"

#include <string>

namespace sim::settings {

// The object, kept alive by the current autorelease pool after `owned` lets go of it.
template <class T> T autoreleased(const objc::Ref<T>& owned) {
    owned.get().retain();
    return T(owned.get().autorelease());
}
inline NS::String string(const std::string& text) { return autoreleased(NS::String::make(text.c_str())); }

inline id& objectField(id self, const char* name) { return *objc::ivarOf<id>(objc::Object(self), name); }

// Stores `value` retained, releasing what the field held.
inline void assignObject(id self, const char* name, id value) {
    id& field = objectField(self, name);
    objc::Object(value).retain();
    objc::Object(field).release();
    field = value;
}

template <objc::Name field> id getObject(id self, SEL) { return objectField(self, field.text); }
template <objc::Name field> void setObject(id self, SEL, id value) { assignObject(self, field.text, value); }
template <class T, objc::Name field> T getValue(id self, SEL) { return *objc::ivarOf<T>(objc::Object(self), field.text); }
template <class T, objc::Name field> void setValue(id self, SEL, T value) {
    *objc::ivarOf<T>(objc::Object(self), field.text) = value;
}

// The superclass of the stand-in class of that name: where its overrides send their super calls.
inline Class superclassOf(const char* className) { return class_getSuperclass(objc::lookUpClass(className)); }

// A dealloc that releases the class's object fields, then runs the superclass's dealloc.
template <objc::Name className, objc::Name... fields> void deallocReleasing(id self, SEL sel) {
    (objc::Object(objectField(self, fields.text)).release(), ...);
    objc::sendSuper<void>(self, superclassOf(className.text), sel);
}

} // namespace sim::settings
