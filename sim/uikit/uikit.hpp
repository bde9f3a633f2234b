// Layer sim/uikit: UIKit's stand-ins for the simulated apps, as Objective-C classes under UIKit's
// names (the declarations of each file say which), and the C++ side through which the simulator
// drives and inspects them. It uses sim/platform, and sim/screens for the data of what a screen shows.
//
// A presented view controller stays on screen, in order of presentation, until it is dismissed or
// the process ends (`endProcess`); presentation.cpp gives UIKit's rules. Pressing an alert's button
// is an event of the main run loop: the alert goes, animated, then the button's handler runs once,
// and the alert is let go. Views are laid out at Core Animation's commit (layout_commit.hpp).
#pragma once

#include "objc/uikit.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/stand_in.hpp"
#include "sim/screens/screen.hpp"

#include <optional>
#include <string>
#include <vector>

namespace sim::ui {

// UIKit's classes, defined by the first app that starts. Their methods run on the main thread only,
// but those of UIColor, UIFont and UIImage, which Apple documents as safe on any thread.
extern Catalogue classes;

// A new view of the named class made with initWithFrame: (nil when the app lacks the class), owned.
template <class T> Ref<T> makeView(const char* className, CGRect frame) {
    Object allocated(NS::classNamed(className).send<id>(sel<"alloc">()));
    return Ref<T>::adopt(allocated.send<T>(sel<"initWithFrame:">(), frame));
}

// The main screen is the running device's (sim/platform/process.hpp); a width set here takes the
// place of its width in points, and nothing gives it back.
void setScreenWidth(std::optional<CGFloat> width);

// The alert on top of the presentations, or nil.
UI::AlertController alertOnScreen();

// What the alert shows, as its picture shows it.
screens::Alert contentOf(UI::AlertController alert);

// Taps the button of that title on the alert on screen. False when there is no alert or no such
// button.
bool pressAlertButton(const std::string& title);

// A touch at `point` of `view`, and an event holding exactly that touch. A touch that moves keeps
// its object, as in UIKit.
objc::Ref<UI::Touch> makeTouch(CGPoint point, UI::View view);
void moveTouch(UI::Touch touch, CGPoint point);
objc::Ref<UI::Event> makeEvent(UI::Touch touch);

// The components of a UIColor, or nothing for nil.
using Rgba = screens::Color;
std::optional<Rgba> componentsOf(objc::Object color);

// A frame as a picture takes it.
inline screens::Rect rectOf(CGRect rect) { return {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height}; }

// The string form of the last URL handed to openURL:, if any.
std::optional<std::string> lastOpenedURL();

// Installs `window` as the application's key window (retained).
void setKeyWindow(UI::Window window);

// Takes every presented controller off the screen, silently, and lets it go.
void dismissAll();
// Everything of the running process goes: presented controllers as by dismissAll, the key window
// and the records of opened URLs and selections.
void endProcess();

} // namespace sim::ui
