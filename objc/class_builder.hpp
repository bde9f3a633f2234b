// Defines Objective-C classes from C++ at run time: a fixed name, a superclass, instance variables
// and methods whose type encodings are derived from the C++ signatures of their implementations.
#pragma once

#include "object.hpp"

struct CGPoint;
struct CGSize;
struct CGRect;

namespace objc {

// A constexpr string that encodings are built in.
template <size_t N> struct Text {
    char text[N + 1] = {};
    constexpr Text() = default;
    constexpr Text(const char* from) {
        for (size_t i = 0; i < N; ++i) text[i] = from[i];
    }
};
template <size_t A, size_t B> constexpr Text<A + B> operator+(const Text<A>& a, const Text<B>& b) {
    Text<A + B> joined;
    for (size_t i = 0; i < A; ++i) joined.text[i] = a.text[i];
    for (size_t i = 0; i < B; ++i) joined.text[A + i] = b.text[i];
    return joined;
}
template <size_t N> constexpr Text<N - 1> text(const char (&literal)[N]) { return Text<N - 1>(literal); }

constexpr auto floatCode() {
    if constexpr (sizeof(CGFloat) == sizeof(double)) return text("d");
    else return text("f");
}

// libstdc++ declares a template named __is_pointer, after which clang no longer reads it as its
// builtin: a source that includes a standard header first would not compile.
template <class T> constexpr bool isPointer = false;
template <class T> constexpr bool isPointer<T*> = true;

template <class T> constexpr auto encode() {
    if constexpr (__is_same(T, void)) return text("v");
    else if constexpr (__is_same(T, id) || isObjectHandle<T>) return text("@");
    else if constexpr (__is_same(T, Class)) return text("#");
    else if constexpr (__is_same(T, SEL)) return text(":");
    else if constexpr (__is_same(T, bool)) return text("B");
    else if constexpr (__is_same(T, signed char) || __is_same(T, char)) return text("c");
    else if constexpr (__is_same(T, unsigned char)) return text("C");
    else if constexpr (__is_same(T, int)) return text("i");
    else if constexpr (__is_same(T, unsigned)) return text("I");
    else if constexpr (__is_same(T, long) || __is_same(T, long long)) return sizeof(T) == 8 ? text("q") : text("l");
    else if constexpr (__is_same(T, unsigned long) || __is_same(T, unsigned long long))
        return sizeof(T) == 8 ? text("Q") : text("L");
    else if constexpr (__is_same(T, float)) return text("f");
    else if constexpr (__is_same(T, double)) return text("d");
    else if constexpr (__is_same(T, CGPoint)) return text("{CGPoint=") + floatCode() + floatCode() + text("}");
    else if constexpr (__is_same(T, CGSize)) return text("{CGSize=") + floatCode() + floatCode() + text("}");
    else if constexpr (__is_same(T, CGRect))
        return text("{CGRect={CGPoint=") + floatCode() + floatCode() + text("}{CGSize=") + floatCode() + floatCode() +
               text("}}");
    else if constexpr (isPointer<T>) return text("^v");
    else return text("@?"); // a block
}

template <class F> struct Signature;
template <class R, class Self, class... Args> struct Signature<R (*)(Self, SEL, Args...)> {
    static constexpr auto encoding = ((encode<R>() + text("@:")) + ... + encode<Args>());
};

// The encoding of a method implemented by `fn`, which takes the receiver, the selector and the
// method's own arguments.
template <auto fn> const char* encodingOf() {
    static constexpr auto encoding = Signature<decltype(fn)>::encoding;
    return encoding.text;
}

constexpr uint8_t log2(size_t alignment) {
    uint8_t power = 0;
    while ((size_t(1) << power) < alignment) ++power;
    return power;
}

class ClassBuilder {
public:
    // Builds nothing, and registers nothing, when a class of that name exists already or the
    // superclass is missing.
    ClassBuilder(const char* name, Class superclass) : class_(objc_allocateClassPair(superclass, name, 0)) {}

    template <auto fn> ClassBuilder& method(SEL sel) {
        if (class_) class_addMethod(class_, sel, reinterpret_cast<IMP>(fn), encodingOf<fn>());
        return *this;
    }

    // The runtime takes the log2 of the alignment.
    template <class T> ClassBuilder& ivar(const char* name) {
        static constexpr auto type = encode<T>();
        if (class_) class_addIvar(class_, name, sizeof(T), log2(alignof(T)), type.text);
        return *this;
    }

    Class registerClass() {
        if (class_) objc_registerClassPair(class_);
        return class_;
    }

private:
    Class class_;
};

// An instance variable found once, by name, on a class that the code knows (one it built, or the
// platform superclass that declares it), when the classes are registered: its offset then holds
// for every instance of that class and of its subclasses. The object's memory is never read to
// find its class. Unbound, or for a nil object, it has no place.
template <class T> class InstanceVariable {
public:
    constexpr InstanceVariable() = default;

    // Looks the variable up on `cls` or a superclass of it; a nil class or a missing name leaves it unbound.
    void bind(Class cls, const char* name) {
        Ivar ivar = cls ? class_getInstanceVariable(cls, name) : nullptr;
        offset_ = ivar ? ivar_getOffset(ivar) : kUnbound;
    }
    bool bound() const { return offset_ != kUnbound; }

    // The variable in `object`, an instance of the bound class or a subclass; null when unbound or nil.
    T* in(Object object) const {
        if (!bound() || object.raw == nullptr) return nullptr;
        return reinterpret_cast<T*>(reinterpret_cast<char*>(object.raw) + offset_);
    }

private:
    static constexpr ptrdiff_t kUnbound = -1;
    ptrdiff_t offset_ = kUnbound;
};

// The instance variable of that name, declared on the object's class or a superclass, looked up at
// every call on the class that the runtime reports (classOf). For code that does not know the
// class beforehand: the simulated device and the tests. Product code binds an InstanceVariable.
template <class T> T* ivarOf(Object object, const char* name) {
    Ivar ivar = class_getInstanceVariable(classOf(object.raw), name);
    if (ivar == nullptr || object.raw == nullptr) return nullptr;
    return reinterpret_cast<T*>(reinterpret_cast<char*>(object.raw) + ivar_getOffset(ivar));
}

} // namespace objc
