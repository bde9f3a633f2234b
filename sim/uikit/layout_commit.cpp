#include "sim/uikit/layout_commit.hpp"

#include "objc/system.hpp"
#include "sim/platform/objects.hpp"

#include <algorithm>
#include <map>
#include <unordered_set>
#include <vector>

namespace sim::ui {

namespace {

// Core Animation's order among the main run loop's observers, as the run loop's description lists
// it on iOS (UIKit's own observers come just before and after it).
constexpr CFIndex kCommitOrder = 2000000;

struct Commits {
    CFRunLoopObserverRef observer = nullptr;
    std::vector<Ref<UI::View>> marked;
    // The marked views again, to find one without scanning: a view is marked at most once, and a
    // table of 100 000 rows marks as many.
    std::unordered_set<id> markedSet;
    std::map<id, std::function<void()>> after;
};
Commits& commits() {
    static Commits process;
    return process;
}

void commit(CFRunLoopObserverRef, CFOptionFlags, void*) {
    std::vector<Ref<UI::View>> marked;
    marked.swap(commits().marked);
    commits().markedSet.clear();
    for (const Ref<UI::View>& view : marked) {
        view->send(objc::sel<"layoutSubviews">());
        auto then = commits().after.extract(view.get().raw);
        if (!then.empty()) then.mapped()();
    }
}

} // namespace

void markForLayout(UI::View view) {
    Commits& process = commits();
    if (!process.observer) {
        process.observer = CFRunLoopObserverCreate(nullptr, kCFRunLoopBeforeWaiting | kCFRunLoopExit, YES,
                                                   kCommitOrder, commit, nullptr);
        CFRunLoopAddObserver(CFRunLoopGetMain(), process.observer, kCFRunLoopCommonModes);
    }
    if (process.markedSet.insert(view.raw).second) process.marked.push_back(Ref<UI::View>::retain(view));
}

void layOutIfMarked(UI::View view) {
    auto& marked = commits().marked;
    if (commits().markedSet.erase(view.raw) == 0) return;
    auto entry = std::find_if(marked.begin(), marked.end(), [&](const Ref<UI::View>& each) { return each.get() == view; });
    Ref<UI::View> kept = *entry;
    marked.erase(entry);
    kept->send(objc::sel<"layoutSubviews">());
}

void afterNextLayout(UI::View view, std::function<void()> then) { commits().after[view.raw] = std::move(then); }

void endCommits() { commits() = Commits(); }

} // namespace sim::ui
