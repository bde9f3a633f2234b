// The Music app's own classes, under the names the tweak looks up, and the MediaPlayerUI classes
// of its now-playing bar. Each hooked method is the class's own, so that hooking swaps it, and
// writes its call, under its own name, to the call log (call_log.hpp).
#pragma once

#include "objc/uikit.hpp"
#include "sim/platform/stand_in.hpp"

#include <optional>
#include <string>

namespace sim::music {

extern Catalogue classes;
// Music.SongCell's own setIsDisabled:, as an app of a release whose song cell has one.
extern Catalogue songCellOwnSetIsDisabled;

// The name of the app's class declared as `name` on the running device's release: from iOS 13 the
// app's Swift classes live in the module MusicApplication, where iOS 12's lived in Music
// (releases.hpp). Every class the app defines and looks up goes by it.
std::string appClass(const char* name);

// A row of that cell class (a Music.SongCell, ...SearchResultCell or ...PlaylistCell, as declared)
// showing `title`; nil when the app lacks the class.
objc::Ref<UI::View> makeRow(const char* cellClass, const std::optional<std::string>& title);
// A playlist page's header showing `title`; nil when the app lacks its class.
objc::Ref<UI::View> makeHeader(const std::optional<std::string>& title);
// The header of a context-action sheet naming its item with the labels of `titleStack`.
objc::Ref<UI::ViewController> makeContextHeader(UI::StackView titleStack);
// What a now-playing marquee scrolls.
void setMarqueeContent(UI::View marquee, UI::View content);

} // namespace sim::music
