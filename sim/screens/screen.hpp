// Layer sim/screens: pictures of the simulated screens. This header is plain data: what one screen
// shows, as each app describes it (music::screenShown, settings::screenShown), with the frames and
// metrics its views really have. picture.hpp draws it.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace sim::screens {

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const Color&) const = default;
};

// A UILabel as it is set up, its frame in its superview's coordinates.
struct Label {
    std::string text;
    std::string font; // the UIFont's name
    double size = 17;
    Color color;
    long alignment = 0; // NSTextAlignment: 0 left, 1 centre, 2 right
    Rect frame;
    bool operator==(const Label&) const = default;
};

struct Alert {
    std::optional<std::string> title;
    std::optional<std::string> message;
    long style = 1; // UIAlertControllerStyle: 1 an alert, 0 an action sheet
    std::vector<std::string> buttons; // in order
    std::optional<std::string> preferred; // the preferred action's title, if one is set
    bool operator==(const Alert&) const = default;
};

// A row of a Music list, its frame in the list.
struct ListRow {
    std::optional<std::string> title;
    double alpha = 1;
    Rect frame;
    bool operator==(const ListRow&) const = default;
};

struct MusicScreen {
    enum class Kind { playlistPage, songPicker, searchResults, contextActions, playlistPicker };
    Kind kind = Kind::playlistPage;
    std::optional<std::string> title;    // the playlist page's name, or the context header's title
    std::optional<std::string> subtitle; // the context header's subtitle
    std::string search;                  // the text searched for
    std::vector<ListRow> rows;           // the list on top, if any
    std::optional<Alert> alert;
    bool operator==(const MusicScreen&) const = default;
};

// A row of the settings page: a group (its label and footer), or a cell of its height with the
// specifier's label and what the cell holds.
struct SettingsRow {
    enum class Kind { group, cell, switchCell, button };
    Kind kind = Kind::cell;
    std::string label;
    std::string footer;
    double height = 0;
    bool on = false;
    std::optional<Color> onTint;
    std::vector<Label> labels; // the cell's own labels
    bool operator==(const SettingsRow&) const = default;
};

struct SettingsScreen {
    std::optional<std::string> title;
    std::optional<std::string> rightButton;
    std::optional<Color> tint; // the key window's; nil gives the system's
    Rect header;               // the table's header view
    std::string headerImage;   // the PNG file it shows, none when empty
    std::vector<SettingsRow> rows;
    bool operator==(const SettingsScreen&) const = default;
};

struct Screen {
    std::string device; // the model of the run's device
    double width = 0, height = 0, scale = 1;
    std::variant<MusicScreen, SettingsScreen> shown;
    bool operator==(const Screen&) const = default;
};

} // namespace sim::screens
