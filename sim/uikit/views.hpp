// UIKit's views and view controllers as the stand-ins of sim/uikit see each other: the C++ state of
// each, and the relations between them that UIKit keeps.
#pragma once

#include "objc/uikit.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/stand_in.hpp"

#include <algorithm>
#include <functional>
#include <vector>

namespace sim::ui {

// Takes `child` out of what a parent owns and hands over the parent's reference: the child may go
// with it, once the list is consistent again.
template <class T> Ref<T> takeOut(std::vector<Ref<T>>& owned, id child) {
    auto found = std::find_if(owned.begin(), owned.end(), [&](const Ref<T>& each) { return each.get().raw == child; });
    Ref<T> taken = std::move(*found);
    owned.erase(found);
    return taken;
}

struct ViewState {
    CGRect frame{};
    CGFloat alpha = 1.0;
    BOOL interactive = YES;
    NSUInteger autoresizingMask = 0;
    std::vector<Ref<UI::View>> subviews;
    id superview = nullptr;  // not owned: the superview owns its subviews
    id controller = nullptr; // not owned: the controller owns its view
    Ref<Object> backgroundColor;
    Ref<Object> tintColor;
    ~ViewState();
};
inline ViewState& view(id self) { return state<ViewState>(self); }

// Adds `subview` at the top of `self`'s subviews, taking it from its former superview.
void addSubview(id self, id subview);
// The window whose hierarchy holds the view (and so shows it), or nil.
id windowOf(id view);

struct ControllerState {
    Ref<UI::View> view;
    Ref<NS::String> title;
    Ref<Object> navigationItem;
    id parent = nullptr; // not owned: the parent owns its children
    std::vector<Ref<UI::ViewController>> children;
    bool definesPresentationContext = false;
    Ref<UI::ViewController> presented;
    id presenting = nullptr; // not owned: the presenter owns what it presents
    // Its presentation or dismissal is under way, to finish at the next turn of the run loop.
    bool inTransition = false;
    ~ControllerState();
};
inline ControllerState& controller(id self) { return state<ControllerState>(self); }

// The controller's view, loaded (loadView, viewDidLoad) at its first use.
id viewOf(id controller);

// The controller presented last, on top of the others, or nil.
id topPresentation();
// Dismisses `presented`, animated or not (presentation.cpp), then runs `done`.
void dismiss(id presented, bool animated, std::function<void()> done);

} // namespace sim::ui
