// The device core on small arm64 images of the tests' own (guest.cpp, built with the device
// toolchain): every kind of value that crosses the bridge, both ways, with each detail of Apple's
// convention that the core models; each of Apple's rules firing on a planted guest fault; and the
// counts of what a call ran.
#include "sim/device_core/bridge.hpp"
#include "sim/device_core/core.hpp"
#include "sim/device_core/loader.hpp"
#include "tests/sim/device_core/crossings.hpp"

#include "objc/class_builder.hpp"

#include <gtest/gtest.h>

extern "C" void* _Block_copy(const void* block);
extern "C" void _Block_release(const void* block);
extern "C" int puts(const char* text);

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;
using sim::device::hostCallable;

constexpr const char* kRect = "{CGRect={CGPoint=dd}{CGSize=dd}}";
constexpr const char* kBigType = "{Big=qqq}";

// ---- the host's side: a probe class whose methods compute what the guest computes ----

long probeLevel(id, SEL) { return 2; }
long baseLevel(id, SEL) { return 1; }
long probeCombine(id, SEL, long a, int b, BOOL flag, unsigned char c) { return combine(a, b, flag, c); }
CGRect probeRectAt(id, SEL, CGPoint origin, CGSize size, double scale) { return rectAt(origin, size, scale); }
Big probeBigFrom(id, SEL, Big big, long a) { return bigFrom(big, a); }
double probeHalf(id, SEL, float x) { return half(x); }

void (^keptBlock)(long) = nullptr;
void probeKeep(id, SEL, void (^block)(long)) { keptBlock = reinterpret_cast<void (^)(long)>(_Block_copy(block)); }
long recordedValue = 0;
BOOL recordedAlive = NO;
void probeRecord(id, SEL, long value, BOOL alive) {
    recordedValue = value;
    recordedAlive = alive;
}
long probeStackSum(id, SEL, long a0, long a1, long a2, long a3, long a4, long a5, long a6, long a7, char c, short s,
                   int i) {
    return stackSum(a0, a1, a2, a3, a4, a5, a6, a7, c, s, i);
}
int probeNegative(id, SEL) { return -3; }
unsigned char probeByte(id, SEL) { return 250; }
// An object that reaches the guest only as this method's result.
id probeMade(id, SEL) {
    static Ref<Object> made = Ref<Object>::adopt(objc::classObject(objc::lookUpClass("NSObject")).send<Object>(sel<"new">()));
    return made.get().raw;
}

Class probeClass() {
    static Class probe = [] {
        objc::ClassBuilder base("DeviceCoreProbeBase", objc::lookUpClass("NSObject"));
        base.method<baseLevel>(sel<"level">());
        objc::ClassBuilder builder("DeviceCoreProbe", base.registerClass());
        builder.method<probeLevel>(sel<"level">())
            .method<probeCombine>(sel<"combine:with:flag:byte:">())
            .method<probeRectAt>(sel<"rectAt:size:scale:">())
            .method<probeHalf>(sel<"half:">())
            .method<probeKeep>(sel<"keep:">())
            .method<probeRecord>(sel<"record:alive:">())
            .method<probeNegative>(sel<"negative">())
            .method<probeByte>(sel<"byte">())
            .method<probeMade>(sel<"made">());
        Class made = builder.registerClass();
        std::string bigTypes = std::string(kBigType) + "@:" + kBigType + "q";
        class_addMethod(made, sel<"bigFrom:plus:">(), reinterpret_cast<IMP>(probeBigFrom), bigTypes.c_str());
        // The binding's encodings have no short.
        class_addMethod(made, sel<"stackSum:b:c:d:e:f:g:h:c:s:i:">(), reinterpret_cast<IMP>(probeStackSum),
                        "q@:qqqqqqqqcsi");
        return made;
    }();
    return probe;
}

Ref<Object> make(const char* className) {
    return Ref<Object>::adopt(objc::classObject(objc::lookUpClass(className)).send<Object>(sel<"new">()));
}

NSUInteger retainCount(Object object) { return object.send<NSUInteger>(sel<"retainCount">()); }

// ---- the guest's side ----

sim::device::Image* guestImage() {
    static sim::device::Image* image = sim::device::openLibrary(DEVICE_CORE_GUEST, sim::device::defaultDevice()).guest;
    return image;
}

template <class F> F guest(const char* name, const std::string& types) {
    uint64_t address = sim::device::symbolAddress(guestImage(), std::string("_") + name);
    if (address == 0) ADD_FAILURE() << "the guest image has no " << name;
    return reinterpret_cast<F>(hostCallable(address, types));
}

void expectRect(CGRect found, CGRect expected) {
    EXPECT_EQ(found.origin.x, expected.origin.x);
    EXPECT_EQ(found.origin.y, expected.origin.y);
    EXPECT_EQ(found.size.width, expected.size.width);
    EXPECT_EQ(found.size.height, expected.size.height);
}

void expectBig(Big found, Big expected) {
    EXPECT_EQ(found.a, expected.a);
    EXPECT_EQ(found.b, expected.b);
    EXPECT_EQ(found.c, expected.c);
}

TEST(DeviceCoreBridge, ValuesOfEveryKindCrossFromTheHostToTheGuest) {
    auto combined = guest<long (*)(long, int, BOOL, unsigned char)>("guestCombine", "qqiCC");
    EXPECT_EQ(combined(kCombineA, kCombineB, YES, kCombineC), combine(kCombineA, kCombineB, YES, kCombineC));
    EXPECT_EQ(combined(kCombineA, kCombineB, NO, kCombineC), -1);
    auto rect = guest<CGRect (*)(CGPoint, CGSize, double)>(
        "guestRectAt", std::string(kRect) + "{CGPoint=dd}{CGSize=dd}d");
    expectRect(rect(kOrigin, kSize, kScale), rectAt(kOrigin, kSize, kScale));
    auto big = guest<Big (*)(Big, long)>("guestBigFrom", std::string(kBigType) + kBigType + "q");
    expectBig(big(kBig, kBigAddend), bigFrom(kBig, kBigAddend));
    EXPECT_EQ(guest<double (*)(float)>("guestHalf", "df")(kHalfOf), half(kHalfOf));
}

TEST(DeviceCoreBridge, MessagesFromTheGuestReachTheHostByTheMethodsTypes) {
    auto probe = make(class_getName(probeClass()));
    Answers answers{};
    guest<void (*)(id, Answers*)>("guestAsksHost", "v@^v")(probe.get().raw, &answers);
    EXPECT_EQ(answers.combined, combine(kCombineA, kCombineB, YES, kCombineC));
    EXPECT_EQ(answers.refused, -1);
    expectRect(answers.rect, rectAt(kOrigin, kSize, kScale));
    expectBig(answers.big, bigFrom(kBig, kBigAddend));
    EXPECT_EQ(answers.half, half(kHalfOf));
}

// Counts, not times: the same call runs as many guest instructions each time, and crosses once
// into the guest and once out for each of its five messages.
TEST(DeviceCoreBridge, CountsTheGuestInstructionsAndCrossingsOfACall) {
    auto probe = make(class_getName(probeClass()));
    auto asks = guest<void (*)(id, Answers*)>("guestAsksHost", "v@^v");
    auto count = [&] {
        Answers answers{};
        sim::device::Counts before = sim::device::counts();
        asks(probe.get().raw, &answers);
        sim::device::Counts after = sim::device::counts();
        return sim::device::Counts{after.instructions - before.instructions, after.crossings - before.crossings};
    };
    count(); // registers the selectors
    sim::device::Counts first = count(), second = count();
    EXPECT_EQ(first.crossings, 6u);
    EXPECT_GT(first.instructions, 0u);
    EXPECT_EQ(second.instructions, first.instructions);
    EXPECT_EQ(second.crossings, first.crossings);
}

TEST(DeviceCoreBridge, SuperSendsAndMessagesToNil) {
    auto probe = make(class_getName(probeClass()));
    EXPECT_EQ(guest<long (*)(id)>("guestSuperLevel", "q@")(probe.get().raw), 1);
    EXPECT_EQ(guest<long (*)()>("guestMessageToNil", "q")(), 1);
    // Apple's objc_msgSend for nil zeroes the floating-point result registers too.
    expectRect(guest<CGRect (*)(SEL)>("guestNilRect", std::string(kRect) + ":")(sel<"rectAt:size:scale:">()), CGRect{});
}

TEST(DeviceCoreBridge, ArgumentsPastTheRegistersArePackedByTheirOwnSizeBothWays) {
    auto toGuest = guest<long (*)(long, long, long, long, long, long, long, long, char, short, int)>(
        "guestStackArguments", "qqqqqqqqqcsi");
    EXPECT_EQ(toGuest(1, 2, 3, 4, 5, 6, 7, 8, kStackChar, kStackShort, kStackInt),
              stackSum(1, 2, 3, 4, 5, 6, 7, 8, kStackChar, kStackShort, kStackInt));
    auto probe = make(class_getName(probeClass()));
    EXPECT_EQ(guest<long (*)(id)>("guestSendsStackArguments", "q@")(probe.get().raw),
              stackSum(1, 2, 3, 4, 5, 6, 7, 8, kStackChar, kStackShort, kStackInt));
}

// Apple's convention extends what is narrower than 32 bits to 32 and leaves the upper half of the
// register undefined: the core fills it with junk both ways, so guest code that reads more than
// its type fails here as it may on a device.
TEST(DeviceCoreBridge, ANarrowIntegerReachesTheGuestWithJunkAboveItsLow32Bits) {
    auto raw = guest<long (*)(int)>("guestRawArgument", "qi");
    auto rawResult = guest<long (*)(id, SEL)>("guestRawResult", "q@:");
    auto probe = make(class_getName(probeClass()));
    for (uint64_t found : {uint64_t(raw(-3)), uint64_t(rawResult(probe.get().raw, sel<"negative">()))}) {
        EXPECT_EQ(found & 0xffffffff, 0xfffffffdu);
        EXPECT_NE(found >> 32, 0xffffffffu) << "sign-extended to 64 bits";
    }
    uint64_t byte = uint64_t(rawResult(probe.get().raw, sel<"byte">()));
    EXPECT_EQ(byte & 0xffffffff, 250u);
    EXPECT_NE(byte >> 32, 0u) << "zero-extended to 64 bits";
}

TEST(DeviceCoreLoader, AnImageOpenedAgainRunsItsInitializersOnce) {
    guestImage();
    sim::device::Library again = sim::device::openLibrary(DEVICE_CORE_GUEST, sim::device::defaultDevice());
    EXPECT_EQ(again.guest, guestImage());
    EXPECT_EQ(guest<long (*)()>("guestInitializations", "q")(), 1);
    sim::device::closeLibrary(again);
    EXPECT_TRUE(sim::device::libraryLoaded(DEVICE_CORE_GUEST));
}

TEST(DeviceCoreBridge, BlocksCrossBothWaysWithTheirOwnHelpers) {
    EXPECT_EQ(guest<long (*)(long (^)(long), long)>("guestCallsBlock", "q@?q")(^(long x) { return x * 3; }, 5), 16);

    auto probe = make(class_getName(probeClass()));
    auto kept = make("NSObject");
    auto weakly = make("NSObject");
    guest<void (*)(id, id, id)>("guestHandsOverBlock", "v@@@")(probe.get().raw, kept.get().raw, weakly.get().raw);
    ASSERT_NE(keptBlock, nullptr);
    // The host's copy holds the captured reference: the guest's copy helper retained it.
    EXPECT_EQ(retainCount(kept), 2u);
    keptBlock(10);
    EXPECT_EQ(recordedValue, 11);
    EXPECT_TRUE(recordedAlive);
    // The captured weak reference, copied by the guest's helper, reads nil once its object is gone.
    weakly = {};
    keptBlock(20);
    EXPECT_EQ(recordedValue, 21);
    EXPECT_FALSE(recordedAlive);
    _Block_release(keptBlock);
    keptBlock = nullptr;
    EXPECT_EQ(retainCount(kept), 1u);
}

// ---- Apple's rules, each on a planted fault ----

class DeviceCoreRules : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(DeviceCoreRules, ALoadOfAnObjectsFirstWordIsAnIsaRead) {
    auto object = make("NSObject");
    auto reads = guest<long (*)(id)>("guestReadsFirstWord", "q@");
    EXPECT_DEATH(reads(object.get().raw), "a load of the isa of the object at 0x[0-9a-f]+ .*at guest pc 0x[0-9a-f]+: ldr");
}

TEST_F(DeviceCoreRules, AnObjectThatReachesTheGuestAsAResultIsWatchedToo) {
    auto probe = make(class_getName(probeClass()));
    auto reads = guest<long (*)(id)>("guestReadsFirstWordOfResult", "q@");
    EXPECT_DEATH(reads(probe.get().raw), "a load of the isa of the object at 0x[0-9a-f]+ .*at guest pc 0x[0-9a-f]+: ldr");
}

TEST_F(DeviceCoreRules, AJumpOutOfGuestTextEndsTheRun) {
    auto jumps = guest<void (*)(void (*)())>("guestJumpsTo", "v^v");
    EXPECT_DEATH(jumps(reinterpret_cast<void (*)()>(puts)),
                 "a call of, or jump to, 0x[0-9a-f]+, which is neither guest text nor a bridge entry, at guest pc "
                 "0x[0-9a-f]+: (br|blr)");
    EXPECT_DEATH(guest<void (*)()>("guestJumpsToData", "v")(),
                 "a call of, or jump to, 0x[0-9a-f]+, which is neither guest text nor a bridge entry");
}

TEST_F(DeviceCoreRules, ACallToTheHostWithAMisalignedStackEndsTheRun) {
    EXPECT_DEATH(guest<void (*)()>("guestMisalignsTheStack", "v")(),
                 "a call to the host with the stack pointer at 0x[0-9a-f]+8, which is not 16-byte aligned");
}

TEST_F(DeviceCoreRules, AnAccessToMemoryTheHostHasNotAllocatedEndsTheRun) {
    auto reads = guest<long (*)(long)>("guestReadsAt", "qq");
    EXPECT_DEATH(reads(0x10), "an access to 0x10 \\(8 bytes\\), memory that the host has not allocated, at guest pc "
                              "0x[0-9a-f]+: ldr");
}

TEST_F(DeviceCoreRules, AGuestStackOverflowEndsTheRun) {
    auto recurses = guest<long (*)(long)>("guestRecurses", "qq");
    EXPECT_DEATH(recurses(0), "guest stack overflow .*at guest pc 0x[0-9a-f]+: ");
}

} // namespace
