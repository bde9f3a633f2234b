// The device core on small arm64 images of the tests' own (guest.cpp, built with the device
// toolchain): every kind of value that crosses the bridge, both ways; each of Apple's rules firing
// on a planted guest fault; the counts of what a call ran; and the loader refusing imports that the
// device does not provide.
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
            .method<probeRecord>(sel<"record:alive:">());
        Class made = builder.registerClass();
        std::string bigTypes = std::string(kBigType) + "@:" + kBigType + "q";
        class_addMethod(made, sel<"bigFrom:plus:">(), reinterpret_cast<IMP>(probeBigFrom), bigTypes.c_str());
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
    static sim::device::Image* image = sim::device::loadImage(DEVICE_CORE_GUEST);
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

TEST_F(DeviceCoreRules, AJumpOutOfGuestTextEndsTheRun) {
    auto jumps = guest<void (*)(void (*)())>("guestJumpsTo", "v^v");
    EXPECT_DEATH(jumps(reinterpret_cast<void (*)()>(puts)),
                 "a call of, or jump to, 0x[0-9a-f]+, which is neither guest text nor a bridge entry, at guest pc "
                 "0x[0-9a-f]+: (br|blr)");
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

TEST(DeviceCoreLoader, ImportsTheDeviceDoesNotProvideThereFailTheLoad) {
    try {
        sim::device::loadImage(DEVICE_CORE_MISPLACED_IMPORT);
        ADD_FAILURE() << "a runtime function bound to Foundation was loaded";
    } catch (const sim::device::LoadError& error) {
        EXPECT_STREQ(error.what(), "the binary binds _objc_getClass to "
                                   "/System/Library/Frameworks/Foundation.framework/Foundation, but the device "
                                   "provides it in /usr/lib/libobjc.A.dylib");
    }
    try {
        sim::device::loadImage(DEVICE_CORE_MISSING_IMPORT);
        ADD_FAILURE() << "a symbol that no library provides was loaded";
    } catch (const sim::device::LoadError& error) {
        EXPECT_STREQ(error.what(), "the simulated device does not provide _twinly_nowhere in "
                                   "/System/Library/Frameworks/Foundation.framework/Foundation");
    }
}

} // namespace
