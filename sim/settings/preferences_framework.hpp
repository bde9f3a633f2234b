// The Preferences framework of the simulated Settings app (PSSpecifier, PSListController,
// PSTableCell, PSSwitchTableCell, and the protocol PreferencesTableCustomView), and the rows that a
// page shows.
#pragma once

#include "objc/uikit.hpp"
#include "sim/platform/stand_in.hpp"

#include <string>
#include <vector>

namespace sim::settings {

extern Catalogue classes;
// Defines the framework's classes and protocol unless they exist; after UIKit's.
void definePreferencesFramework();

// A row as the framework makes it from an entry of a specifier list, for `target` (not retained).
objc::Ref<objc::Object> makeSpecifier(objc::Object properties, id target);

struct Row {
    objc::Object specifier;
    UI::View cell; // nil for a group row
    CGFloat height;
};
// The rows that the controller's page shows now, in order (group rows included, without cells).
std::vector<Row> rowsOf(objc::Object listController);

// A property of a row as UTF-8 text, or "" when it has none.
std::string property(objc::Object specifier, const char* key);

} // namespace sim::settings
