// What the settings bundle's sources share: the screen width read at load, the accent colour, and
// the registration of the bundle's classes.
#pragma once

#include "objc/class_builder.hpp"
#include "objc/preferences.hpp"

namespace prefs {

// The main screen's width in points, truncated; set once when the bundle loads.
extern int width;

// A length in points as a whole number, truncated toward zero; 0 for a value that no int holds
// (NaN, an infinity, a quotient that overflows), so that odd images cannot reach undefined arithmetic.
inline int truncatedPoints(double points) {
    return points > -2147483649.0 && points < 2147483648.0 ? int(points) : 0;
}

// The bundle's accent colour: the window tint while the page is shown and the switches' on-tint.
inline UI::Color TWTintColor() {
    return UI::Color::colorWithRGBA(CGFloat(58) / 255, CGFloat(121) / 255, CGFloat(180) / 255, 1);
}

void registerListController();
void registerCells();

} // namespace prefs
