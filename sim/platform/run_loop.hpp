// The main thread's run loop as the simulated apps drive it: its turns and their observers
// (`CFRunLoopGetMain`, `CFRunLoopObserverCreate`, `CFRunLoopAddObserver`, `kCFRunLoopCommonModes`),
// libdispatch's main queue (`_dispatch_main_q`, `dispatch_async`, `dispatch_async_f`) and the Darwin
// notify center (`CFNotificationCenterGetDarwinNotifyCenter`, `...AddObserver`,
// `...PostNotification`), all exported with C linkage for the product.
//
// Turns, in CF's order (CFRunLoop.c, __CFRunLoopRun, CF-1153.18; the same order in every later
// open copy of it): each turn tells its observers BeforeTimers and BeforeSources, then runs the
// signalled sources (the simulator's event: a touch, a screen the user opens). If the main queue
// has work and did not run in the previous turn, it runs and the turn ends there. Otherwise, unless
// a source ran, the observers hear BeforeWaiting (Core Animation's commit, which lays out the views
// marked for layout) and the thread sleeps. A port wakes it at once when it has something
// (AfterWaiting): the main queue's, whose turn drains the queue, else a timer's, whose turn runs
// the animations that ended. A drain takes what is queued when it starts; what that work queues
// waits for a later turn (libdispatch's _dispatch_main_queue_drain, libdispatch-703.1.4 to
// libdispatch-1271.120.2, src/queue.c). Observers of one activity are called in order of their
// `order` (the earlier added first among equals), never again inside their own callout, and one
// added meanwhile waits for the next time; one that does not repeat is called once
// (__CFRunLoopDoObservers, CFRunLoopAddObserver, same file). The simulated main run loop runs only
// its default mode: an observer hears it when added to that mode or to kCFRunLoopCommonModes
// (compared by identity, as CF does); any other mode never runs.
//
// Animations: an animation that Core Animation commits at BeforeWaiting runs while the thread
// sleeps, and its end wakes the thread in a later turn, as a timer; the animated presentations and
// dismissals of UIKit finish there. Nothing ends sooner than the commit that carries it.
//
// Delivery of notifications: one posted on the main thread reaches its observers at once, inside
// the post; one posted on another thread is delivered by the main queue, so observers always run
// on the main thread.
#pragma once

#include <cstddef>
#include <functional>

namespace sim {

// Whether the calling thread is the one that loaded the simulated device.
bool onMainThread();

// One event: the sleeping main run loop wakes (AfterWaiting), runs `source` in its next turn and
// turns until it sleeps with nothing pending. Called from inside a turn (code that the app runs
// there), `source` simply runs.
void handleEvent(const std::function<void()>& source);

// The sleeping main run loop wakes for what is pending (main-queue work, an animation that ended)
// and turns until it sleeps with nothing pending: what is on screen settles. Not from inside a turn.
void settle();

// `work` runs when the animation that the next commit carries ends: in a turn after the thread
// next sleeps.
void afterAnimation(std::function<void()> work);

size_t pendingMainQueueWork();
// Notification observers.
size_t observerCount();

// A process ends: what it queued and its animations' ends go unrun (the blocks released), and its
// notification and run-loop observers go.
void forgetProcessWork();

} // namespace sim
