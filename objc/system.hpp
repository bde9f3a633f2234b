// The C interfaces below the Objective-C layer: Darwin notifications, the main queue, Cydia
// Substrate, and process spawning.
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

// libdispatch. `dispatch_get_main_queue()` is a macro over this symbol in Apple's headers.
struct dispatch_queue_s;
extern dispatch_queue_s _dispatch_main_q;
void dispatch_async(dispatch_queue_s* queue, void (^block)());

// Cydia Substrate.
void MSHookMessageEx(Class cls, SEL sel, IMP replacement, IMP* previous);

// POSIX.
using pid_t = int;
int posix_spawn(pid_t* pid, const char* path, const void* fileActions, const void* attributes, char* const argv[],
                char* const envp[]);
pid_t waitpid(pid_t pid, int* status, int options);
#if defined(__APPLE__)
int* __error();
#else
int* __errno_location() noexcept; // as glibc declares it, so host code may include <cerrno> too
#endif
}

namespace sys {

inline CFStringRef cfString(NS::String string) { return reinterpret_cast<CFStringRef>(string.raw); }

inline void runOnMainQueue(void (^block)()) { dispatch_async(&_dispatch_main_q, block); }

constexpr int kEINTR = 4; // the same number on Darwin and Linux

inline int lastError() {
#if defined(__APPLE__)
    return *__error();
#else
    return *__errno_location();
#endif
}

} // namespace sys
