// UIKit's view controllers and what belongs to them: UIViewController (its view, appearance and
// children), UINavigationController, UISearchController, UINavigationItem and UIBarButtonItem.
// Presentation is presentation.cpp's.
#include "sim/platform/objects.hpp"
#include "sim/uikit/uikit.hpp"
#include "sim/uikit/views.hpp"

#include <algorithm>

namespace sim::ui {

namespace {

using NS::String;
using objc::sel;

// ---- UIViewController ----

void controllerSetView(id self, SEL, id newView) {
    if (auto& old = controller(self).view) view(old.get().raw).controller = nullptr;
    controller(self).view = Ref<UI::View>::retain(UI::View(newView));
    if (newView) view(newView).controller = self;
}
void controllerLoadView(id self, SEL) {
    Object made(NS::classNamed("UIView").send<id>(sel<"alloc">()));
    auto loaded = Ref<UI::View>::adopt(made.send<UI::View>(sel<"initWithFrame:">(), UI::Screen::mainScreen().bounds()));
    controllerSetView(self, nullptr, loaded.get().raw);
}
id controllerView(id self, SEL) { return viewOf(self); }
BOOL controllerIsViewLoaded(id self, SEL) { return bool(controller(self).view); }
void controllerLifecycle(id, SEL) {}
void controllerAppearance(id, SEL, BOOL) {}
id controllerTitle(id self, SEL) { return controller(self).title.get().raw; }
void controllerSetTitle(id self, SEL, id title) { controller(self).title = copyOf(String(title)); }
id controllerNavigationItem(id self, SEL) {
    auto& item = controller(self).navigationItem;
    if (!item) item = make<Object>("UINavigationItem");
    return item.get().raw;
}
id controllerParent(id self, SEL) { return controller(self).parent; }
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
    auto& siblings = controller(parent).children;
    auto found = std::find_if(siblings.begin(), siblings.end(), [&](const auto& c) { return c.get().raw == self; });
    Ref<UI::ViewController> kept = std::move(*found);
    siblings.erase(found);
}
BOOL controllerDefinesContext(id self, SEL) { return controller(self).definesPresentationContext; }
void controllerSetDefinesContext(id self, SEL, BOOL defines) { controller(self).definesPresentationContext = defines; }

const StandIn<ControllerState> kUIViewController{
    classes, "UIViewController", "UIResponder",
    {method<controllerView>("view"),
     method<controllerSetView>("setView:"),
     method<controllerIsViewLoaded>("isViewLoaded"),
     method<controllerLoadView>("loadView"),
     method<controllerLifecycle>("viewDidLoad"),
     method<controllerAppearance>("viewWillAppear:"),
     method<controllerAppearance>("viewDidAppear:"),
     method<controllerAppearance>("viewWillDisappear:"),
     method<controllerAppearance>("viewDidDisappear:"),
     method<controllerTitle>("title"),
     method<controllerSetTitle>("setTitle:"),
     method<controllerNavigationItem>("navigationItem"),
     method<controllerParent>("parentViewController"),
     method<controllerAddChild>("addChildViewController:"),
     method<controllerRemoveFromParent>("removeFromParentViewController"),
     method<controllerDefinesContext>("definesPresentationContext"),
     method<controllerSetDefinesContext>("setDefinesPresentationContext:")}};

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
    Ref<String> title;
    Ref<Object> rightBarButtonItem;
};

id navigationItemTitle(id self, SEL) { return state<NavigationItemState>(self).title.get().raw; }
void navigationItemSetTitle(id self, SEL, id title) { state<NavigationItemState>(self).title = copyOf(String(title)); }
id navigationItemRight(id self, SEL) { return state<NavigationItemState>(self).rightBarButtonItem.get().raw; }
void navigationItemSetRight(id self, SEL, id item) {
    state<NavigationItemState>(self).rightBarButtonItem = Ref<Object>::retain(Object(item));
}

const StandIn<NavigationItemState> kUINavigationItem{classes, "UINavigationItem", "NSObject",
                                                     {method<navigationItemTitle>("title"),
                                                      method<navigationItemSetTitle>("setTitle:"),
                                                      method<navigationItemRight>("rightBarButtonItem"),
                                                      method<navigationItemSetRight>("setRightBarButtonItem:")}};

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
id barButtonItemTitle(id self, SEL) { return state<BarButtonItemState>(self).title.get().raw; }
NSInteger barButtonItemStyle(id self, SEL) { return state<BarButtonItemState>(self).style; }
id barButtonItemTarget(id self, SEL) { return state<BarButtonItemState>(self).target; }
SEL barButtonItemAction(id self, SEL) { return state<BarButtonItemState>(self).action; }

const StandIn<BarButtonItemState> kUIBarButtonItem{classes, "UIBarButtonItem", "NSObject",
                                                   {method<barButtonItemInit>("initWithTitle:style:target:action:"),
                                                    method<barButtonItemTitle>("title"),
                                                    method<barButtonItemStyle>("style"),
                                                    method<barButtonItemTarget>("target"),
                                                    method<barButtonItemAction>("action")}};

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
