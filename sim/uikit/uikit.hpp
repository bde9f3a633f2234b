// Layer sim/uikit: UIKit's stand-ins for the simulated apps, as Objective-C classes under UIKit's
// names, and the C++ side through which the simulator drives and inspects them. It uses
// sim/platform only.
//
// Classes (define them with `defineClasses`; product code reaches them through objc/uikit.hpp):
//   UIResponder      touchesBegan:/Ended:/Cancelled:withEvent: (do nothing)
//   UIView           init, initWithFrame:, frame, setFrame:, bounds, alpha, setAlpha:,
//                    isUserInteractionEnabled, setUserInteractionEnabled:, isHidden, setHidden:,
//                    addSubview:, removeFromSuperview, subviews, superview, backgroundColor,
//                    setBackgroundColor:, tintColor, setTintColor: (no inheritance from the
//                    superview: nil until set), autoresizingMask, setAutoresizingMask:,
//                    layoutSubviews (does nothing), setNeedsLayout and layoutIfNeeded (the commit
//                    of layout_commit.hpp), _viewControllerForAncestor (the controller owning the view or
//                    the nearest superview that has one)
//   UILabel          initWithFrame:, text, setText:, numberOfLines (1), setNumberOfLines:, font,
//                    setFont:, textColor, setTextColor:, textAlignment, setTextAlignment:
//   UIStackView      initWithArrangedSubviews:, addArrangedSubview:, arrangedSubviews
//   UIColor          colorWithRed:green:blue:alpha:, clearColor, blackColor, whiteColor,
//                    getRed:green:blue:alpha:, isEqual: and hash by components
//   UIFont           fontWithName:size:, systemFontOfSize:, boldSystemFontOfSize:, fontName, pointSize
//   UIViewController init, view (loadView then viewDidLoad at first use), setView:, isViewLoaded,
//                    loadView, viewDidLoad, viewWillAppear:, viewDidAppear:, viewWillDisappear:,
//                    viewDidDisappear:, title, setTitle:, navigationItem,
//                    presentViewController:animated:completion:, presentedViewController,
//                    presentingViewController, dismissViewControllerAnimated:completion:
//   UINavigationItem title, setTitle:, rightBarButtonItem, setRightBarButtonItem:
//   UIWindow         (a UIView) rootViewController, setRootViewController:, makeKeyAndVisible
//   UIApplication    sharedApplication, keyWindow, openURL: (recorded, answers YES)
//   UIScreen         mainScreen, bounds (width from `setScreenWidth`, 667 high), scale (2)
//   UITouch          locationInView: (the point it was made with), view
//   UIEvent          allTouches (an NSSet)
//   UIAlertController  alertControllerWithTitle:message:preferredStyle:, title, message,
//                    preferredStyle, addAction:, actions, preferredAction, setPreferredAction:
//   UIAlertAction    actionWithTitle:style:handler: (copies the block), title, style
//   NSIndexPath      UIKit's additions: indexPathForItem:inSection:, indexPathForRow:inSection:,
//                    item, row, section
//
// A presented view controller stays on screen, in order of presentation, until it is dismissed or
// the process ends (`endProcess`). As in UIKit, a controller that is already presenting, or whose
// view is neither presented nor in a window, presents nothing: the transcript says "UIKit: refused
// to present ..." and the completion does not run. Pressing an alert's button takes the alert off
// the screen, runs the button's handler once, and lets the alert go.
#pragma once

#include "objc/uikit.hpp"
#include "sim/platform/stand_in_classes.hpp"

#include <optional>
#include <string>
#include <vector>

namespace sim::ui {

using objc::Object;
using objc::Ref;

// Defines every UIKit stand-in that does not exist yet, except those left out.
void defineClasses(const ClassNames& leftOut = {});

// The width of the main screen in points (375 unless set).
void setScreenWidth(CGFloat width);

// The alert on top of the presentations, or nil.
UI::AlertController alertOnScreen();

struct AlertButton {
    std::string title;
    NSInteger style;
};
struct AlertContent {
    std::optional<std::string> title;
    std::optional<std::string> message;
    NSInteger preferredStyle;
    std::vector<AlertButton> buttons;
    // The title of the preferred action, if one is set.
    std::optional<std::string> preferred;
};
AlertContent contentOf(UI::AlertController alert);

// Taps the button of that title on the alert on screen. False when there is no alert or no such
// button.
bool pressAlertButton(const std::string& title);

// A touch at `point` of `view`, and an event holding exactly that touch. A touch that moves keeps
// its object, as in UIKit.
Ref<UI::Touch> makeTouch(CGPoint point, UI::View view);
void moveTouch(UI::Touch touch, CGPoint point);
Ref<UI::Event> makeEvent(UI::Touch touch);

// The components of a UIColor, or nothing for nil.
struct Rgba {
    CGFloat red, green, blue, alpha;
    bool operator==(const Rgba&) const = default;
};
std::optional<Rgba> componentsOf(Object color);

// The string form of the last URL handed to openURL:, if any.
std::optional<std::string> lastOpenedURL();

// Installs `window` as the application's key window (retained).
void setKeyWindow(UI::Window window);

// Takes every presented controller off the screen, silently, and lets it go.
void dismissAll();
// Everything of the running process goes: presented controllers as by dismissAll, the key window
// and the record of opened URLs.
void endProcess();

} // namespace sim::ui
