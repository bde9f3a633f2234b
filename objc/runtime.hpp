// The Objective-C runtime as C++ sees it: the C functions of Apple's runtime (device) and of GNU's
// libobjc (host), message sending with the exact function type of each call, and the rule that a
// message to nil yields zero for every return type. Everything that differs between the two runtimes
// lives in this file.
#pragma once

// Messages go through objc_msgSend on the device. The simulated device provides it over GNU's
// lookup too, and a host build that defines OBJC_HOST_SENDS_THROUGH_MSGSEND sends as the device does,
// so that the device's path runs under the tests.
#if defined(__APPLE__) || defined(OBJC_HOST_SENDS_THROUGH_MSGSEND)
#define OBJC_SENDS_THROUGH_MSGSEND 1
#endif

#include <stddef.h>
#include <stdint.h>

struct objc_object;
struct objc_class;
struct objc_selector;
struct objc_method;
struct objc_ivar;

using id = objc_object*;
using Class = objc_class*;
using SEL = const objc_selector*;
using IMP = void (*)();
using Method = objc_method*;
using Ivar = objc_ivar*;

#if defined(__APPLE__)
#if defined(__LP64__)
using BOOL = bool;
using CGFloat = double;
#else
using BOOL = signed char;
using CGFloat = float;
#endif
#else
using BOOL = unsigned char; // GNU libobjc
using CGFloat = double;
#endif
using NSInteger = long;
using NSUInteger = unsigned long;

constexpr BOOL YES = 1;
constexpr BOOL NO = 0;

extern "C" {
SEL sel_registerName(const char* name);
const char* sel_getName(SEL sel);
BOOL sel_isEqual(SEL a, SEL b);
Class objc_getClass(const char* name);
Class class_getSuperclass(Class cls);
const char* class_getName(Class cls);
Method class_getInstanceMethod(Class cls, SEL sel);
BOOL class_addMethod(Class cls, SEL sel, IMP imp, const char* types);
IMP method_getImplementation(Method m);
IMP method_setImplementation(Method m, IMP imp);
Class objc_allocateClassPair(Class superclass, const char* name, size_t extraBytes);
void objc_registerClassPair(Class cls);
BOOL class_addIvar(Class cls, const char* name, size_t size, uint8_t log2Alignment, const char* types);
Ivar class_getInstanceVariable(Class cls, const char* name);
ptrdiff_t ivar_getOffset(Ivar ivar);
void* objc_autoreleasePoolPush();
void objc_autoreleasePoolPop(void* pool);
// Zeroing weak references: the slot reads nil once its object is deallocated.
id objc_initWeak(id* location, id object);
id objc_loadWeakRetained(id* location);
void objc_copyWeak(id* to, id* from);
void objc_destroyWeak(id* location);

#if defined(__APPLE__)
struct objc_super {
    id receiver;
    Class super_class;
};
// Exported by Apple's runtime; GNU's is an inline function of its header (see classOf below).
Class object_getClass(id object);
#else
// GNU calls the first field `self`; it is initialised by position below.
struct objc_super {
    id self;
    Class super_class;
};
IMP objc_msg_lookup(id receiver, SEL sel);
IMP objc_msg_lookup_super(objc_super* super, SEL sel);
#endif
#if defined(OBJC_SENDS_THROUGH_MSGSEND)
void objc_msgSend();
void objc_msgSendSuper();
// Sent only for a result that returnsThroughMemory() (armv7, x86_64); arm64 has none.
void objc_msgSend_stret();
void objc_msgSendSuper_stret();
#endif
}

namespace objc {

// True where a result of type R comes back through memory that the caller passes in: on 32-bit ARM
// every struct but an "integer-like" one. Object handles (one pointer, marked `kOneWord`) are
// integer-like; any other struct of one word would depend on its fields, and send() refuses it. On
// the host (x86_64) a struct larger than 16 bytes; the plain C structs of messages need no other rule.
template <class R> constexpr bool returnsThroughMemory() {
#if defined(__APPLE__) && !defined(__LP64__)
    return (__is_class(R) || __is_union(R)) && !requires { R::kOneWord; };
#elif defined(__x86_64__)
    if constexpr (__is_class(R) || __is_union(R)) return sizeof(R) > 16;
    else return false;
#else
    return false;
#endif
}

template <class R, class... Args> R sendTo(IMP imp, id receiver, SEL sel, Args... args) {
    // A C++ object with a copy constructor or destructor (an owning Ref, say) would go by hidden
    // reference, which no Objective-C method expects: pass the handle itself.
    static_assert((__is_trivially_copyable(Args) && ...), "pass handles and plain values to a message");
    if constexpr (returnsThroughMemory<R>()) {
        static_assert(sizeof(R) > 4, "a struct of one word is returned in a register on armv7");
        R result;
        reinterpret_cast<void (*)(R*, id, SEL, Args...)>(imp)(&result, receiver, sel, args...);
        return result;
    } else {
        return reinterpret_cast<R (*)(id, SEL, Args...)>(imp)(receiver, sel, args...);
    }
}

// Sends `sel` to `receiver`. A nil receiver yields a zeroed R without reaching the runtime: neither
// runtime zeroes a struct result for nil, and GNU's returns garbage for floating point too.
template <class R, class... Args> R send(id receiver, SEL sel, Args... args) {
    if (receiver == nullptr) {
        if constexpr (__is_same(R, void)) return;
        else return R{};
    }
#if defined(OBJC_SENDS_THROUGH_MSGSEND)
    if constexpr (returnsThroughMemory<R>()) return sendTo<R>(objc_msgSend_stret, receiver, sel, args...);
    return sendTo<R>(objc_msgSend, receiver, sel, args...);
#else
    return sendTo<R>(objc_msg_lookup(receiver, sel), receiver, sel, args...);
#endif
}

// Sends `sel` to `self` as implemented by `superclass`, the compile-time superclass of the method
// that calls it (never the receiver's dynamic superclass, which would recurse in a subclass).
template <class R, class... Args> R sendSuper(id self, Class superclass, SEL sel, Args... args) {
    objc_super super{self, superclass};
#if defined(OBJC_SENDS_THROUGH_MSGSEND)
    if constexpr (returnsThroughMemory<R>())
        return sendTo<R>(objc_msgSendSuper_stret, reinterpret_cast<id>(&super), sel, args...);
    return sendTo<R>(objc_msgSendSuper, reinterpret_cast<id>(&super), sel, args...);
#else
    return sendTo<R>(objc_msg_lookup_super(&super, sel), self, sel, args...);
#endif
}

// The class of an object, as the runtime reports it. On Apple's runtime only object_getClass knows
// it: on arm64 an object's first word is a non-pointer isa (class bits packed with flags and an
// inline retain count), and a tagged pointer (a small string or number) is no memory at all. On
// GNU's runtime object_getClass is an inline function of its header, not an exported symbol, and
// reads the first word, GNU's class pointer; this is that definition. Product code knows the classes
// it works with and needs neither (see objc::InstanceVariable).
#if defined(__APPLE__)
inline Class classOf(id object) { return object_getClass(object); }
#else
inline Class classOf(id object) { return object ? *reinterpret_cast<Class*>(object) : nullptr; }
#endif

// A string literal as a template argument, so that each selector name gets its own cache.
template <size_t N> struct Name {
    char text[N];
    constexpr Name(const char (&literal)[N]) {
        for (size_t i = 0; i < N; ++i) text[i] = literal[i];
    }
};

// The selector of that name, registered with the runtime at its first use and reused after.
template <Name name> SEL sel() {
    static SEL cached;
    if (cached == nullptr) cached = sel_registerName(name.text);
    return cached;
}

// The class of that name, looked up afresh at every call: the app may not have it, and a lookup
// during static initialisation would run before the app's classes exist.
inline Class lookUpClass(const char* name) { return objc_getClass(name); }

} // namespace objc
