// The Preferences framework of the simulated Settings app:
//   PSSpecifier        a row: its property list entry (propertyForKey:, setProperty:forKey:) and
//                      target (not retained)
//   PSListController   (a UIViewController) _specifiers, specifiers (what _specifiers holds),
//                      bundle (+[NSBundle bundleForClass:] of the receiver's class: the main
//                      bundle for a class built at run time), loadSpecifiersFromPlistName:target:
//                      (from [self bundle]), loadSpecifiersFromPlistName:target:bundle: (the rows
//                      of that property list of the bundle given; nil when it cannot be read;
//                      either way a line of the transcript says which bundle; the list's "title"
//                      becomes the page's title), table, loadView (a UITableView as wide as the
//                      screen), viewWillAppear: (shows the rows),
//                      setPreferenceValue:specifier: (hands the value to the preferences daemon and
//                      posts the row's PostNotification), readPreferenceValue: (the daemon's value,
//                      else the row's "default")
//   PSTableCell        (a UITableViewCell) initWithStyle:reuseIdentifier:specifier:, setValue:
//                      (ignored)
//   PSSwitchTableCell  (a PSTableCell) control (a UISwitch), setValue: (sets the switch),
//                      controlChanged: (stores the switch's state through the row's target)
//   protocol PreferencesTableCustomView: a cell class that adopts it is made with initWithSpecifier:
//                      and asked for preferredHeightForWidth: when it answers it.
// A row's cell is made from its "cellClass", else from its "cell" type.
#pragma once

#include "objc/uikit.hpp"

#include <string>
#include <vector>

namespace sim::settings {

// Defines the framework's classes and protocol unless they exist; after defineUIKitControls().
void definePreferencesFramework();

struct Row {
    objc::Object specifier;
    UI::View cell;
    CGFloat height;
};
// The rows that the controller's page shows now, in order (group rows included, without cells).
std::vector<Row> rowsOf(objc::Object listController);

// A property of a row as UTF-8 text, or "" when it has none.
std::string property(objc::Object specifier, const char* key);

} // namespace sim::settings
