// What the simulated device exports to device binaries, library by library: the C signature of
// each function (Objective-C type encodings, as the device's arm64 headers declare them), and the
// data symbols. An import that a binary binds must be here, under the library it names.
#include "sim/device_core/bridge.hpp"

#include "objc/runtime.hpp"

extern "C" const char* method_getTypeEncoding(Method method);

namespace sim::device {
namespace {

constexpr const char* kObjc = "/usr/lib/libobjc.A.dylib";
constexpr const char* kSystem = "/usr/lib/libSystem.B.dylib";
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

    {kSystem, "__NSConcreteStackBlock", Import::data},
    {kSystem, "__dispatch_main_q", Import::data},
    {kSystem, "_dispatch_async_f", Import::function, "v^v^v^?", queuedWorkTypes},
    {kSystem, "_malloc", Import::function, "^vQ"},
    {kSystem, "_free", Import::function, "v^v"},
    {kSystem, "___error", Import::function, "^i", nullptr, "__errno_location"},
    {kSystem, "_posix_spawn", Import::function, "i^ir*^v^v^*^*"},
    {kSystem, "_waitpid", Import::function, "ii^ii"},
    // Lazy pointers are bound at load, so dyld's binder never runs.
    {kSystem, "dyld_stub_binder", Import::unreachable},

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
