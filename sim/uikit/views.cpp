// UIKit's views: UIResponder, UIView, UILabel, UIStackView, UIWindow, and the controls of the
// settings page (UIImageView, UISwitch, UITableView, UITableViewCell).
#include "sim/uikit/views.hpp"

#include "sim/platform/objects.hpp"
#include "sim/uikit/layout_commit.hpp"
#include "sim/uikit/uikit.hpp"

namespace sim::ui {

namespace {

const StandIn<> kUIResponder{classes, "UIResponder", "NSObject", {}};

// ---- UIView ----

id viewInitWithFrame(id self, SEL, CGRect frame) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("UIResponder"), sel<"init">());
    if (self) view(self).frame = frame;
    return self;
}
id viewInit(id self, SEL) { return Object(self).send<id>(sel<"initWithFrame:">(), CGRect{}); }
CGRect viewBounds(id self, SEL) { return CGRect{{0, 0}, view(self).frame.size}; }
void viewRemoveFromSuperview(id self, SEL) {
    id superview = view(self).superview;
    if (superview == nullptr) return;
    view(self).superview = nullptr;
    takeOut(view(superview).subviews, self);
}
void viewAddSubview(id self, SEL, id subview) { addSubview(self, subview); }
id viewSubviews(id self, SEL) { return autoreleasedArray(view(self).subviews); }
void viewLayoutSubviews(id, SEL) {}
void viewSetNeedsLayout(id self, SEL) { markForLayout(UI::View(self)); }
void viewLayoutIfNeeded(id self, SEL) { layOutIfMarked(UI::View(self)); }
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
                                  getter<&ViewState::frame>("frame"),
                                  setter<&ViewState::frame>("setFrame:"),
                                  method<viewBounds>("bounds"),
                                  getter<&ViewState::alpha>("alpha"),
                                  setter<&ViewState::alpha>("setAlpha:"),
                                  getter<&ViewState::interactive>("isUserInteractionEnabled"),
                                  setter<&ViewState::interactive>("setUserInteractionEnabled:"),
                                  getter<&ViewState::autoresizingMask>("autoresizingMask"),
                                  setter<&ViewState::autoresizingMask>("setAutoresizingMask:"),
                                  method<viewAddSubview>("addSubview:"),
                                  method<viewRemoveFromSuperview>("removeFromSuperview"),
                                  method<viewSubviews>("subviews"),
                                  getter<&ViewState::superview>("superview"),
                                  getter<&ViewState::backgroundColor>("backgroundColor"),
                                  setter<&ViewState::backgroundColor>("setBackgroundColor:"),
                                  getter<&ViewState::tintColor>("tintColor"),
                                  setter<&ViewState::tintColor>("setTintColor:"),
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

const StandIn<LabelState> kUILabel{classes, "UILabel", "UIView",
                                   {getter<&LabelState::text>("text"),
                                    copyingSetter<&LabelState::text>("setText:"),
                                    getter<&LabelState::numberOfLines>("numberOfLines"),
                                    setter<&LabelState::numberOfLines>("setNumberOfLines:"),
                                    getter<&LabelState::font>("font"),
                                    setter<&LabelState::font>("setFont:"),
                                    getter<&LabelState::textColor>("textColor"),
                                    setter<&LabelState::textColor>("setTextColor:"),
                                    getter<&LabelState::textAlignment>("textAlignment"),
                                    setter<&LabelState::textAlignment>("setTextAlignment:")}};

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

// The root's view fills the window, in place of the former root's.
void windowSetRoot(id self, SEL, id root) {
    auto& kept = state<WindowState>(self).rootViewController;
    if (kept) kept->view().send(sel<"removeFromSuperview">());
    kept = Ref<UI::ViewController>::retain(UI::ViewController(root));
    if (root) addSubview(self, viewOf(root));
}

const StandIn<WindowState> kUIWindow{classes, "UIWindow", "UIView",
                                     {method<windowSetRoot>("setRootViewController:")}};

// ---- the controls of the settings page ----

struct ImageViewState {
    Ref<Object> image;
    NSInteger contentMode = 0;
};

const StandIn<ImageViewState> kUIImageView{classes, "UIImageView", "UIView",
                                           {getter<&ImageViewState::image>("image"),
                                            setter<&ImageViewState::image>("setImage:"),
                                            getter<&ImageViewState::contentMode>("contentMode"),
                                            setter<&ImageViewState::contentMode>("setContentMode:")}};

struct SwitchState {
    BOOL on = NO;
    Ref<Object> onTintColor;
};

const StandIn<SwitchState> kUISwitch{classes, "UISwitch", "UIView",
                                     {getter<&SwitchState::on>("isOn"),
                                      setter<&SwitchState::on>("setOn:"),
                                      getter<&SwitchState::onTintColor>("onTintColor"),
                                      setter<&SwitchState::onTintColor>("setOnTintColor:")}};

struct TableViewState {
    Ref<UI::View> tableHeaderView;
};

// The header is shown as a subview.
void tableViewSetHeader(id self, SEL, id header) {
    auto& kept = state<TableViewState>(self).tableHeaderView;
    if (kept) kept->send(sel<"removeFromSuperview">());
    kept = Ref<UI::View>::retain(UI::View(header));
    addSubview(self, header);
}

const StandIn<TableViewState> kUITableView{classes, "UITableView", "UIView",
                                           {getter<&TableViewState::tableHeaderView>("tableHeaderView"),
                                            method<tableViewSetHeader>("setTableHeaderView:")}};

struct TableViewCellState {
    NSInteger style = 0;
    Ref<Object> reuseIdentifier;
};

// The frame UIKit gives a cell before its table lays it out.
constexpr CGRect kCellFrame{{0, 0}, {320, 44}};

id tableViewCellInit(id self, SEL, NSInteger style, id reuseIdentifier) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("UIView"), sel<"initWithFrame:">(), kCellFrame);
    if (self == nullptr) return nullptr;
    state<TableViewCellState>(self) = {style, Ref<Object>::retain(Object(reuseIdentifier))};
    return self;
}

const StandIn<TableViewCellState> kUITableViewCell{classes, "UITableViewCell", "UIView",
                                                   {method<tableViewCellInit>("initWithStyle:reuseIdentifier:"),
                                                    getter<&TableViewCellState::style>("style"),
                                                    getter<&TableViewCellState::reuseIdentifier>("reuseIdentifier")}};

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

} // namespace sim::ui
