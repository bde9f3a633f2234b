// The UIKit stand-ins that the settings page needs beyond the core ones of sim/uikit.hpp:
//   UIImage          initWithContentsOfFile: (a PNG; its size in points is its pixel size, read from
//                    the header; nil for a missing file or one that is not a PNG), size
//   UIImageView      (a UIView) image, setImage:, contentMode, setContentMode:
//   UISwitch         (a UIView) isOn, setOn:, onTintColor, setOnTintColor:
//   UIBarButtonItem  initWithTitle:style:target:action:, title, style, target (not retained), action
//   UITableViewCell  (a UIView, 320 x 44) initWithStyle:reuseIdentifier:, style, reuseIdentifier,
//                    contentView
//   UITableView      (a UIView) tableHeaderView, setTableHeaderView: (shown as a subview)
#pragma once

namespace sim::settings {

// Defines those classes unless they exist; after sim::ui::defineClasses().
void defineUIKitControls();

} // namespace sim::settings
