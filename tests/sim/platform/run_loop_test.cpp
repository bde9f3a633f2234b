// The main run loop, the main queue and the Darwin notify center: each event runs in a turn of the
// run loop, whose observers hear its activities in CF's order; work posted to the main queue runs
// only when the run loop drains it, on the main thread, in order; an animation's end wakes the loop
// after the commit that carries it; notifications reach observers of their name on the main
// thread. All forget everything when a process ends.
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"

#include "objc/system.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

std::vector<int> ran;

void appendTwo(void* list) { static_cast<std::vector<int>*>(list)->push_back(2); }

// Blocks and plain functions with their context (dispatch_async_f) share one queue.
TEST(MainQueue, RunsWorkOnlyWhenDrainedInOrderIncludingWhatItEnqueues) {
    ran.clear();
    sys::runOnMainQueue(^{
        ran.push_back(1);
        sys::runOnMainQueue(^{ ran.push_back(3); });
    });
    sys::runOnMainQueue(&ran, appendTwo);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(sim::pendingMainQueueWork(), 2u);
    sim::settle();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(sim::pendingMainQueueWork(), 0u);
}

TEST(MainQueue, KeepsWhatABlockCapturesUntilItRunsOrIsDropped) {
    auto captured = Ref<Object>::adopt(NS::classNamed("NSObject").send<Object>(sel<"new">()));
    {
        Ref<Object> inBlock = captured;
        sys::runOnMainQueue(^{ inBlock->send<NSUInteger>(sel<"hash">()); });
    }
    EXPECT_EQ(captured->send<NSUInteger>(sel<"retainCount">()), 2u);
    sim::forgetProcessWork();
    EXPECT_EQ(captured->send<NSUInteger>(sel<"retainCount">()), 1u);
    EXPECT_EQ(sim::pendingMainQueueWork(), 0u);
}

TEST(MainQueue, TakesBlocksFromOtherThreads) {
    ran.clear();
    std::thread([] {
        sim::ForeignThread thread;
        sys::runOnMainQueue(^{ ran.push_back(sim::onMainThread() ? 1 : 0); });
    }).join();
    sim::settle();
    EXPECT_EQ(ran, (std::vector<int>{1}));
}

// ---- turns ----

// What the run loop did, in order: "T" BeforeTimers, "S" BeforeSources, "W" BeforeWaiting, "A"
// AfterWaiting, "q" a main-queue item, "e" the event.
std::string happened;

void heard(CFRunLoopObserverRef, CFOptionFlags activity, void* info) {
    const char* letters = static_cast<const char*>(info);
    happened += activity == kCFRunLoopBeforeTimers    ? 'T'
                : activity == kCFRunLoopBeforeSources ? 'S'
                : activity == kCFRunLoopBeforeWaiting ? 'W'
                : activity == kCFRunLoopAfterWaiting  ? 'A'
                                                      : '?';
    if (letters) happened += letters;
}

CFRunLoopObserverRef observeMain(CFOptionFlags activities, CFIndex order, const char* tag = nullptr,
                                 CFStringRef mode = kCFRunLoopCommonModes, BOOL repeats = YES) {
    CFRunLoopObserverContext context{0, const_cast<char*>(tag), nullptr, nullptr, nullptr};
    CFRunLoopObserverRef observer = CFRunLoopObserverCreate(nullptr, activities, repeats, order, heard, &context);
    CFRunLoopAddObserver(CFRunLoopGetMain(), observer, mode);
    return observer;
}

class MainRunLoop : public ::testing::Test {
protected:
    void SetUp() override { happened.clear(); }
    void TearDown() override { sim::forgetProcessWork(); }
    NS::AutoreleasePool pool;
};

// The event runs in a turn that does not wait; the main queue, which it fed, runs in that same turn
// after it, and BeforeWaiting comes only in the next turn, before the loop sleeps.
TEST_F(MainRunLoop, AnEventRunsBeforeTheMainQueueAndTheLoopWaitsOnlyAfterBoth) {
    observeMain(kCFRunLoopAllActivities, 0);
    sim::handleEvent([] {
        happened += 'e';
        sys::runOnMainQueue(^{ happened += 'q'; });
    });
    EXPECT_EQ(happened, "ATSeqTSW");
}

// A drain takes what was queued when it began: what that work queues waits for a later turn, with
// a BeforeWaiting (Core Animation's commit) in between.
TEST_F(MainRunLoop, WorkQueuedByTheMainQueueRunsAtALaterTurnAfterTheCommit) {
    observeMain(kCFRunLoopBeforeWaiting | kCFRunLoopAfterWaiting, 0);
    sys::runOnMainQueue(^{
        happened += 'q';
        sys::runOnMainQueue(^{ happened += 'q'; });
    });
    sim::settle();
    EXPECT_EQ(happened, "AqWAqW");
}

// Observers of one activity are called in order of `order`, the earlier added first among equals;
// one added during a callout waits for the next time; a non-repeating one is called once.
void addFourth(CFRunLoopObserverRef, CFOptionFlags, void*) { observeMain(kCFRunLoopBeforeWaiting, 0, "4"); }

TEST_F(MainRunLoop, ObserversHearAnActivityInOrderAndOnlyThoseAddedBeforeIt) {
    observeMain(kCFRunLoopBeforeWaiting, 10, "2");
    observeMain(kCFRunLoopBeforeWaiting, -5, "1", kCFRunLoopCommonModes, NO);
    observeMain(kCFRunLoopBeforeWaiting, 10, "3");
    CFRunLoopAddObserver(CFRunLoopGetMain(),
                         CFRunLoopObserverCreate(nullptr, kCFRunLoopBeforeWaiting, NO, 20, addFourth, nullptr),
                         kCFRunLoopCommonModes);
    sim::handleEvent([] {});
    sim::handleEvent([] {});
    EXPECT_EQ(happened, "W1W2W3W4W2W3");
}

// The simulated main run loop runs its default mode, one of the common modes; a mode named like
// the common modes is not them (CF compares that name by identity).
TEST_F(MainRunLoop, OnlyObserversOfTheDefaultOrCommonModesHearIt) {
    observeMain(kCFRunLoopBeforeWaiting, 0, "d", sys::cfString(NS::literal<"kCFRunLoopDefaultMode">()));
    observeMain(kCFRunLoopBeforeWaiting, 0, "c");
    observeMain(kCFRunLoopBeforeWaiting, 0, "x", sys::cfString(NS::literal<"kCFRunLoopCommonModes">()));
    observeMain(kCFRunLoopBeforeWaiting, 0, "t", sys::cfString(NS::literal<"UITrackingRunLoopMode">()));
    sim::handleEvent([] {});
    EXPECT_EQ(happened, "WdWc");
}

// An event inside a turn is the app's own code, run on the spot.
TEST_F(MainRunLoop, AnEventInsideATurnRunsAtOnce) {
    observeMain(kCFRunLoopBeforeWaiting, 0);
    sim::handleEvent([] { sim::handleEvent([] { happened += 'e'; }); });
    EXPECT_EQ(happened, "eW");
    EXPECT_THROW(sim::handleEvent([] { sim::settle(); }), std::logic_error);
}

// An animation that an event starts ends once the turn's commit (BeforeWaiting) has carried it and
// the thread has slept: its end wakes the loop after the main queue's work, and what it queues runs
// in the turn after.
TEST_F(MainRunLoop, AnAnimationEndsAfterTheCommitThatCarriesItAndTheMainQueueBeforeIt) {
    observeMain(kCFRunLoopBeforeWaiting | kCFRunLoopAfterWaiting, 0);
    sim::handleEvent([] {
        happened += 'e';
        sim::afterAnimation([] {
            happened += 'a';
            sys::runOnMainQueue(^{ happened += 'q'; });
        });
        sys::runOnMainQueue(^{ happened += 'q'; });
    });
    EXPECT_EQ(happened, "AeqWAaqW");
    sim::afterAnimation([] { happened += 'a'; });
    sim::forgetProcessWork();
    sim::settle();
    EXPECT_EQ(happened, "AeqWAaqW") << "a process that ends takes its animations with it";
}

struct Delivery {
    std::string name;
    bool onMain;
};
std::vector<Delivery> deliveries;

void record(CFNotificationCenterRef, void*, CFStringRef name, const void*, CFDictionaryRef) {
    deliveries.push_back({NS::String(reinterpret_cast<id>(const_cast<__CFString*>(name))).UTF8String(), sim::onMainThread()});
}

void observe(const char* name) {
    CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, record,
                                    sys::cfString(NS::String::make(name)), nullptr, 0);
}

void post(const char* name) {
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         sys::cfString(NS::String::make(name)), nullptr, nullptr, YES);
}

TEST(DarwinNotifications, ReachOnlyObserversOfThatNameAtOnceOnTheMainThread) {
    NS::AutoreleasePool pool;
    deliveries.clear();
    observe("com.example/reload");
    post("com.example/other");
    EXPECT_TRUE(deliveries.empty());
    post("com.example/reload"); // a distinct string object with the same characters
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].name, "com.example/reload");
    EXPECT_TRUE(deliveries[0].onMain);
}

TEST(DarwinNotifications, FromAnotherThreadArriveOnTheMainThreadWhenTheQueueRuns) {
    NS::AutoreleasePool pool;
    deliveries.clear();
    observe("com.example/reload");
    std::thread([] {
        sim::ForeignThread thread;
        post("com.example/reload");
    }).join();
    EXPECT_TRUE(deliveries.empty());
    sim::settle();
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_TRUE(deliveries[0].onMain);
}

TEST(DarwinNotifications, ReachNobodyOnceTheObserversAreRemoved) {
    NS::AutoreleasePool pool;
    deliveries.clear();
    observe("com.example/reload");
    EXPECT_EQ(sim::observerCount(), 1u);
    sim::forgetProcessWork();
    post("com.example/reload");
    EXPECT_TRUE(deliveries.empty());
}

} // namespace
