#include "sim/platform/run_loop.hpp"

#include "objc/system.hpp"
#include "sim/platform/runtime_services.hpp"

#include <Block.h>

#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>


// libdispatch's queue object; the simulated device has only the main queue.
struct dispatch_queue_s {};
SIM_EXPORT dispatch_queue_s _dispatch_main_q{}; // an initialiser: a definition, not just a declaration

struct __CFNotificationCenter {};

namespace sim {

namespace {

using Block = void (^)();

const std::thread::id mainThread = std::this_thread::get_id();

// Work on the main queue: a copy of a block, or a function with its context.
struct Work {
    Block block;
    void (*function)(void*);
    void* context;
};

std::mutex queueLock;
std::deque<Work>& mainQueue() {
    static std::deque<Work> queue;
    return queue;
}

void enqueue(Work work) {
    std::lock_guard<std::mutex> hold(queueLock);
    mainQueue().push_back(work);
}

std::optional<Work> takeNext() {
    std::lock_guard<std::mutex> hold(queueLock);
    if (mainQueue().empty()) return std::nullopt;
    Work work = mainQueue().front();
    mainQueue().pop_front();
    return work;
}

std::deque<std::function<void()>>& nextTurn() {
    static std::deque<std::function<void()>> work;
    return work;
}

struct Observer {
    const void* observer;
    CFNotificationCallback callback;
    objc::Ref<NS::String> name;
    const void* object;
};

std::vector<Observer>& observers() {
    static std::vector<Observer> list;
    return list;
}

__CFNotificationCenter darwinCenter;

void deliver(NS::String name, const void* object, CFDictionaryRef userInfo) {
    // A callback may add observers; the ones present at the post are the ones notified.
    std::vector<Observer> current = observers();
    for (const Observer& entry : current)
        if (!entry.name || entry.name->isEqualToString(name))
            entry.callback(&darwinCenter, const_cast<void*>(entry.observer), sys::cfString(name), object, userInfo);
}

} // namespace

bool onMainThread() { return std::this_thread::get_id() == mainThread; }

void drainMainQueue() {
    while (std::optional<Work> work = takeNext()) {
        NS::AutoreleasePool pool;
        if (work->block) {
            work->block();
            Block_release(work->block);
        } else {
            work->function(work->context);
        }
    }
}

// A function's context belongs to the process, which ends: nothing is left to free it.
void dropMainQueue() {
    while (std::optional<Work> work = takeNext())
        if (work->block) Block_release(work->block);
    nextTurn().clear();
}

size_t pendingMainQueueWork() {
    std::lock_guard<std::mutex> hold(queueLock);
    return mainQueue().size();
}

void onNextTurn(std::function<void()> work) { nextTurn().push_back(std::move(work)); }

// Each turn runs what the turn before left for it; what it leaves waits for the turn after.
void settle() {
    while (!nextTurn().empty()) {
        std::deque<std::function<void()>> turn;
        turn.swap(nextTurn());
        for (auto& work : turn) {
            NS::AutoreleasePool pool;
            work();
        }
    }
}

void removeAllObservers() { observers().clear(); }

size_t observerCount() { return observers().size(); }

} // namespace sim

SIM_EXPORT void dispatch_async(dispatch_queue_s*, void (^block)()) {
    sim::enqueue({Block_copy(block), nullptr, nullptr});
}

SIM_EXPORT void dispatch_async_f(dispatch_queue_s*, void* context, void (*work)(void*)) {
    sim::enqueue({nullptr, work, context});
}

SIM_EXPORT CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter() { return &sim::darwinCenter; }

// Darwin notifications carry only a name; a null name observes every notification, as in
// CoreFoundation.
SIM_EXPORT void CFNotificationCenterAddObserver(CFNotificationCenterRef, const void* observer,
                                                CFNotificationCallback callback, CFStringRef name,
                                                const void* object, long) {
    NS::String nameString(reinterpret_cast<id>(const_cast<__CFString*>(name)));
    objc::Ref<NS::String> kept;
    if (nameString) kept = objc::Ref<NS::String>::adopt(nameString.send<NS::String>(objc::sel<"copy">()));
    sim::observers().push_back({observer, callback, kept, object});
}

// The Darwin center drops the object and user information of a notification, as iOS does.
SIM_EXPORT void CFNotificationCenterPostNotification(CFNotificationCenterRef, CFStringRef name, const void*,
                                                     CFDictionaryRef, BOOL) {
    objc::Ref<NS::String> kept = objc::Ref<NS::String>::adopt(
        NS::String(reinterpret_cast<id>(const_cast<__CFString*>(name))).send<NS::String>(objc::sel<"copy">()));
    if (sim::onMainThread()) {
        sim::deliver(kept, nullptr, nullptr);
        return;
    }
    dispatch_async(&_dispatch_main_q, ^{ sim::deliver(kept, nullptr, nullptr); });
}
