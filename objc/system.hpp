// The C interfaces below the Objective-C layer: Darwin notifications, the main run loop's
// observers, the main queue, Cydia Substrate, process spawning and the C library's heap.
#pragma once

#include "foundation.hpp"

extern "C" {
// CoreFoundation. An NSString passes as a CFStringRef (toll-free bridged).
struct __CFNotificationCenter;
struct __CFString;
struct __CFDictionary;
using CFNotificationCenterRef = __CFNotificationCenter*;
using CFStringRef = const __CFString*;
using CFDictionaryRef = const __CFDictionary*;
using CFNotificationCallback = void (*)(CFNotificationCenterRef center, void* observer, CFStringRef name,
                                        const void* object, CFDictionaryRef userInfo);
CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter();
void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer, CFNotificationCallback callback,
                                     CFStringRef name, const void* object, long suspensionBehavior);
void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFStringRef name, const void* object,
                                          CFDictionaryRef userInfo, BOOL deliverImmediately);

// CoreFoundation's run loop: an observer of the main run loop's activities. A mode is compared by
// identity with kCFRunLoopCommonModes (CFRunLoop.c, CFRunLoopAddObserver, CF-1153.18).
struct __CFRunLoop;
struct __CFRunLoopObserver;
using CFRunLoopRef = __CFRunLoop*;
using CFRunLoopObserverRef = __CFRunLoopObserver*;
using CFOptionFlags = unsigned long;
using CFIndex = long;
enum : CFOptionFlags {
    kCFRunLoopEntry = 1UL << 0,
    kCFRunLoopBeforeTimers = 1UL << 1,
    kCFRunLoopBeforeSources = 1UL << 2,
    kCFRunLoopBeforeWaiting = 1UL << 5,
    kCFRunLoopAfterWaiting = 1UL << 6,
    kCFRunLoopExit = 1UL << 7,
    kCFRunLoopAllActivities = 0x0FFFFFFFUL,
};
using CFRunLoopObserverCallBack = void (*)(CFRunLoopObserverRef observer, CFOptionFlags activity, void* info);
struct CFRunLoopObserverContext {
    CFIndex version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
};
extern CFStringRef kCFRunLoopCommonModes;
CFRunLoopRef CFRunLoopGetMain();
CFRunLoopObserverRef CFRunLoopObserverCreate(const void* allocator, CFOptionFlags activities, BOOL repeats,
                                             CFIndex order, CFRunLoopObserverCallBack callout,
                                             CFRunLoopObserverContext* context);
void CFRunLoopAddObserver(CFRunLoopRef runLoop, CFRunLoopObserverRef observer, CFStringRef mode);

// libdispatch. `dispatch_get_main_queue()` is a macro over this symbol in Apple's headers.
struct dispatch_queue_s;
extern dispatch_queue_s _dispatch_main_q;
void dispatch_async(dispatch_queue_s* queue, void (^block)());
void dispatch_async_f(dispatch_queue_s* queue, void* context, void (*work)(void* context));

// Cydia Substrate.
void MSHookMessageEx(Class cls, SEL sel, IMP replacement, IMP* previous);

// POSIX.
using pid_t = int;
int posix_spawn(pid_t* pid, const char* path, const void* fileActions, const void* attributes, char* const argv[],
                char* const envp[]);
pid_t waitpid(pid_t pid, int* status, int options);
// The C library's heap; noexcept as glibc declares them for C++, which changes nothing of the call.
void* malloc(size_t size) noexcept;
void free(void* memory) noexcept;

#if defined(__APPLE__)
int* __error();
#else
int* __errno_location() noexcept; // as glibc declares it, so host code may include <cerrno> too
#endif
}

namespace sys {

inline CFStringRef cfString(NS::String string) { return reinterpret_cast<CFStringRef>(string.raw); }

inline void runOnMainQueue(void (^block)()) { dispatch_async(&_dispatch_main_q, block); }
// Runs `work(context)` on the main queue: a plain pointer, which no other thread copies or destroys
// (a block's captures are copied and destroyed wherever the block is).
inline void runOnMainQueue(void* context, void (*work)(void* context)) {
    dispatch_async_f(&_dispatch_main_q, context, work);
}

// A weak reference in memory of its own, whose address can travel as such a context pointer. Only
// the thread that holds the pointer loads or destroys it, so a weak reference to a UIKit object
// can cross another thread and still be touched on the main thread alone. (Trivially constructible,
// so the memory that malloc gives is one; nil when there is no memory.)
template <class T> class WeakBox {
public:
    static WeakBox* make(T object) {
        auto* box = static_cast<WeakBox*>(malloc(sizeof(WeakBox)));
        if (box != nullptr) objc_initWeak(&box->slot_, object.raw);
        return box;
    }
    static void destroy(WeakBox* box) {
        objc_destroyWeak(&box->slot_);
        free(box);
    }
    objc::Ref<T> load() { return objc::Ref<T>::adopt(T(objc_loadWeakRetained(&slot_))); }

private:
    id slot_;
};

constexpr int kEINTR = 4; // the same number on Darwin and Linux

inline int lastError() {
#if defined(__APPLE__)
    return *__error();
#else
    return *__errno_location();
#endif
}

} // namespace sys
