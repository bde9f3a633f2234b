// UIKit's view controllers and what belongs to them: UIViewController (its view, appearance and
// children), UINavigationController, UISearchController, UINavigationItem and UIBarButtonItem.
// Presentation is presentation.cpp's.
#include "sim/platform/objects.hpp"
#include "sim/uikit/uikit.hpp"
#include "sim/uikit/views.hpp"

namespace sim::ui {

namespace {

// ---- UIViewController ----

void controllerSetView(id self, SEL, id newView) {
    if (auto& old = controller(self).view) view(old.get().raw).controller = nullptr;
    controller(self).view = Ref<UI::View>::retain(UI::View(newView));
    if (newView) view(newView).controller = self;
}
void controllerLoadView(id self, SEL) {
    auto loaded = makeView<UI::View>("UIView", UI::Screen::mainScreen().bounds());
    controllerSetView(self, nullptr, loaded.get().raw);
}
id controllerView(id self, SEL) { return viewOf(self); }
void controllerLifecycle(id, SEL) {}
void controllerAppearance(id, SEL, BOOL) {}
id controllerNavigationItem(id self, SEL) {
    auto& item = controller(self).navigationItem;
    if (!item) item = make<Object>("UINavigationItem");
    return item.get().raw;
}
void controllerAddChild(id self, SEL, id child) {
    if (child == nullptr || controller(child).parent == self) return;
    Object(child).send(sel<"removeFromParentViewController">());
    controller(child).parent = self;
    controller(self).children.push_back(Ref<UI::ViewController>::retain(UI::ViewController(child)));
}
void controllerRemoveFromParent(id self, SEL) {
    id parent = controller(self).parent;
    if (parent == nullptr) return;
    controller(self).parent = nullptr;
    takeOut(controller(parent).children, self);
}

const StandIn<ControllerState> kUIViewController{
    classes, "UIViewController", "UIResponder",
    {method<controllerView>("view"),
     method<controllerSetView>("setView:"),
     method<controllerLoadView>("loadView"),
     method<controllerLifecycle>("viewDidLoad"),
     method<controllerAppearance>("viewWillAppear:"),
     method<controllerAppearance>("viewDidAppear:"),
     method<controllerAppearance>("viewWillDisappear:"),
     method<controllerAppearance>("viewDidDisappear:"),
     getter<&ControllerState::title>("title"),
     copyingSetter<&ControllerState::title>("setTitle:"),
     method<controllerNavigationItem>("navigationItem"),
     method<controllerAddChild>("addChildViewController:"),
     method<controllerRemoveFromParent>("removeFromParentViewController"),
     setter<&ControllerState::definesPresentationContext>("setDefinesPresentationContext:")}};

// ---- UINavigationController: its root is its child, whose view fills its own ----

id navigationInitWithRoot(id self, SEL, id root) {
    self = Object(self).send<id>(sel<"init">());
    controllerAddChild(self, nullptr, root);
    return self;
}
void navigationLoadView(id self, SEL) {
    controllerLoadView(self, nullptr);
    if (!controller(self).children.empty()) addSubview(viewOf(self), viewOf(controller(self).children.back().get().raw));
}
id navigationTop(id self, SEL) {
    const auto& children = controller(self).children;
    return children.empty() ? nullptr : children.back().get().raw;
}

const StandIn<> kUINavigationController{classes, "UINavigationController", "UIViewController",
                                        {method<navigationInitWithRoot>("initWithRootViewController:"),
                                         method<navigationLoadView>("loadView"),
                                         method<navigationTop>("topViewController")}};

// Presented over its presenter's context; the app shows the results itself.
const StandIn<> kUISearchController{classes, "UISearchController", "UIViewController", {}};

// ---- UINavigationItem, UIBarButtonItem ----

struct NavigationItemState {
    Ref<Object> rightBarButtonItem;
};

const StandIn<NavigationItemState> kUINavigationItem{classes, "UINavigationItem", "NSObject",
                                                     {getter<&NavigationItemState::rightBarButtonItem>("rightBarButtonItem"),
                                                      setter<&NavigationItemState::rightBarButtonItem>("setRightBarButtonItem:")}};

struct BarButtonItemState {
    Ref<Object> title;
    NSInteger style = 0;
    id target = nullptr; // not retained, as UIKit keeps targets
    SEL action = nullptr;
};

id barButtonItemInit(id self, SEL, id title, NSInteger style, id target, SEL action) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("NSObject"), sel<"init">());
    state<BarButtonItemState>(self) = {Ref<Object>::retain(Object(title)), style, target, action};
    return self;
}

const StandIn<BarButtonItemState> kUIBarButtonItem{classes, "UIBarButtonItem", "NSObject",
                                                   {method<barButtonItemInit>("initWithTitle:style:target:action:"),
                                                    getter<&BarButtonItemState::title>("title"),
                                                    getter<&BarButtonItemState::style>("style"),
                                                    getter<&BarButtonItemState::target>("target"),
                                                    getter<&BarButtonItemState::action>("action")}};

} // namespace

ControllerState::~ControllerState() {
    if (view) sim::ui::view(view.get().raw).controller = nullptr;
    for (auto& child : children) controller(child.get().raw).parent = nullptr;
    // What it presented may stay on screen after it goes: it must not point back at it.
    if (presented) controller(presented.get().raw).presenting = nullptr;
}

id viewOf(id self) {
    if (!controller(self).view) {
        Object(self).send(sel<"loadView">());
        Object(self).send(sel<"viewDidLoad">());
    }
    return controller(self).view.get().raw;
}

} // namespace sim::ui
