// The main queue and the Darwin notify center: work posted to the main queue runs only when the run
// loop drains it, on the main thread, in order; notifications reach observers of their name on the
// main thread. Both forget everything when a process ends.
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"

#include "objc/system.hpp"

#include <gtest/gtest.h>

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
    sim::drainMainQueue();
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
    sim::dropMainQueue();
    EXPECT_EQ(captured->send<NSUInteger>(sel<"retainCount">()), 1u);
    EXPECT_EQ(sim::pendingMainQueueWork(), 0u);
}

TEST(MainQueue, TakesBlocksFromOtherThreads) {
    ran.clear();
    std::thread([] {
        sim::ForeignThread thread;
        sys::runOnMainQueue(^{ ran.push_back(sim::onMainThread() ? 1 : 0); });
    }).join();
    sim::drainMainQueue();
    EXPECT_EQ(ran, (std::vector<int>{1}));
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
    sim::drainMainQueue();
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_TRUE(deliveries[0].onMain);
}

TEST(DarwinNotifications, ReachNobodyOnceTheObserversAreRemoved) {
    NS::AutoreleasePool pool;
    deliveries.clear();
    observe("com.example/reload");
    EXPECT_EQ(sim::observerCount(), 1u);
    sim::removeAllObservers();
    post("com.example/reload");
    EXPECT_TRUE(deliveries.empty());
}

} // namespace
