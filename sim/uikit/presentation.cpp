// UIKit's presentations: presentViewController:animated:completion:,
// dismissViewControllerAnimated:completion:, and the presented and presenting controllers, as
// UIKit's documentation and headers give them.
//
// - A presentation asked of a controller is made by the nearest of it and its parents that defines a
//   presentation context, else by the top of its parent chain (UIPresentationController's
//   presentingViewController: "the root view controller of the window, a parent view controller that
//   is marked as defining the current context, or the last view controller that was presented
//   onscreen").
// - presentedViewController is "the view controller that was presented by this view controller or its
//   nearest ancestor" (UIViewController.h).
// - UIKit refuses a presentation from a controller whose view is not in a window, one that is
//   already presenting, and one whose own presentation or dismissal is under way, and only logs it
//   ("Attempt to present <A> on <B> whose view is not in the window hierarchy!", "... which is already
//   presenting <C>", "... while a presentation is in progress!"): the completion never runs.
// - presentViewController:animated:completion: "sets the presentedViewController property to the
//   specified view controller ... and then adds the view to the view hierarchy", so a second
//   presentation at once is refused; "the completion handler is called after the viewDidAppear:
//   method is called on the presented view controller", once the animation has run: in the
//   simulated device an animated presentation or dismissal finishes when its animation ends, in a
//   turn of the main run loop after the commit that carries it (run_loop.hpp).
// - "The presenting view controller is responsible for dismissing the view controller it presented.
//   If you call this method on the presented view controller itself, UIKit asks the presenting view
//   controller to handle the dismissal"; what was presented above it goes with it.
#include "sim/platform/objects.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/transcript.hpp"
#include "sim/uikit/uikit.hpp"
#include "sim/uikit/views.hpp"

#include <algorithm>

namespace sim::ui {

namespace {

// In order of presentation: the last is on top.
std::vector<Ref<UI::ViewController>>& presentations() {
    static std::vector<Ref<UI::ViewController>> onScreen;
    return onScreen;
}

bool isPresented(id shown) {
    return std::any_of(presentations().begin(), presentations().end(), [&](const auto& c) { return c.get().raw == shown; });
}

id topOfParents(id self) {
    while (controller(self).parent) self = controller(self).parent;
    return self;
}

id presentationContext(id self) {
    while (!controller(self).definesPresentationContext && controller(self).parent) self = controller(self).parent;
    return self;
}

id presentedBy(id self) {
    for (id current = self; current != nullptr; current = controller(current).parent)
        if (controller(current).presented) return controller(current).presented.get().raw;
    return nullptr;
}

// A controller as the refusals name it: its class, and an alert's message.
std::string describe(id shown) {
    std::string name = class_getName(objc::classOf(shown));
    if (!Object(shown).isKindOfClass(objc::lookUpClass("UIAlertController"))) return name;
    return name + " " + quotedOrNone(text(Object(shown).send<NS::String>(sel<"message">())));
}

bool refuses(id presenter, id presented) {
    std::string why;
    if (!windowOf(controller(presenter).view.get().raw))
        why = "whose view is not in the window hierarchy!";
    else if (id already = controller(presenter).presented.get().raw)
        why = "which is already presenting <" + describe(already) + ">";
    else if (controller(presenter).inTransition)
        why = "while a presentation is in progress!";
    else
        return false;
    transcript("  UIKit: refused to present: Attempt to present <" + describe(presented) + "> on <" + describe(presenter) +
               "> " + why);
    return true;
}

// `finish` runs when the animation ends, or at once without one; the controller is in transition
// until then. A controller that left the screen meanwhile (the app ended) finishes nothing.
void transition(id shown, bool animated, std::function<void()> finish) {
    if (!animated) return finish();
    controller(shown).inTransition = true;
    afterAnimation([kept = Ref<UI::ViewController>::retain(UI::ViewController(shown)), finish] {
        controller(kept.get().raw).inTransition = false;
        if (isPresented(kept.get().raw)) finish();
    });
}

// Takes `presented`, and whatever was presented above it, off the screen.
void takeOffScreen(id presented) {
    auto& onScreen = presentations();
    while (isPresented(presented)) {
        Ref<UI::ViewController> top = onScreen.back();
        onScreen.pop_back();
        id presenter = controller(top.get().raw).presenting;
        controller(top.get().raw).presenting = nullptr;
        if (presenter) controller(presenter).presented = Ref<UI::ViewController>();
        top->view().send(sel<"removeFromSuperview">());
    }
}

void controllerPresent(id self, SEL, id presented, BOOL animated, UI::Completion completion) {
    if (presented == nullptr) return;
    id presenter = presentationContext(self);
    if (refuses(presenter, presented)) return;
    auto kept = Ref<UI::ViewController>::retain(UI::ViewController(presented));
    controller(presenter).presented = kept;
    controller(presented).presenting = presenter;
    presentations().push_back(kept);
    addSubview(windowOf(controller(presenter).view.get().raw), viewOf(presented));
    kept->send(sel<"viewWillAppear:">(), animated);
    transition(presented, animated, [kept, animated, done = KeptBlock(completion)] {
        kept->send(sel<"viewDidAppear:">(), animated);
        if (done.get()) done.get()();
    });
}

id controllerPresented(id self, SEL) { return presentedBy(self); }

void controllerDismiss(id self, SEL, BOOL animated, UI::Completion completion) {
    id target = presentedBy(self);
    if (target == nullptr && controller(topOfParents(self)).presenting) target = topOfParents(self);
    if (target == nullptr) return;
    dismiss(target, animated, [done = KeptBlock(completion)] {
        if (done.get()) done.get()();
    });
}

const StandIn<> kPresentation{classes, "UIViewController", nullptr,
                              {method<controllerPresent>("presentViewController:animated:completion:"),
                               method<controllerPresented>("presentedViewController"),
                               method<controllerDismiss>("dismissViewControllerAnimated:completion:")}};

} // namespace

id topPresentation() { return presentations().empty() ? nullptr : presentations().back().get().raw; }

void dismiss(id presented, bool animated, std::function<void()> done) {
    auto kept = Ref<UI::ViewController>::retain(UI::ViewController(presented));
    kept->send(sel<"viewWillDisappear:">(), BOOL(animated));
    transition(presented, animated, [kept, animated, done] {
        takeOffScreen(kept.get().raw);
        kept->send(sel<"viewDidDisappear:">(), BOOL(animated));
        done();
    });
}

void dismissAll() {
    if (!presentations().empty()) takeOffScreen(presentations().front().get().raw);
}

} // namespace sim::ui
