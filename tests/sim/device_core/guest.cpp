// Guest code for the device core's tests: built for arm64 iOS with the device toolchain and run in
// the device core. Each function exercises one kind of crossing, or breaks one of Apple's rules.
#include "objc/system.hpp"
#include "tests/sim/device_core/crossings.hpp"

#define GUEST extern "C" __attribute__((visibility("default")))

using objc::sel;

// ---- the host calls these ----

GUEST long guestCombine(long a, int b, BOOL flag, unsigned char c) { return combine(a, b, flag, c); }
GUEST CGRect guestRectAt(CGPoint origin, CGSize size, double scale) { return rectAt(origin, size, scale); }
GUEST Big guestBigFrom(Big big, long a) { return bigFrom(big, a); }
GUEST double guestHalf(float x) { return half(x); }
GUEST long guestCallsBlock(long (^block)(long), long x) { return block(x) + 1; }

// ---- these call the host ----

GUEST void guestAsksHost(id probe, Answers* answers) {
    objc::Object host(probe);
    answers->combined = host.send<long>(sel<"combine:with:flag:byte:">(), kCombineA, kCombineB, YES, kCombineC);
    answers->refused = host.send<long>(sel<"combine:with:flag:byte:">(), kCombineA, kCombineB, NO, kCombineC);
    answers->rect = host.send<CGRect>(sel<"rectAt:size:scale:">(), kOrigin, kSize, kScale);
    answers->big = host.send<Big>(sel<"bigFrom:plus:">(), kBig, kBigAddend);
    answers->half = host.send<double>(sel<"half:">(), kHalfOf);
}

// The probe keeps a copy of the block; it records its argument, and whether `weakly` was still
// alive, when called.
GUEST void guestHandsOverBlock(id probe, id kept, id weakly) {
    objc::Object host(probe);
    objc::Ref<objc::Object> strong = objc::Ref<objc::Object>::retain(objc::Object(kept));
    objc::Weak<objc::Object> weak{objc::Object(weakly)};
    host.send(sel<"keep:">(), ^(long value) {
        objc::Ref<objc::Object> alive = weak.load();
        host.send(sel<"record:alive:">(), value + long(strong.get().raw != nullptr), BOOL(bool(alive)));
    });
}

// -level as DeviceCoreProbe's superclass implements it.
GUEST long guestSuperLevel(id probe) {
    return objc::sendSuper<long>(probe, objc_getClass("DeviceCoreProbeBase"), sel<"level">());
}

GUEST long guestMessageToNil() { return objc::Object().send<long>(sel<"level">()) + 1; }

// ---- each breaks a rule ----

GUEST long guestReadsFirstWord(id object) { return *reinterpret_cast<volatile long*>(object); }
GUEST void guestJumpsTo(void (*target)()) { target(); }
GUEST long guestReadsAt(long address) { return *reinterpret_cast<volatile long*>(address); }
GUEST long guestRecurses(long depth) {
    if (depth < 0) return 0; // never, for the depths the test starts from
    volatile char frame[4096];
    frame[0] = char(depth);
    return guestRecurses(depth + 1) + frame[0];
}
