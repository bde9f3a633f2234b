// Objects as C++ values: `Object` and its subclasses are borrowed handles (a plain pointer that
// may be nil, so every operation on a nil handle is the runtime's message to nil), and `Ref<T>`
// owns one reference.
#pragma once

#include "runtime.hpp"

namespace objc {

// A borrowed reference. Trivially copyable and one pointer wide, so a handle passes through a
// method's arguments and results exactly as `id` does.
struct Object {
    static constexpr bool kOneWord = true;
    id raw = nullptr;

    constexpr Object() = default;
    constexpr explicit Object(id object) : raw(object) {}

    explicit operator bool() const { return raw != nullptr; }
    bool operator==(const Object& other) const { return raw == other.raw; }

    template <class R = void, class... Args> R send(SEL sel, Args... args) const {
        return objc::send<R>(raw, sel, args...);
    }
    BOOL respondsToSelector(SEL sel) const { return send<BOOL>(objc::sel<"respondsToSelector:">(), sel); }
    BOOL isKindOfClass(Class cls) const { return send<BOOL>(objc::sel<"isKindOfClass:">(), cls); }
    id retain() const { return send<id>(objc::sel<"retain">()); }
    void release() const { send(objc::sel<"release">()); }
    id autorelease() const { return send<id>(objc::sel<"autorelease">()); }
};

// Reads a handle as a more specific one, like a C cast of an `id`.
template <class T> T as(Object object) { return T(object.raw); }

template <class T> constexpr bool isObjectHandle = __is_base_of(Object, T);

// Owns one reference: retains on copy, releases on destruction. Made either by `adopt` of an object
// the caller already owns (+1, from alloc/init, new, copy) or by `retain` of a borrowed one.
template <class T> class Ref {
public:
    constexpr Ref() = default;
    static Ref adopt(T object) { return Ref(object); }
    static Ref retain(T object) {
        object.retain();
        return Ref(object);
    }

    Ref(const Ref& other) : object_(other.object_) { object_.retain(); }
    // A reference to a more specific handle type is also one to its base.
    template <class U>
        requires(__is_base_of(T, U) && !__is_same(T, U))
    Ref(const Ref<U>& other) : object_(other.get()) { object_.retain(); }
    Ref(Ref&& other) : object_(other.object_) { other.object_ = T(); }
    Ref& operator=(Ref other) {
        T old = object_;
        object_ = other.object_;
        other.object_ = old;
        return *this;
    }
    ~Ref() { object_.release(); }

    T get() const { return object_; }
    operator T() const { return object_; }
    const T* operator->() const { return &object_; }
    explicit operator bool() const { return bool(object_); }

private:
    constexpr explicit Ref(T object) : object_(object) {}
    T object_;
};

// Refers to an object without keeping it alive: `load` gives an owning reference to it, or nil once
// it has been deallocated. The runtime's weak table is safe on any thread, but a copy, like a load,
// retains the object on the calling thread for a moment: a reference to a UIKit object is copied
// and loaded on the main thread only (sys::WeakBox carries one across another thread).
template <class T> class Weak {
public:
    constexpr Weak() = default;
    explicit Weak(T object) { objc_initWeak(&slot_, object.raw); }
    Weak(const Weak& other) { objc_copyWeak(&slot_, &other.slot_); }
    Weak& operator=(const Weak&) = delete;
    ~Weak() { objc_destroyWeak(&slot_); }

    Ref<T> load() const { return Ref<T>::adopt(T(objc_loadWeakRetained(&slot_))); }

private:
    mutable id slot_ = nullptr; // the runtime's functions take the slot's address, also to read it
};

// One class handle type for the few places that pass a class as an object.
inline Object classObject(Class cls) { return Object(reinterpret_cast<id>(cls)); }

} // namespace objc
