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

// Counts its own runs: dyld runs an image's initializers once.
static long initializations = 0;
__attribute__((constructor)) static void initialize() { ++initializations; }
GUEST long guestInitializations() { return initializations; }

GUEST long guestStackArguments(long a0, long a1, long a2, long a3, long a4, long a5, long a6, long a7, char c, short s,
                               int i) {
    return stackSum(a0, a1, a2, a3, a4, a5, a6, a7, c, s, i);
}
GUEST long guestSendsStackArguments(id probe) {
    return objc::Object(probe).send<long>(sel<"stackSum:b:c:d:e:f:g:h:c:s:i:">(), 1L, 2L, 3L, 4L, 5L, 6L, 7L, 8L,
                                          kStackChar, kStackShort, kStackInt);
}

// ---- registers as the core leaves them, all 64 bits ----

// x0 as the host passed a narrower argument in it.
GUEST __attribute__((naked)) long guestRawArgument(int) { asm("ret"); }
// x0 as the host's method left a narrower result in it.
GUEST __attribute__((naked)) long guestRawResult(id, SEL) {
    asm("stp x29, x30, [sp, #-16]!\n"
        "mov x29, sp\n"
        "bl _objc_msgSend\n"
        "ldp x29, x30, [sp], #16\n"
        "ret");
}
// d0 to d3 after a message to nil that was sent with them holding 3.0.
GUEST __attribute__((naked)) CGRect guestNilRect(SEL) {
    asm("stp x29, x30, [sp, #-16]!\n"
        "mov x29, sp\n"
        "mov x1, x0\n"
        "mov x0, #0\n"
        "fmov d0, #3.0\n"
        "fmov d1, #3.0\n"
        "fmov d2, #3.0\n"
        "fmov d3, #3.0\n"
        "bl _objc_msgSend\n"
        "ldp x29, x30, [sp], #16\n"
        "ret");
}

// ---- each breaks a rule ----

GUEST long guestReadsFirstWord(id object) { return *reinterpret_cast<volatile long*>(object); }
// The object the probe's -made answers reaches the guest as a result alone.
GUEST long guestReadsFirstWordOfResult(id probe) {
    return *reinterpret_cast<volatile long*>(objc::Object(probe).send<id>(sel<"made">()));
}
// Data is never executable: the words of a ret instruction in a writable array.
GUEST void guestJumpsToData() {
    static unsigned code[] = {0xd65f03c0};
    reinterpret_cast<void (*)()>(code)();
}
// A call to the host with sp 8 bytes off its alignment.
GUEST __attribute__((naked)) void guestMisalignsTheStack() {
    asm("stp x29, x30, [sp, #-16]!\n"
        "sub sp, sp, #8\n"
        "mov x0, #0\n"
        "mov x1, #0\n"
        "bl _objc_msgSend\n"
        "add sp, sp, #8\n"
        "ldp x29, x30, [sp], #16\n"
        "ret");
}
GUEST void guestJumpsTo(void (*target)()) { target(); }
GUEST long guestReadsAt(long address) { return *reinterpret_cast<volatile long*>(address); }
GUEST long guestRecurses(long depth) {
    if (depth < 0) return 0; // never, for the depths the test starts from
    volatile char frame[4096];
    frame[0] = char(depth);
    return guestRecurses(depth + 1) + frame[0];
}
