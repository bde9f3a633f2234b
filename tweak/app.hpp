// What the tweak asks of the Music app and its views, as named operations.
#pragma once

#include "objc/uikit.hpp"

namespace app {

using NS::String;
using objc::Object;
using objc::sel;

inline Class songCellClass() { return objc::lookUpClass("Music.SongCell"); }
inline Class playlistPickerClass() { return objc::lookUpClass("Music.PlaylistPickerViewController"); }

// The title a row shows (a song's title, a playlist's name); nil for a view that has none.
inline String title(Object row) {
    if (!row.respondsToSelector(sel<"title">())) return String();
    return row.send<String>(sel<"title">());
}

// Titles match by literal equality of their UTF-16 code units; an absent title matches nothing.
inline bool sameTitle(String a, String b) { return a && b && a.isEqualToString(b); }

// The title shown by a playlist page's header.
inline String titleText(UI::View header) { return header.send<String>(sel<"titleText">()); }

// The stack of labels that names the item of a context-action header.
inline UI::StackView titleStack(UI::ViewController header) { return header.send<UI::StackView>(sel<"titleStack">()); }

// The view a marquee scrolls.
inline UI::View viewForContentSize(UI::View marquee) { return marquee.send<UI::View>(sel<"viewForContentSize">()); }

inline void setIsDisabled(UI::View row, BOOL disabled) { row.send(sel<"setIsDisabled:">(), disabled); }

// An alert as the tweak shows them: empty title, alert style.
inline UI::AlertController makeAlert(String message) {
    return UI::AlertController::alertControllerWithTitle(NS::literal<"">(), message, UI::AlertController::kStyleAlert);
}

// Presents over whatever the view controller that owns `view` shows at this moment: from the top of
// the chain of presentations that starts there (the same controller while it presents nothing), as
// UIKit refuses a presentation from a controller that already presents one (a search, an alert).
// Nothing when no controller owns the view.
inline void present(UI::AlertController alert, UI::View view) {
    UI::ViewController presenter = view.viewControllerForAncestor();
    while (UI::ViewController shown = presenter.presentedViewController()) presenter = shown;
    presenter.presentViewController(alert, YES, nullptr);
}

} // namespace app
