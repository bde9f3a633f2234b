// The simulated device's libraries, each with its identity (install name, versions, the OS its
// binary was built for, the libraries it re-exports), and what they export to device binaries:
// the C signature of each function (Objective-C type encodings, as the device's arm64 headers
// declare them), the data symbols, and the first release that exports each. An import that a
// binary binds must be here, under the library it names or one that library re-exports.
#include "sim/device_core/bridge.hpp"

#include "objc/runtime.hpp"

extern "C" const char* method_getTypeEncoding(Method method);

namespace sim::device {
namespace {

constexpr const char* kObjc = "/usr/lib/libobjc.A.dylib";
constexpr const char* kSystem = "/usr/lib/libSystem.B.dylib";
constexpr const char* kDispatch = "/usr/lib/system/libdispatch.dylib";
constexpr const char* kDyld = "/usr/lib/system/libdyld.dylib";
constexpr const char* kFoundation = "/System/Library/Frameworks/Foundation.framework/Foundation";
constexpr const char* kUIKit = "/System/Library/Frameworks/UIKit.framework/UIKit";
constexpr const char* kPreferences = "/System/Library/PrivateFrameworks/Preferences.framework/Preferences";
constexpr const char* kFuseUI = "/System/Library/PrivateFrameworks/FuseUI.framework/FuseUI";
constexpr const char* kMediaPlayerUI = "/System/Library/PrivateFrameworks/MediaPlayerUI.framework/MediaPlayerUI";
constexpr const char* kCoreFoundation = "/System/Library/Frameworks/CoreFoundation.framework/CoreFoundation";
constexpr const char* kMediaPlayer = "/System/Library/Frameworks/MediaPlayer.framework/MediaPlayer";
constexpr const char* kSubstrate = "/Library/Frameworks/CydiaSubstrate.framework/CydiaSubstrate";

// class_addMethod(cls, sel, imp, types): the IMP has the types given.
std::string addedMethodTypes(const uint64_t* arguments) { return reinterpret_cast<const char*>(arguments[3]); }

// MSHookMessageEx(cls, sel, replacement, previous): both have the types of the hooked method.
std::string hookedMethodTypes(const uint64_t* arguments) {
    auto cls = reinterpret_cast<Class>(arguments[0]);
    Method method = cls ? class_getInstanceMethod(cls, reinterpret_cast<SEL>(arguments[1])) : nullptr;
    return method ? method_getTypeEncoding(method) : "";
}

std::string notificationCallbackTypes(const uint64_t*) { return "v^v^v@^v@"; }

// CFRunLoopObserverCreate(allocator, activities, repeats, order, callout, context): the callout
// takes the observer, the activity and the context's info.
std::string observerCalloutTypes(const uint64_t*) { return "v^vQ^v"; }

// dispatch_async_f(queue, context, work): work takes the context.
std::string queuedWorkTypes(const uint64_t*) { return "v^v"; }

} // namespace

// Current versions as the link stubs state them (dyld reads only the compatibility version).
// Apple's libraries are built for the release that carries them; every substrate's CydiaSubstrate
// (Cydia Substrate, Substitute, libhooker) is taken as built for an iOS before 12, so that dyld
// checks its compatibility version, 0.0.0, on every release.
const DeviceLibrary kLibraries[] = {
    {kObjc, version(1), version(1)},
    {kSystem, version(1), version(1), DeviceLibrary::ownRelease, {kDispatch, kDyld}},
    {kDispatch, version(1), version(1)},
    {kDyld, version(1), version(1)},
    {kCoreFoundation, version(150), version(150)},
    {kFoundation, version(300), version(300)},
    {kUIKit, version(1), version(1)},
    {kMediaPlayer, version(1), version(1)},
    {kPreferences, version(1), version(1)},
    {kFuseUI, version(1), version(1)},
    {kMediaPlayerUI, version(1), version(1)},
    {kSubstrate, version(0), version(0), version(10)},
};
const size_t kLibraryCount = sizeof kLibraries / sizeof kLibraries[0];

// Each row's first release, where it is after every release modelled: objc4's OBJC_AVAILABLE
// (runtime/message.h, runtime.h, objc-internal.h at objc4-818.2: 2.0 for the classic runtime API,
// 5.0 for autorelease pools and weak references, 13.0 for objc_opt_self), libdispatch's
// API_AVAILABLE (dispatch/queue.h at libdispatch-1271.40.12: 4.0). CoreFoundation's notification
// center, MediaPlayer's keys and the C library have no open-source header with availability; all
// are older than iOS 10.
const Import kImports[] = {
    {kObjc, "_objc_msgSend", Import::message},
    {kObjc, "_objc_msgSendSuper", Import::superMessage},
    {kObjc, "_sel_registerName", Import::function, ":r*"},
    {kObjc, "_objc_getClass", Import::function, "#r*"},
    {kObjc, "_class_getInstanceMethod", Import::function, "^v#:"},
    {kObjc, "_class_addMethod", Import::function, "B#:^?r*", addedMethodTypes},
    {kObjc, "_objc_allocateClassPair", Import::function, "##r*Q"},
    {kObjc, "_objc_registerClassPair", Import::function, "v#"},
    {kObjc, "_class_addIvar", Import::function, "B#r*QCr*"},
    {kObjc, "_class_getInstanceVariable", Import::function, "^v#r*"},
    {kObjc, "_ivar_getOffset", Import::function, "q^v"},
    {kObjc, "_class_addProtocol", Import::function, "B#^v"},
    {kObjc, "_objc_getProtocol", Import::function, "^vr*"},
    {kObjc, "_objc_autoreleasePoolPush", Import::function, "^v"},
    {kObjc, "_objc_autoreleasePoolPop", Import::function, "v^v"},
    {kObjc, "_objc_initWeak", Import::function, "@^@@"},
    {kObjc, "_objc_loadWeakRetained", Import::function, "@^@"},
    {kObjc, "_objc_copyWeak", Import::function, "v^@^@"},
    {kObjc, "_objc_destroyWeak", Import::function, "v^@"},
    {kObjc, "_objc_opt_self", Import::function, "@@", nullptr, nullptr, version(13)},

    {kSystem, "__NSConcreteStackBlock", Import::data},
    {kDispatch, "__dispatch_main_q", Import::data},
    {kDispatch, "_dispatch_async_f", Import::function, "v^v^v^?", queuedWorkTypes},
    {kSystem, "_malloc", Import::function, "^vQ"},
    {kSystem, "_free", Import::function, "v^v"},
    {kSystem, "___error", Import::function, "^i", nullptr, "__errno_location"},
    {kSystem, "_posix_spawn", Import::function, "i^ir*^v^v^*^*"},
    {kSystem, "_waitpid", Import::function, "ii^ii"},
    // The lazy binder: a lazy pointer's first call binds it.
    {kDyld, "dyld_stub_binder", Import::lazyBinder},

    {kCoreFoundation, "_CFNotificationCenterGetDarwinNotifyCenter", Import::function, "^v"},
    {kCoreFoundation, "_CFNotificationCenterAddObserver", Import::function, "v^v^v^?@^vq", notificationCallbackTypes},
    {kCoreFoundation, "_CFNotificationCenterPostNotification", Import::function, "v^v@^v@B"},
    {kCoreFoundation, "_CFRunLoopGetMain", Import::function, "^v"},
    {kCoreFoundation, "_CFRunLoopObserverCreate", Import::function, "^v^vQBq^?^v", observerCalloutTypes},
    {kCoreFoundation, "_CFRunLoopAddObserver", Import::function, "v^v^v@"},
    {kCoreFoundation, "_kCFRunLoopCommonModes", Import::data},

    {kMediaPlayer, "_MPMediaItemPropertyTitle", Import::data},
    {kMediaPlayer, "_MPMediaItemPropertyAlbumTitle", Import::data},
    {kMediaPlayer, "_MPMediaPlaylistPropertyName", Import::data},

    {kSubstrate, "_MSHookMessageEx", Import::function, "v#:^?^^?", hookedMethodTypes},
};
const size_t kImportCount = sizeof kImports / sizeof kImports[0];

} // namespace sim::device

// objc4's objc_opt_self (runtime/objc-internal.h), which the simulated libobjc of iOS 13 and later
// exports: the object itself.
extern "C" __attribute__((visibility("default"))) id objc_opt_self(id object) { return object; }
