// Core Animation's commit, which lays out the views that UIKit marked: `setNeedsLayout` marks a
// view, and the commit, an observer of the main run loop's BeforeWaiting and Exit activities, lays
// out every marked view, in the order they were marked, once per turn that sleeps (an implicit
// transaction is committed when the thread's run loop next iterates: CATransaction's documentation).
// `layoutIfNeeded` lays a marked view out at once.
#pragma once

#include "objc/uikit.hpp"

#include <functional>

namespace sim::ui {

void markForLayout(UI::View view);
void layOutIfMarked(UI::View view);
// Runs `then` right after the next layout of `view` in a commit: what another process does while
// the app lays out its views.
void afterNextLayout(UI::View view, std::function<void()> then);
// A process ends: its commit goes, and what was marked is let go unlaid.
void endCommits();

} // namespace sim::ui
