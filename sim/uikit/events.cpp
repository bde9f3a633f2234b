// UIKit's touches and events, and its additions to NSIndexPath.
#include "sim/platform/objects.hpp"
#include "sim/uikit/uikit.hpp"

namespace sim::ui {

namespace {

struct TouchState {
    CGPoint point{};
    Ref<UI::View> view;
};

// The point the touch was made or moved to, in the view it began in.
CGPoint touchLocationInView(id self, SEL, id) { return state<TouchState>(self).point; }

const StandIn<TouchState> kUITouch{classes, "UITouch", "NSObject",
                                   {method<touchLocationInView>("locationInView:"), getter<&TouchState::view>("view")}};

struct EventState {
    Ref<NS::Set> touches;
};

const StandIn<EventState> kUIEvent{classes, "UIEvent", "NSObject", {getter<&EventState::touches>("allTouches")}};

id indexPathForItem(id cls, SEL, NSInteger item, NSInteger section) {
    NSUInteger indexes[2] = {NSUInteger(section), NSUInteger(item)};
    return Object(cls).send<id>(sel<"indexPathWithIndexes:length:">(), indexes, NSUInteger(2));
}
NSInteger indexPathItem(id self, SEL) { return NSInteger(Object(self).send<NSUInteger>(sel<"indexAtPosition:">(), NSUInteger(1))); }

const StandIn<> kIndexPathAdditions{classes, "NSIndexPath", nullptr,
                                    {method<indexPathItem>("item"), classMethod<indexPathForItem>("indexPathForItem:inSection:")},
                                    Threads::any};

} // namespace

Ref<UI::Touch> makeTouch(CGPoint point, UI::View inView) {
    auto made = make<UI::Touch>("UITouch");
    state<TouchState>(made.get().raw) = {point, Ref<UI::View>::retain(inView)};
    return made;
}

void moveTouch(UI::Touch moved, CGPoint point) { state<TouchState>(moved.raw).point = point; }

Ref<UI::Event> makeEvent(UI::Touch only) {
    auto made = make<UI::Event>("UIEvent");
    state<EventState>(made.get().raw).touches =
        Ref<NS::Set>::retain(NS::classNamed("NSSet").send<NS::Set>(sel<"setWithObject:">(), only));
    return made;
}

} // namespace sim::ui
