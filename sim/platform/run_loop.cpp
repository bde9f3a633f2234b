#include "sim/platform/run_loop.hpp"

#include "objc/system.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/runtime_services.hpp"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

// libdispatch's queue object; the simulated device has only the main queue.
struct dispatch_queue_s {};
SIM_EXPORT dispatch_queue_s _dispatch_main_q{}; // an initialiser: a definition, not just a declaration

struct __CFNotificationCenter {};

struct __CFRunLoop {};

struct __CFRunLoopObserver {
    CFOptionFlags activities;
    bool repeats;
    CFIndex order;
    CFRunLoopObserverCallBack callout;
    void* info;
    bool firing = false;
};

SIM_EXPORT CFStringRef kCFRunLoopCommonModes = nullptr;

namespace sim {

namespace {

const std::thread::id mainThread = std::this_thread::get_id();

// Work on the main queue: a copy of a block, or a function with its context. A function's context
// belongs to the process: one that ends leaves nothing to free it.
using Work = std::function<void()>;

std::mutex queueLock;
std::deque<Work>& mainQueue() {
    static std::deque<Work> queue;
    return queue;
}

void enqueue(Work work) {
    std::lock_guard<std::mutex> hold(queueLock);
    mainQueue().push_back(std::move(work));
}

std::optional<Work> takeNext() {
    std::lock_guard<std::mutex> hold(queueLock);
    if (mainQueue().empty()) return std::nullopt;
    Work work = std::move(mainQueue().front());
    mainQueue().pop_front();
    return work;
}

struct Observer {
    const void* observer;
    CFNotificationCallback callback;
    objc::Ref<NS::String> name;
};

std::vector<Observer>& observers() {
    static std::vector<Observer> list;
    return list;
}

__CFNotificationCenter darwinCenter;

// A CoreFoundation string is its toll-free bridged NSString.
NS::String bridged(CFStringRef string) { return NS::String(reinterpret_cast<id>(const_cast<__CFString*>(string))); }

// ---- the main run loop ----

__CFRunLoop mainRunLoop;

// Every observer made, owned here until the process ends; those added to a mode that runs, in
// order of `order`.
std::vector<std::unique_ptr<__CFRunLoopObserver>> madeObservers;
std::vector<__CFRunLoopObserver*> runningObservers;

__attribute__((constructor)) void defineModes() {
    kCFRunLoopCommonModes = sys::cfString(NS::String(NS::String::make("kCFRunLoopCommonModes").get().retain()));
}

void notifyObservers(CFOptionFlags activity) {
    std::vector<__CFRunLoopObserver*> called;
    for (__CFRunLoopObserver* observer : runningObservers)
        if ((observer->activities & activity) != 0 && !observer->firing) called.push_back(observer);
    for (__CFRunLoopObserver* observer : called) {
        // An earlier callout of this activity may have ended a non-repeating observer.
        if (std::find(runningObservers.begin(), runningObservers.end(), observer) == runningObservers.end()) continue;
        observer->firing = true;
        observer->callout(observer, activity, observer->info);
        observer->firing = false;
        if (!observer->repeats) std::erase(runningObservers, observer);
    }
}

// The work queued when the drain starts, in order.
void drainOnce() {
    for (size_t count = pendingMainQueueWork(); count > 0; --count)
        if (std::optional<Work> work = takeNext()) {
            NS::AutoreleasePool pool;
            (*work)();
        }
}

// The ends of the animations committed so far, each waiting to wake the thread.
std::vector<std::function<void()>> animationEnds;

// The sleeping thread wakes for one port that has something: the main queue's, whose work it
// drains, else a timer's, the end of the animations pending when it slept. False when nothing is
// pending: it sleeps on.
enum class Woken { no, byMainQueue, byTimer };
Woken wake() {
    bool queued = pendingMainQueueWork() > 0;
    if (!queued && animationEnds.empty()) return Woken::no;
    notifyObservers(kCFRunLoopAfterWaiting);
    if (queued) {
        drainOnce();
        return Woken::byMainQueue;
    }
    std::vector<std::function<void()>> ended;
    ended.swap(animationEnds);
    for (const auto& work : ended) {
        NS::AutoreleasePool pool;
        work();
    }
    return Woken::byTimer;
}

// Depth of the turns running now: an event inside one is the app's own code.
int turning = 0;

// Turns until the run loop sleeps with nothing pending: `source` runs in the first turn, else the
// loop starts by waking for what is pending; the main queue runs in a turn of its own whenever it
// has work.
void turnUntilAsleep(std::function<void()> source) {
    ++turning;
    struct Done {
        ~Done() { --turning; }
    } done;
    bool drainedLastTurn = false;
    if (source) {
        notifyObservers(kCFRunLoopAfterWaiting);
    } else {
        Woken woken = wake();
        if (woken == Woken::no) return;
        drainedLastTurn = woken == Woken::byMainQueue;
    }
    for (;;) {
        NS::AutoreleasePool pool;
        notifyObservers(kCFRunLoopBeforeTimers);
        notifyObservers(kCFRunLoopBeforeSources);
        bool sourceRan = bool(source);
        if (sourceRan) std::exchange(source, nullptr)();
        if (!drainedLastTurn && pendingMainQueueWork() > 0) {
            drainOnce();
            drainedLastTurn = true;
            continue;
        }
        drainedLastTurn = false;
        // After a source the turn only polls: no BeforeWaiting, no sleep, no AfterWaiting.
        if (sourceRan) continue;
        notifyObservers(kCFRunLoopBeforeWaiting);
        Woken woken = wake();
        if (woken == Woken::no) return;
        drainedLastTurn = woken == Woken::byMainQueue;
    }
}

void deliver(NS::String name) {
    // A callback may add observers; the ones present at the post are the ones notified.
    std::vector<Observer> current = observers();
    for (const Observer& entry : current)
        if (!entry.name || entry.name->isEqualToString(name))
            entry.callback(&darwinCenter, const_cast<void*>(entry.observer), sys::cfString(name), nullptr, nullptr);
}

} // namespace

bool onMainThread() { return std::this_thread::get_id() == mainThread; }

void handleEvent(const std::function<void()>& source) {
    if (turning > 0) return source();
    turnUntilAsleep(source);
}

void settle() {
    if (turning > 0) throw std::logic_error("the main run loop settled from inside one of its turns");
    turnUntilAsleep(nullptr);
}

void afterAnimation(std::function<void()> work) { animationEnds.push_back(std::move(work)); }

size_t pendingMainQueueWork() {
    std::lock_guard<std::mutex> hold(queueLock);
    return mainQueue().size();
}

size_t observerCount() { return observers().size(); }

void forgetProcessWork() {
    while (takeNext()) continue;
    animationEnds.clear();
    observers().clear();
    runningObservers.clear();
    madeObservers.clear();
}

} // namespace sim

SIM_EXPORT void dispatch_async(dispatch_queue_s*, void (^block)()) {
    sim::enqueue([kept = sim::KeptBlock(block)] { kept.get()(); });
}

SIM_EXPORT void dispatch_async_f(dispatch_queue_s*, void* context, void (*work)(void*)) {
    sim::enqueue([context, work] { work(context); });
}

SIM_EXPORT CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter() { return &sim::darwinCenter; }

// Darwin notifications carry only a name; a null name observes every notification, as in
// CoreFoundation.
SIM_EXPORT void CFNotificationCenterAddObserver(CFNotificationCenterRef, const void* observer,
                                                CFNotificationCallback callback, CFStringRef name,
                                                const void*, long) {
    objc::Ref<NS::String> kept;
    if (NS::String nameString = sim::bridged(name)) kept = sim::copyOf(nameString);
    sim::observers().push_back({observer, callback, kept});
}

// The Darwin center drops the object and user information of a notification, as iOS does.
SIM_EXPORT void CFNotificationCenterPostNotification(CFNotificationCenterRef, CFStringRef name, const void*,
                                                     CFDictionaryRef, BOOL) {
    objc::Ref<NS::String> kept = sim::copyOf(sim::bridged(name));
    if (sim::onMainThread()) {
        sim::deliver(kept);
        return;
    }
    dispatch_async(&_dispatch_main_q, ^{ sim::deliver(kept); });
}

SIM_EXPORT CFRunLoopRef CFRunLoopGetMain() { return &sim::mainRunLoop; }

SIM_EXPORT CFRunLoopObserverRef CFRunLoopObserverCreate(const void*, CFOptionFlags activities, BOOL repeats,
                                                        CFIndex order, CFRunLoopObserverCallBack callout,
                                                        CFRunLoopObserverContext* context) {
    sim::madeObservers.push_back(std::make_unique<__CFRunLoopObserver>(
        __CFRunLoopObserver{activities, repeats != NO, order, callout, context ? context->info : nullptr}));
    return sim::madeObservers.back().get();
}

// The main run loop runs only its default mode, which belongs to the common modes; an observer is
// added once.
SIM_EXPORT void CFRunLoopAddObserver(CFRunLoopRef, CFRunLoopObserverRef observer, CFStringRef mode) {
    NS::String name = sim::bridged(mode);
    bool runs = mode == kCFRunLoopCommonModes || (name && name.isEqualToString(NS::literal<"kCFRunLoopDefaultMode">()));
    auto& running = sim::runningObservers;
    if (!runs || std::find(running.begin(), running.end(), observer) != running.end()) return;
    auto after = std::upper_bound(running.begin(), running.end(), observer->order,
                                  [](CFIndex order, const __CFRunLoopObserver* other) { return order < other->order; });
    running.insert(after, observer);
}
