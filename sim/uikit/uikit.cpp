#include "sim/uikit/uikit.hpp"

#include "sim/platform/transcript.hpp"
#include "sim/uikit/layout_commit.hpp"
#include "sim/uikit/main_thread.hpp"

#include <Block.h>

#include <algorithm>

namespace sim::ui {

namespace {

using NS::String;
using objc::sel;

Ref<String> copyOf(String string) {
    return Ref<String>::adopt(String(string.send<id>(sel<"copy">())));
}

// ---- UIResponder ----

void responderTouches(id, SEL, id, id) {}

// ---- UIView ----

struct ViewState {
    CGRect frame{};
    CGFloat alpha = 1.0;
    bool interactive = true;
    bool hidden = false;
    NSUInteger autoresizingMask = 0;
    std::vector<Ref<UI::View>> subviews;
    id superview = nullptr;  // not owned: the superview owns its subviews
    id controller = nullptr; // not owned: the controller owns its view
    Ref<Object> backgroundColor;
    Ref<Object> tintColor;
};
constexpr const char* kViewState = "_simView";
ViewState& view(id self) { return stateOf<ViewState>(Object(self), kViewState); }

id viewInitWithFrame(id self, SEL, CGRect frame) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("UIResponder"), sel<"init">());
    if (self) view(self).frame = frame;
    return self;
}
id viewInit(id self, SEL) { return Object(self).send<id>(sel<"initWithFrame:">(), CGRect{}); }
void viewDealloc(id self, SEL) {
    for (auto& subview : view(self).subviews) view(subview.get().raw).superview = nullptr;
    destroyState<ViewState>(Object(self), kViewState);
    deallocAsSuperclass(self, "UIResponder");
}
CGRect viewFrame(id self, SEL) { return view(self).frame; }
void viewSetFrame(id self, SEL, CGRect frame) { view(self).frame = frame; }
CGRect viewBounds(id self, SEL) { return CGRect{{0, 0}, view(self).frame.size}; }
CGFloat viewAlpha(id self, SEL) { return view(self).alpha; }
void viewSetAlpha(id self, SEL, CGFloat alpha) { view(self).alpha = alpha; }
BOOL viewInteractive(id self, SEL) { return view(self).interactive; }
void viewSetInteractive(id self, SEL, BOOL enabled) { view(self).interactive = enabled; }
BOOL viewHidden(id self, SEL) { return view(self).hidden; }
void viewSetHidden(id self, SEL, BOOL hidden) { view(self).hidden = hidden; }
NSUInteger viewAutoresizingMask(id self, SEL) { return view(self).autoresizingMask; }
void viewSetAutoresizingMask(id self, SEL, NSUInteger mask) { view(self).autoresizingMask = mask; }
void viewRemoveFromSuperview(id self, SEL) {
    id superview = view(self).superview;
    if (superview == nullptr) return;
    view(self).superview = nullptr;
    auto& siblings = view(superview).subviews;
    // The superview's reference may be the last one: let it go after the list is consistent.
    auto found = std::find_if(siblings.begin(), siblings.end(), [&](const auto& v) { return v.get().raw == self; });
    Ref<UI::View> kept = std::move(*found);
    siblings.erase(found);
}
void viewAddSubview(id self, SEL, id subview) {
    if (subview == nullptr || subview == self) return;
    Ref<UI::View> kept = Ref<UI::View>::retain(UI::View(subview));
    viewRemoveFromSuperview(subview, nullptr);
    view(subview).superview = self;
    view(self).subviews.push_back(kept);
}
id viewSubviews(id self, SEL) { return autoreleasedArray(view(self).subviews); }
id viewSuperview(id self, SEL) { return view(self).superview; }
id viewBackgroundColor(id self, SEL) { return view(self).backgroundColor.get().raw; }
void viewSetBackgroundColor(id self, SEL, id color) { view(self).backgroundColor = Ref<Object>::retain(Object(color)); }
id viewTintColor(id self, SEL) { return view(self).tintColor.get().raw; }
void viewSetTintColor(id self, SEL, id color) { view(self).tintColor = Ref<Object>::retain(Object(color)); }
void viewLayoutSubviews(id, SEL) {}
void viewSetNeedsLayout(id self, SEL) { markForLayout(UI::View(self)); }
void viewLayoutIfNeeded(id self, SEL) { layOutIfMarked(UI::View(self)); }
id viewControllerForAncestor(id self, SEL) {
    for (id current = self; current != nullptr; current = view(current).superview)
        if (view(current).controller) return view(current).controller;
    return nullptr;
}

// ---- UILabel ----

struct LabelState {
    Ref<String> text;
    NSInteger numberOfLines = 1;
    Ref<Object> font;
    Ref<Object> textColor;
    NSInteger textAlignment = 0;
};
constexpr const char* kLabelState = "_simLabel";
LabelState& label(id self) { return stateOf<LabelState>(Object(self), kLabelState); }

void labelDealloc(id self, SEL) {
    destroyState<LabelState>(Object(self), kLabelState);
    deallocAsSuperclass(self, "UIView");
}
id labelText(id self, SEL) { return label(self).text.get().raw; }
void labelSetText(id self, SEL, id text) { label(self).text = copyOf(String(text)); }
NSInteger labelNumberOfLines(id self, SEL) { return label(self).numberOfLines; }
void labelSetNumberOfLines(id self, SEL, NSInteger lines) { label(self).numberOfLines = lines; }
id labelFont(id self, SEL) { return label(self).font.get().raw; }
void labelSetFont(id self, SEL, id font) { label(self).font = Ref<Object>::retain(Object(font)); }
id labelTextColor(id self, SEL) { return label(self).textColor.get().raw; }
void labelSetTextColor(id self, SEL, id color) { label(self).textColor = Ref<Object>::retain(Object(color)); }
NSInteger labelTextAlignment(id self, SEL) { return label(self).textAlignment; }
void labelSetTextAlignment(id self, SEL, NSInteger alignment) { label(self).textAlignment = alignment; }

// ---- UIStackView ----

struct StackState {
    std::vector<Ref<UI::View>> arranged;
};
constexpr const char* kStackState = "_simStack";
StackState& stack(id self) { return stateOf<StackState>(Object(self), kStackState); }

void stackDealloc(id self, SEL) {
    destroyState<StackState>(Object(self), kStackState);
    deallocAsSuperclass(self, "UIView");
}
void stackAddArrangedSubview(id self, SEL, id subview) {
    if (subview == nullptr) return;
    stack(self).arranged.push_back(Ref<UI::View>::retain(UI::View(subview)));
    viewAddSubview(self, nullptr, subview);
}
id stackInitWithArrangedSubviews(id self, SEL, id views) {
    self = Object(self).send<id>(sel<"initWithFrame:">(), CGRect{});
    for (Object subview : NS::each<Object>(Object(views))) stackAddArrangedSubview(self, nullptr, subview.raw);
    return self;
}
id stackArrangedSubviews(id self, SEL) { return autoreleasedArray(stack(self).arranged); }

// ---- UIColor ----

struct ColorState {
    Rgba rgba{};
};
constexpr const char* kColorState = "_simColor";
ColorState& color(id self) { return stateOf<ColorState>(Object(self), kColorState); }

void colorDealloc(id self, SEL) {
    destroyState<ColorState>(Object(self), kColorState);
    deallocAsSuperclass(self, "NSObject");
}
id colorWithRGBA(id cls, SEL, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    Object made(Object(cls).send<id>(sel<"new">()));
    color(made.raw).rgba = {red, green, blue, alpha};
    return made.autorelease();
}
id colorClear(id cls, SEL) { return colorWithRGBA(cls, nullptr, 0, 0, 0, 0); }
id colorBlack(id cls, SEL) { return colorWithRGBA(cls, nullptr, 0, 0, 0, 1); }
id colorWhite(id cls, SEL) { return colorWithRGBA(cls, nullptr, 1, 1, 1, 1); }
BOOL colorGetComponents(id self, SEL, CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) {
    const Rgba& rgba = color(self).rgba;
    if (red) *red = rgba.red;
    if (green) *green = rgba.green;
    if (blue) *blue = rgba.blue;
    if (alpha) *alpha = rgba.alpha;
    return YES;
}
BOOL colorIsEqual(id self, SEL, id other) {
    return other && Object(other).isKindOfClass(objc::lookUpClass("UIColor")) && color(self).rgba == color(other).rgba;
}
NSUInteger colorHash(id self, SEL) {
    const Rgba& rgba = color(self).rgba;
    return NSUInteger(rgba.red * 255) << 24 | NSUInteger(rgba.green * 255) << 16 | NSUInteger(rgba.blue * 255) << 8 |
           NSUInteger(rgba.alpha * 255);
}

// ---- UIFont ----

struct FontState {
    Ref<String> name;
    CGFloat size = 0;
};
constexpr const char* kFontState = "_simFont";
FontState& font(id self) { return stateOf<FontState>(Object(self), kFontState); }

void fontDealloc(id self, SEL) {
    destroyState<FontState>(Object(self), kFontState);
    deallocAsSuperclass(self, "NSObject");
}
id fontWithNameSize(id cls, SEL, id name, CGFloat size) {
    Object made(Object(cls).send<id>(sel<"new">()));
    font(made.raw) = {copyOf(String(name)), size};
    return made.autorelease();
}
id fontSystem(id cls, SEL, CGFloat size) { return fontWithNameSize(cls, nullptr, NS::literal<".SFUIText">().raw, size); }
id fontBoldSystem(id cls, SEL, CGFloat size) {
    return fontWithNameSize(cls, nullptr, NS::literal<".SFUIText-Semibold">().raw, size);
}
id fontName(id self, SEL) { return font(self).name.get().raw; }
CGFloat fontPointSize(id self, SEL) { return font(self).size; }

// ---- UINavigationItem ----

struct NavigationItemState {
    Ref<String> title;
    Ref<Object> rightBarButtonItem;
};
constexpr const char* kNavigationItemState = "_simNavigationItem";
NavigationItemState& navigationItem(id self) { return stateOf<NavigationItemState>(Object(self), kNavigationItemState); }

void navigationItemDealloc(id self, SEL) {
    destroyState<NavigationItemState>(Object(self), kNavigationItemState);
    deallocAsSuperclass(self, "NSObject");
}
id navigationItemTitle(id self, SEL) { return navigationItem(self).title.get().raw; }
void navigationItemSetTitle(id self, SEL, id title) { navigationItem(self).title = copyOf(String(title)); }
id navigationItemRight(id self, SEL) { return navigationItem(self).rightBarButtonItem.get().raw; }
void navigationItemSetRight(id self, SEL, id item) {
    navigationItem(self).rightBarButtonItem = Ref<Object>::retain(Object(item));
}

// ---- UIViewController ----

struct ControllerState {
    Ref<UI::View> view;
    Ref<Object> navigationItem;
    Ref<String> title;
    Ref<UI::ViewController> presented;
    id presenting = nullptr; // not owned: the presenter owns what it presents
};
constexpr const char* kControllerState = "_simController";
ControllerState& controller(id self) { return stateOf<ControllerState>(Object(self), kControllerState); }

std::vector<Ref<UI::ViewController>>& presentations() {
    static std::vector<Ref<UI::ViewController>> onScreen;
    return onScreen;
}

void controllerSetView(id self, SEL, id newView) {
    if (auto& old = controller(self).view) view(old.get().raw).controller = nullptr;
    controller(self).view = Ref<UI::View>::retain(UI::View(newView));
    if (newView) view(newView).controller = self;
}
void controllerLoadView(id self, SEL) {
    Object made(NS::classNamed("UIView").send<id>(sel<"alloc">()));
    Ref<UI::View> loaded = Ref<UI::View>::adopt(made.send<UI::View>(sel<"initWithFrame:">(),
                                                                    UI::Screen::mainScreen().bounds()));
    controllerSetView(self, nullptr, loaded.get().raw);
}
id controllerView(id self, SEL) {
    if (!controller(self).view) {
        Object(self).send(sel<"loadView">());
        Object(self).send(sel<"viewDidLoad">());
    }
    return controller(self).view.get().raw;
}
BOOL controllerIsViewLoaded(id self, SEL) { return bool(controller(self).view); }
void controllerDealloc(id self, SEL) {
    if (auto& loaded = controller(self).view) view(loaded.get().raw).controller = nullptr;
    // What it presented may stay on screen after it goes: it must not point back at it.
    if (auto& shown = controller(self).presented) controller(shown.get().raw).presenting = nullptr;
    destroyState<ControllerState>(Object(self), kControllerState);
    deallocAsSuperclass(self, "UIResponder");
}
void controllerLifecycle(id, SEL) {}
void controllerAppearance(id, SEL, BOOL) {}
id controllerTitle(id self, SEL) { return controller(self).title.get().raw; }
void controllerSetTitle(id self, SEL, id title) { controller(self).title = copyOf(String(title)); }
id controllerNavigationItem(id self, SEL) {
    auto& item = controller(self).navigationItem;
    if (!item) item = Ref<Object>::adopt(NS::classNamed("UINavigationItem").send<Object>(sel<"new">()));
    return item.get().raw;
}
// A controller as UIKit's refusals name it: its class, and an alert's message.
std::string describe(id shown) {
    std::string name = class_getName(objc::classOf(shown));
    if (!Object(shown).isKindOfClass(objc::lookUpClass("UIAlertController"))) return name;
    return name + " " + quotedOrNone(text(Object(shown).send<String>(sel<"message">())));
}

// Whether the controller's view is on screen: presented, or in a window's hierarchy.
bool isOnScreen(id self) {
    for (const auto& shown : presentations())
        if (shown.get().raw == self) return true;
    for (id current = controller(self).view.get().raw; current != nullptr; current = view(current).superview)
        if (Object(current).isKindOfClass(objc::lookUpClass("UIWindow"))) return true;
    return false;
}

// UIKit presents nothing from a controller that is already presenting or not on screen; it only
// warns, and the completion never runs.
bool refusesToPresent(id self, id presented) {
    std::string why;
    if (id already = controller(self).presented.get().raw) why = "which is already presenting " + describe(already);
    else if (!isOnScreen(self)) why = "whose view is not on screen";
    else return false;
    transcript("  UIKit: refused to present " + describe(presented) + " from " + describe(self) + ", " + why);
    return true;
}

void controllerPresent(id self, SEL, id presented, BOOL, void (^completion)()) {
    if (presented == nullptr || refusesToPresent(self, presented)) return;
    auto kept = Ref<UI::ViewController>::retain(UI::ViewController(presented));
    controller(self).presented = kept;
    controller(presented).presenting = self;
    presentations().push_back(kept);
    if (completion) completion();
}
id controllerPresented(id self, SEL) { return controller(self).presented.get().raw; }
id controllerPresenting(id self, SEL) { return controller(self).presenting; }

// Takes `presented` off the screen; the caller keeps it alive as long as it needs it.
void takeOffScreen(id presented) {
    auto& onScreen = presentations();
    onScreen.erase(std::remove_if(onScreen.begin(), onScreen.end(), [&](const auto& c) { return c.get().raw == presented; }),
                   onScreen.end());
    if (id presenter = controller(presented).presenting) {
        controller(presented).presenting = nullptr;
        controller(presenter).presented = Ref<UI::ViewController>();
    }
}
void controllerDismiss(id self, SEL, BOOL, void (^completion)()) {
    // As in UIKit, the presenter dismisses what it presented, and a presented controller itself.
    id target = controller(self).presented ? controller(self).presented.get().raw : self;
    auto kept = Ref<UI::ViewController>::retain(UI::ViewController(target));
    takeOffScreen(target);
    if (completion) completion();
}

// ---- UIWindow, UIApplication, UIScreen ----

struct WindowState {
    Ref<UI::ViewController> rootViewController;
};
constexpr const char* kWindowState = "_simWindow";
WindowState& window(id self) { return stateOf<WindowState>(Object(self), kWindowState); }

void windowDealloc(id self, SEL) {
    destroyState<WindowState>(Object(self), kWindowState);
    deallocAsSuperclass(self, "UIView");
}
id windowRoot(id self, SEL) { return window(self).rootViewController.get().raw; }
void windowSetRoot(id self, SEL, id root) {
    window(self).rootViewController = Ref<UI::ViewController>::retain(UI::ViewController(root));
    if (root) viewAddSubview(self, nullptr, Object(root).send<id>(sel<"view">()));
}
void windowMakeKeyAndVisible(id self, SEL) { setKeyWindow(UI::Window(self)); }

struct ApplicationState {
    Ref<UI::Window> keyWindow;
    std::optional<std::string> lastOpenedURL;
};
ApplicationState& application() {
    static ApplicationState state;
    return state;
}

id applicationShared(id cls, SEL) {
    static id shared = Object(cls).send<id>(sel<"new">());
    return shared;
}
id applicationKeyWindow(id, SEL) { return application().keyWindow.get().raw; }
BOOL applicationOpenURL(id, SEL, id url) {
    application().lastOpenedURL = text(Object(url).send<String>(sel<"absoluteString">()));
    return YES;
}

CGFloat screenWidth = 375;

id screenMain(id cls, SEL) {
    static id main = Object(cls).send<id>(sel<"new">());
    return main;
}
CGRect screenBounds(id, SEL) { return CGRect{{0, 0}, {screenWidth, 667}}; }
CGFloat screenScale(id, SEL) { return 2; }

// ---- UITouch, UIEvent ----

struct TouchState {
    CGPoint point{};
    Ref<UI::View> view;
};
constexpr const char* kTouchState = "_simTouch";
TouchState& touch(id self) { return stateOf<TouchState>(Object(self), kTouchState); }

void touchDealloc(id self, SEL) {
    destroyState<TouchState>(Object(self), kTouchState);
    deallocAsSuperclass(self, "NSObject");
}
CGPoint touchLocationInView(id self, SEL, id) { return touch(self).point; }
id touchView(id self, SEL) { return touch(self).view.get().raw; }

struct EventState {
    Ref<NS::Set> touches;
};
constexpr const char* kEventState = "_simEvent";
EventState& event(id self) { return stateOf<EventState>(Object(self), kEventState); }

void eventDealloc(id self, SEL) {
    destroyState<EventState>(Object(self), kEventState);
    deallocAsSuperclass(self, "NSObject");
}
id eventAllTouches(id self, SEL) { return event(self).touches.get().raw; }

// ---- UIAlertController, UIAlertAction ----

struct ActionState {
    Ref<String> title;
    NSInteger style = 0;
    UI::ActionHandler handler = nullptr; // a copy, released with the action
};
constexpr const char* kActionState = "_simAction";
ActionState& action(id self) { return stateOf<ActionState>(Object(self), kActionState); }

void actionDealloc(id self, SEL) {
    if (action(self).handler) Block_release(action(self).handler);
    destroyState<ActionState>(Object(self), kActionState);
    deallocAsSuperclass(self, "NSObject");
}
id actionWithTitle(id cls, SEL, id title, NSInteger style, UI::ActionHandler handler) {
    Object made(Object(cls).send<id>(sel<"new">()));
    ActionState& state = action(made.raw);
    state.title = copyOf(String(title));
    state.style = style;
    if (handler) state.handler = Block_copy(handler);
    return made.autorelease();
}
id actionTitle(id self, SEL) { return action(self).title.get().raw; }
NSInteger actionStyle(id self, SEL) { return action(self).style; }

struct AlertState {
    Ref<String> title;
    Ref<String> message;
    NSInteger preferredStyle = 0;
    std::vector<Ref<Object>> actions;
    Ref<Object> preferred;
};
constexpr const char* kAlertState = "_simAlert";
AlertState& alert(id self) { return stateOf<AlertState>(Object(self), kAlertState); }

void alertDealloc(id self, SEL) {
    destroyState<AlertState>(Object(self), kAlertState);
    deallocAsSuperclass(self, "UIViewController");
}
id alertWithTitle(id cls, SEL, id title, id message, NSInteger style) {
    Object made(Object(cls).send<id>(sel<"new">()));
    AlertState& state = alert(made.raw);
    state.title = copyOf(String(title));
    state.message = copyOf(String(message));
    state.preferredStyle = style;
    return made.autorelease();
}
id alertTitle(id self, SEL) { return alert(self).title.get().raw; }
id alertMessage(id self, SEL) { return alert(self).message.get().raw; }
NSInteger alertPreferredStyle(id self, SEL) { return alert(self).preferredStyle; }
void alertAddAction(id self, SEL, id added) {
    if (added) alert(self).actions.push_back(Ref<Object>::retain(Object(added)));
}
id alertActions(id self, SEL) { return autoreleasedArray(alert(self).actions); }
id alertPreferredAction(id self, SEL) { return alert(self).preferred.get().raw; }
void alertSetPreferredAction(id self, SEL, id preferred) { alert(self).preferred = Ref<Object>::retain(Object(preferred)); }

// ---- NSIndexPath (UIKit's additions) ----

id indexPathForItem(id cls, SEL, NSInteger item, NSInteger section) {
    NSUInteger indexes[2] = {NSUInteger(section), NSUInteger(item)};
    return Object(cls).send<id>(sel<"indexPathWithIndexes:length:">(), indexes, NSUInteger(2));
}
NSInteger indexPathItem(id self, SEL) { return NSInteger(Object(self).send<NSUInteger>(sel<"indexAtPosition:">(), NSUInteger(1))); }
NSInteger indexPathSection(id self, SEL) {
    return NSInteger(Object(self).send<NSUInteger>(sel<"indexAtPosition:">(), NSUInteger(0)));
}

void addIndexPathAdditions() {
    Class indexPath = objc::lookUpClass("NSIndexPath");
    if (class_getInstanceMethod(indexPath, sel<"item">())) return;
    addClassMethod<indexPathForItem>(indexPath, sel<"indexPathForItem:inSection:">());
    addClassMethod<indexPathForItem>(indexPath, sel<"indexPathForRow:inSection:">());
    class_addMethod(indexPath, sel<"item">(), reinterpret_cast<IMP>(indexPathItem), objc::encodingOf<indexPathItem>());
    class_addMethod(indexPath, sel<"row">(), reinterpret_cast<IMP>(indexPathItem), objc::encodingOf<indexPathItem>());
    class_addMethod(indexPath, sel<"section">(), reinterpret_cast<IMP>(indexPathSection),
                    objc::encodingOf<indexPathSection>());
}

} // namespace

void defineClasses(const ClassNames& leftOut) {
    using ClassBuilder = UIKitClassBuilder;
    addIndexPathAdditions();
    defineUIKitClass("UIResponder", "NSObject", leftOut, [](ClassBuilder& c) {
        c.method<responderTouches>(sel<"touchesBegan:withEvent:">())
            .method<responderTouches>(sel<"touchesEnded:withEvent:">())
            .method<responderTouches>(sel<"touchesCancelled:withEvent:">());
    });
    defineUIKitClass("UIView", "UIResponder", leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kViewState)
            .method<viewInit>(sel<"init">())
            .method<viewInitWithFrame>(sel<"initWithFrame:">())
            .method<viewDealloc>(sel<"dealloc">())
            .method<viewFrame>(sel<"frame">())
            .method<viewSetFrame>(sel<"setFrame:">())
            .method<viewBounds>(sel<"bounds">())
            .method<viewAlpha>(sel<"alpha">())
            .method<viewSetAlpha>(sel<"setAlpha:">())
            .method<viewInteractive>(sel<"isUserInteractionEnabled">())
            .method<viewSetInteractive>(sel<"setUserInteractionEnabled:">())
            .method<viewHidden>(sel<"isHidden">())
            .method<viewSetHidden>(sel<"setHidden:">())
            .method<viewAutoresizingMask>(sel<"autoresizingMask">())
            .method<viewSetAutoresizingMask>(sel<"setAutoresizingMask:">())
            .method<viewAddSubview>(sel<"addSubview:">())
            .method<viewRemoveFromSuperview>(sel<"removeFromSuperview">())
            .method<viewSubviews>(sel<"subviews">())
            .method<viewSuperview>(sel<"superview">())
            .method<viewBackgroundColor>(sel<"backgroundColor">())
            .method<viewSetBackgroundColor>(sel<"setBackgroundColor:">())
            .method<viewTintColor>(sel<"tintColor">())
            .method<viewSetTintColor>(sel<"setTintColor:">())
            .method<viewLayoutSubviews>(sel<"layoutSubviews">())
            .method<viewSetNeedsLayout>(sel<"setNeedsLayout">())
            .method<viewLayoutIfNeeded>(sel<"layoutIfNeeded">())
            .method<viewControllerForAncestor>(sel<"_viewControllerForAncestor">());
    });
    defineUIKitClass("UILabel", "UIView", leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kLabelState)
            .method<labelDealloc>(sel<"dealloc">())
            .method<labelText>(sel<"text">())
            .method<labelSetText>(sel<"setText:">())
            .method<labelNumberOfLines>(sel<"numberOfLines">())
            .method<labelSetNumberOfLines>(sel<"setNumberOfLines:">())
            .method<labelFont>(sel<"font">())
            .method<labelSetFont>(sel<"setFont:">())
            .method<labelTextColor>(sel<"textColor">())
            .method<labelSetTextColor>(sel<"setTextColor:">())
            .method<labelTextAlignment>(sel<"textAlignment">())
            .method<labelSetTextAlignment>(sel<"setTextAlignment:">());
    });
    defineUIKitClass("UIStackView", "UIView", leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kStackState)
            .method<stackDealloc>(sel<"dealloc">())
            .method<stackInitWithArrangedSubviews>(sel<"initWithArrangedSubviews:">())
            .method<stackAddArrangedSubview>(sel<"addArrangedSubview:">())
            .method<stackArrangedSubviews>(sel<"arrangedSubviews">());
    });
    if (Class cls = defineClass("UIColor", "NSObject", leftOut, [](objc::ClassBuilder& c) {
            c.ivar<void*>(kColorState)
                .method<colorDealloc>(sel<"dealloc">())
                .method<colorGetComponents>(sel<"getRed:green:blue:alpha:">())
                .method<colorIsEqual>(sel<"isEqual:">())
                .method<colorHash>(sel<"hash">());
        });
        cls && !class_getInstanceMethod(metaclassOf(cls), sel<"clearColor">())) {
        addClassMethod<colorWithRGBA>(cls, sel<"colorWithRed:green:blue:alpha:">());
        addClassMethod<colorClear>(cls, sel<"clearColor">());
        addClassMethod<colorBlack>(cls, sel<"blackColor">());
        addClassMethod<colorWhite>(cls, sel<"whiteColor">());
    }
    if (Class cls = defineClass("UIFont", "NSObject", leftOut, [](objc::ClassBuilder& c) {
            c.ivar<void*>(kFontState)
                .method<fontDealloc>(sel<"dealloc">())
                .method<fontName>(sel<"fontName">())
                .method<fontPointSize>(sel<"pointSize">());
        });
        cls && !class_getInstanceMethod(metaclassOf(cls), sel<"systemFontOfSize:">())) {
        addClassMethod<fontWithNameSize>(cls, sel<"fontWithName:size:">());
        addClassMethod<fontSystem>(cls, sel<"systemFontOfSize:">());
        addClassMethod<fontBoldSystem>(cls, sel<"boldSystemFontOfSize:">());
    }
    defineUIKitClass("UINavigationItem", "NSObject", leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kNavigationItemState)
            .method<navigationItemDealloc>(sel<"dealloc">())
            .method<navigationItemTitle>(sel<"title">())
            .method<navigationItemSetTitle>(sel<"setTitle:">())
            .method<navigationItemRight>(sel<"rightBarButtonItem">())
            .method<navigationItemSetRight>(sel<"setRightBarButtonItem:">());
    });
    defineUIKitClass("UIViewController", "UIResponder", leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kControllerState)
            .method<controllerDealloc>(sel<"dealloc">())
            .method<controllerView>(sel<"view">())
            .method<controllerSetView>(sel<"setView:">())
            .method<controllerIsViewLoaded>(sel<"isViewLoaded">())
            .method<controllerLoadView>(sel<"loadView">())
            .method<controllerLifecycle>(sel<"viewDidLoad">())
            .method<controllerAppearance>(sel<"viewWillAppear:">())
            .method<controllerAppearance>(sel<"viewDidAppear:">())
            .method<controllerAppearance>(sel<"viewWillDisappear:">())
            .method<controllerAppearance>(sel<"viewDidDisappear:">())
            .method<controllerTitle>(sel<"title">())
            .method<controllerSetTitle>(sel<"setTitle:">())
            .method<controllerNavigationItem>(sel<"navigationItem">())
            .method<controllerPresent>(sel<"presentViewController:animated:completion:">())
            .method<controllerPresented>(sel<"presentedViewController">())
            .method<controllerPresenting>(sel<"presentingViewController">())
            .method<controllerDismiss>(sel<"dismissViewControllerAnimated:completion:">());
    });
    defineUIKitClass("UIWindow", "UIView", leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kWindowState)
            .method<windowDealloc>(sel<"dealloc">())
            .method<windowRoot>(sel<"rootViewController">())
            .method<windowSetRoot>(sel<"setRootViewController:">())
            .method<windowMakeKeyAndVisible>(sel<"makeKeyAndVisible">());
    });
    if (Class cls = defineUIKitClass("UIApplication", "UIResponder", leftOut, [](ClassBuilder& c) {
            c.method<applicationKeyWindow>(sel<"keyWindow">()).method<applicationOpenURL>(sel<"openURL:">());
        });
        cls && !class_getInstanceMethod(metaclassOf(cls), sel<"sharedApplication">()))
        addUIKitClassMethod<applicationShared>(cls, sel<"sharedApplication">());
    if (Class cls = defineUIKitClass("UIScreen", "NSObject", leftOut, [](ClassBuilder& c) {
            c.method<screenBounds>(sel<"bounds">()).method<screenScale>(sel<"scale">());
        });
        cls && !class_getInstanceMethod(metaclassOf(cls), sel<"mainScreen">()))
        addUIKitClassMethod<screenMain>(cls, sel<"mainScreen">());
    defineUIKitClass("UITouch", "NSObject", leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kTouchState)
            .method<touchDealloc>(sel<"dealloc">())
            .method<touchLocationInView>(sel<"locationInView:">())
            .method<touchView>(sel<"view">());
    });
    defineUIKitClass("UIEvent", "NSObject", leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kEventState).method<eventDealloc>(sel<"dealloc">()).method<eventAllTouches>(sel<"allTouches">());
    });
    if (Class cls = defineUIKitClass("UIAlertAction", "NSObject", leftOut, [](ClassBuilder& c) {
            c.ivar<void*>(kActionState)
                .method<actionDealloc>(sel<"dealloc">())
                .method<actionTitle>(sel<"title">())
                .method<actionStyle>(sel<"style">());
        });
        cls && !class_getInstanceMethod(metaclassOf(cls), sel<"actionWithTitle:style:handler:">()))
        addUIKitClassMethod<actionWithTitle>(cls, sel<"actionWithTitle:style:handler:">());
    if (Class cls = defineUIKitClass("UIAlertController", "UIViewController", leftOut, [](ClassBuilder& c) {
            c.ivar<void*>(kAlertState)
                .method<alertDealloc>(sel<"dealloc">())
                .method<alertTitle>(sel<"title">())
                .method<alertMessage>(sel<"message">())
                .method<alertPreferredStyle>(sel<"preferredStyle">())
                .method<alertAddAction>(sel<"addAction:">())
                .method<alertActions>(sel<"actions">())
                .method<alertPreferredAction>(sel<"preferredAction">())
                .method<alertSetPreferredAction>(sel<"setPreferredAction:">());
        });
        cls && !class_getInstanceMethod(metaclassOf(cls), sel<"alertControllerWithTitle:message:preferredStyle:">()))
        addUIKitClassMethod<alertWithTitle>(cls, sel<"alertControllerWithTitle:message:preferredStyle:">());
}

void setScreenWidth(CGFloat width) { screenWidth = width; }

UI::AlertController alertOnScreen() {
    if (presentations().empty()) return UI::AlertController();
    UI::ViewController top = presentations().back().get();
    if (!top.isKindOfClass(objc::lookUpClass("UIAlertController"))) return UI::AlertController();
    return UI::AlertController(top.raw);
}

AlertContent contentOf(UI::AlertController shown) {
    const AlertState& state = alert(shown.raw);
    AlertContent content{text(state.title.get()), text(state.message.get()), state.preferredStyle, {}, {}};
    for (const auto& entry : state.actions)
        content.buttons.push_back({text(action(entry.get().raw).title.get()).value_or(""), action(entry.get().raw).style});
    if (state.preferred) content.preferred = text(action(state.preferred.get().raw).title.get());
    return content;
}

bool pressAlertButton(const std::string& title) {
    UI::AlertController shown = alertOnScreen();
    if (!shown) return false;
    for (const auto& entry : alert(shown.raw).actions) {
        if (text(action(entry.get().raw).title.get()) != title) continue;
        // A tap, handled by the main run loop. The alert goes first; the handler runs after, and
        // the alert and its actions are let go once it returns.
        auto keptAlert = Ref<UI::AlertController>::retain(shown);
        Ref<Object> pressed = entry;
        handleEvent([&] {
            takeOffScreen(shown.raw);
            if (UI::ActionHandler handler = action(pressed.get().raw).handler) handler(pressed.get().raw);
        });
        return true;
    }
    return false;
}

Ref<UI::Touch> makeTouch(CGPoint point, UI::View inView) {
    auto made = Ref<UI::Touch>::adopt(NS::classNamed("UITouch").send<UI::Touch>(sel<"new">()));
    touch(made.get().raw) = {point, Ref<UI::View>::retain(inView)};
    return made;
}

void moveTouch(UI::Touch moved, CGPoint point) { touch(moved.raw).point = point; }

Ref<UI::Event> makeEvent(UI::Touch only) {
    auto made = Ref<UI::Event>::adopt(NS::classNamed("UIEvent").send<UI::Event>(sel<"new">()));
    event(made.get().raw).touches =
        Ref<NS::Set>::retain(NS::classNamed("NSSet").send<NS::Set>(sel<"setWithObject:">(), only));
    return made;
}

std::optional<Rgba> componentsOf(Object shown) {
    if (!shown) return std::nullopt;
    return color(shown.raw).rgba;
}

std::optional<std::string> lastOpenedURL() { return application().lastOpenedURL; }

void setKeyWindow(UI::Window keyWindow) { application().keyWindow = Ref<UI::Window>::retain(keyWindow); }

void dismissAll() {
    while (!presentations().empty()) {
        auto last = presentations().back();
        takeOffScreen(last.get().raw);
    }
}

void endProcess() {
    dismissAll();
    application() = ApplicationState();
}

} // namespace sim::ui
