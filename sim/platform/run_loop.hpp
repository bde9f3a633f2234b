// The main thread's run loop as the simulated apps drive it: libdispatch's main queue
// (`_dispatch_main_q`, `dispatch_async`, `dispatch_async_f`) and the Darwin notify center
// (`CFNotificationCenterGetDarwinNotifyCenter`, `...AddObserver`, `...PostNotification`), both
// exported with C linkage for the product.
//
// Turns: work that UIKit leaves for the next turn of the run loop (an animation that finishes) runs
// when the simulator lets the run loop turn, which it does after each action of the user.
//
// Delivery: a notification posted on the main thread reaches its observers at once, inside the
// post; one posted on another thread is delivered by the main queue, so observers always run on
// the main thread. The main queue runs only when the simulator drains it.
#pragma once

#include <cstddef>
#include <functional>

namespace sim {

// Whether the calling thread is the one that loaded the simulated device.
bool onMainThread();

// Runs the main queue's work in order, what it enqueues included, until the queue is empty. On the
// device one turn runs all the work queued when it began (libdispatch-703.50.37 src/queue.c,
// _dispatch_main_queue_drain: a snapshot of the queue), which is never less.
void drainMainQueue();
// Drops the queued work, and what waits for the next turn, without running it, releasing the
// blocks (a process that ends).
void dropMainQueue();
size_t pendingMainQueueWork();

// Runs `work` at the next turn of the run loop.
void onNextTurn(std::function<void()> work);
// Turns the run loop until no work waits for a next turn: what is on screen settles.
void settle();

// Forgets every observer (a process that ends).
void removeAllObservers();
size_t observerCount();

} // namespace sim
