// UIKit's views: UIResponder, UIView, UILabel, UIStackView, UIWindow, and the controls of the
// settings page (UIImageView, UISwitch, UITableView, UITableViewCell).
#include "sim/uikit/views.hpp"

#include "sim/platform/objects.hpp"
#include "sim/uikit/uikit.hpp"

#include <algorithm>

namespace sim::ui {

namespace {

using NS::String;
using objc::sel;

void responderTouches(id, SEL, id, id) {}

const StandIn<> kUIResponder{classes, "UIResponder", "NSObject",
                             {method<responderTouches>("touchesBegan:withEvent:"),
                              method<responderTouches>("touchesEnded:withEvent:"),
                              method<responderTouches>("touchesCancelled:withEvent:")}};

// ---- UIView ----

id viewInitWithFrame(id self, SEL, CGRect frame) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("UIResponder"), sel<"init">());
    if (self) view(self).frame = frame;
    return self;
}
id viewInit(id self, SEL) { return Object(self).send<id>(sel<"initWithFrame:">(), CGRect{}); }
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
void viewAddSubview(id self, SEL, id subview) { addSubview(self, subview); }
id viewSubviews(id self, SEL) { return autoreleasedArray(view(self).subviews); }
id viewSuperview(id self, SEL) { return view(self).superview; }
id viewBackgroundColor(id self, SEL) { return view(self).backgroundColor.get().raw; }
void viewSetBackgroundColor(id self, SEL, id color) { view(self).backgroundColor = Ref<Object>::retain(Object(color)); }
id viewTintColor(id self, SEL) { return view(self).tintColor.get().raw; }
void viewSetTintColor(id self, SEL, id color) { view(self).tintColor = Ref<Object>::retain(Object(color)); }
void viewLayoutSubviews(id, SEL) {}
void viewSetNeedsLayout(id, SEL) {}
void viewLayoutIfNeeded(id self, SEL) { Object(self).send(sel<"layoutSubviews">()); }
// The controller that owns the view or the nearest superview that has one (private UIKit).
id viewControllerForAncestor(id self, SEL) {
    for (id current = self; current != nullptr; current = view(current).superview)
        if (view(current).controller) return view(current).controller;
    return nullptr;
}

// Tint is not inherited from the superview: nil until set.
const StandIn<ViewState> kUIView{classes, "UIView", "UIResponder",
                                 {method<viewInit>("init"),
                                  method<viewInitWithFrame>("initWithFrame:"),
                                  method<viewFrame>("frame"),
                                  method<viewSetFrame>("setFrame:"),
                                  method<viewBounds>("bounds"),
                                  method<viewAlpha>("alpha"),
                                  method<viewSetAlpha>("setAlpha:"),
                                  method<viewInteractive>("isUserInteractionEnabled"),
                                  method<viewSetInteractive>("setUserInteractionEnabled:"),
                                  method<viewHidden>("isHidden"),
                                  method<viewSetHidden>("setHidden:"),
                                  method<viewAutoresizingMask>("autoresizingMask"),
                                  method<viewSetAutoresizingMask>("setAutoresizingMask:"),
                                  method<viewAddSubview>("addSubview:"),
                                  method<viewRemoveFromSuperview>("removeFromSuperview"),
                                  method<viewSubviews>("subviews"),
                                  method<viewSuperview>("superview"),
                                  method<viewBackgroundColor>("backgroundColor"),
                                  method<viewSetBackgroundColor>("setBackgroundColor:"),
                                  method<viewTintColor>("tintColor"),
                                  method<viewSetTintColor>("setTintColor:"),
                                  method<viewLayoutSubviews>("layoutSubviews"),
                                  method<viewSetNeedsLayout>("setNeedsLayout"),
                                  method<viewLayoutIfNeeded>("layoutIfNeeded"),
                                  method<viewControllerForAncestor>("_viewControllerForAncestor")}};

// ---- UILabel ----

struct LabelState {
    Ref<String> text;
    NSInteger numberOfLines = 1;
    Ref<Object> font;
    Ref<Object> textColor;
    NSInteger textAlignment = 0;
};
LabelState& label(id self) { return state<LabelState>(self); }

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

const StandIn<LabelState> kUILabel{classes, "UILabel", "UIView",
                                   {method<labelText>("text"),
                                    method<labelSetText>("setText:"),
                                    method<labelNumberOfLines>("numberOfLines"),
                                    method<labelSetNumberOfLines>("setNumberOfLines:"),
                                    method<labelFont>("font"),
                                    method<labelSetFont>("setFont:"),
                                    method<labelTextColor>("textColor"),
                                    method<labelSetTextColor>("setTextColor:"),
                                    method<labelTextAlignment>("textAlignment"),
                                    method<labelSetTextAlignment>("setTextAlignment:")}};

// ---- UIStackView ----

struct StackState {
    std::vector<Ref<UI::View>> arranged;
};

void stackAddArrangedSubview(id self, SEL, id subview) {
    if (subview == nullptr) return;
    state<StackState>(self).arranged.push_back(Ref<UI::View>::retain(UI::View(subview)));
    addSubview(self, subview);
}
id stackInitWithArrangedSubviews(id self, SEL, id views) {
    self = Object(self).send<id>(sel<"initWithFrame:">(), CGRect{});
    for (Object subview : NS::each<Object>(Object(views))) stackAddArrangedSubview(self, nullptr, subview.raw);
    return self;
}
id stackArrangedSubviews(id self, SEL) { return autoreleasedArray(state<StackState>(self).arranged); }

const StandIn<StackState> kUIStackView{classes, "UIStackView", "UIView",
                                       {method<stackInitWithArrangedSubviews>("initWithArrangedSubviews:"),
                                        method<stackAddArrangedSubview>("addArrangedSubview:"),
                                        method<stackArrangedSubviews>("arrangedSubviews")}};

// ---- UIWindow ----

struct WindowState {
    Ref<UI::ViewController> rootViewController;
};

id windowRoot(id self, SEL) { return state<WindowState>(self).rootViewController.get().raw; }
// The root's view fills the window, in place of the former root's.
void windowSetRoot(id self, SEL, id root) {
    auto& kept = state<WindowState>(self).rootViewController;
    if (kept) kept->view().send(sel<"removeFromSuperview">());
    kept = Ref<UI::ViewController>::retain(UI::ViewController(root));
    if (root) addSubview(self, viewOf(root));
}
void windowMakeKeyAndVisible(id self, SEL) { setKeyWindow(UI::Window(self)); }

const StandIn<WindowState> kUIWindow{classes, "UIWindow", "UIView",
                                     {method<windowRoot>("rootViewController"),
                                      method<windowSetRoot>("setRootViewController:"),
                                      method<windowMakeKeyAndVisible>("makeKeyAndVisible")}};

// ---- the controls of the settings page ----

struct ImageViewState {
    Ref<Object> image;
    NSInteger contentMode = 0;
};

id imageViewImage(id self, SEL) { return state<ImageViewState>(self).image.get().raw; }
void imageViewSetImage(id self, SEL, id image) { state<ImageViewState>(self).image = Ref<Object>::retain(Object(image)); }
NSInteger imageViewContentMode(id self, SEL) { return state<ImageViewState>(self).contentMode; }
void imageViewSetContentMode(id self, SEL, NSInteger mode) { state<ImageViewState>(self).contentMode = mode; }

const StandIn<ImageViewState> kUIImageView{classes, "UIImageView", "UIView",
                                           {method<imageViewImage>("image"),
                                            method<imageViewSetImage>("setImage:"),
                                            method<imageViewContentMode>("contentMode"),
                                            method<imageViewSetContentMode>("setContentMode:")}};

struct SwitchState {
    BOOL on = NO;
    Ref<Object> onTintColor;
};

BOOL switchIsOn(id self, SEL) { return state<SwitchState>(self).on; }
void switchSetOn(id self, SEL, BOOL on) { state<SwitchState>(self).on = on; }
id switchOnTintColor(id self, SEL) { return state<SwitchState>(self).onTintColor.get().raw; }
void switchSetOnTintColor(id self, SEL, id color) { state<SwitchState>(self).onTintColor = Ref<Object>::retain(Object(color)); }

const StandIn<SwitchState> kUISwitch{classes, "UISwitch", "UIView",
                                     {method<switchIsOn>("isOn"),
                                      method<switchSetOn>("setOn:"),
                                      method<switchOnTintColor>("onTintColor"),
                                      method<switchSetOnTintColor>("setOnTintColor:")}};

struct TableViewState {
    Ref<UI::View> tableHeaderView;
};

id tableViewHeader(id self, SEL) { return state<TableViewState>(self).tableHeaderView.get().raw; }
// The header is shown as a subview.
void tableViewSetHeader(id self, SEL, id header) {
    auto& kept = state<TableViewState>(self).tableHeaderView;
    if (kept) kept->send(sel<"removeFromSuperview">());
    kept = Ref<UI::View>::retain(UI::View(header));
    addSubview(self, header);
}

const StandIn<TableViewState> kUITableView{classes, "UITableView", "UIView",
                                           {method<tableViewHeader>("tableHeaderView"),
                                            method<tableViewSetHeader>("setTableHeaderView:")}};

struct TableViewCellState {
    NSInteger style = 0;
    Ref<Object> reuseIdentifier;
    Ref<UI::View> contentView;
};

// The frame UIKit gives a cell before its table lays it out.
constexpr CGRect kCellFrame{{0, 0}, {320, 44}};

id tableViewCellInit(id self, SEL, NSInteger style, id reuseIdentifier) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("UIView"), sel<"initWithFrame:">(), kCellFrame);
    if (self == nullptr) return nullptr;
    TableViewCellState& cell = state<TableViewCellState>(self);
    cell.style = style;
    cell.reuseIdentifier = Ref<Object>::retain(Object(reuseIdentifier));
    Object allocated(NS::classNamed("UIView").send<id>(sel<"alloc">()));
    cell.contentView = Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"initWithFrame:">(), kCellFrame));
    addSubview(self, cell.contentView.get().raw);
    return self;
}
NSInteger tableViewCellStyle(id self, SEL) { return state<TableViewCellState>(self).style; }
id tableViewCellReuseIdentifier(id self, SEL) { return state<TableViewCellState>(self).reuseIdentifier.get().raw; }
id tableViewCellContentView(id self, SEL) { return state<TableViewCellState>(self).contentView.get().raw; }

const StandIn<TableViewCellState> kUITableViewCell{classes, "UITableViewCell", "UIView",
                                                   {method<tableViewCellInit>("initWithStyle:reuseIdentifier:"),
                                                    method<tableViewCellStyle>("style"),
                                                    method<tableViewCellReuseIdentifier>("reuseIdentifier"),
                                                    method<tableViewCellContentView>("contentView")}};

} // namespace

ViewState::~ViewState() {
    for (auto& subview : subviews) view(subview.get().raw).superview = nullptr;
}

void addSubview(id self, id subview) {
    if (subview == nullptr || subview == self) return;
    Ref<UI::View> kept = Ref<UI::View>::retain(UI::View(subview));
    viewRemoveFromSuperview(subview, nullptr);
    view(subview).superview = self;
    view(self).subviews.push_back(kept);
}

id windowOf(id shown) {
    for (id current = shown; current != nullptr; current = view(current).superview)
        if (Object(current).isKindOfClass(objc::lookUpClass("UIWindow"))) return current;
    return nullptr;
}

bool inWindow(id shown) { return windowOf(shown) != nullptr; }

} // namespace sim::ui
