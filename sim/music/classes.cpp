#include "sim/music/classes.hpp"

#include "sim/music/screens.hpp"
#include "sim/platform/call_log.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/process.hpp"

#include <string_view>

namespace sim::music {

constinit Catalogue classes{Threads::any};
constinit Catalogue songCellOwnSetIsDisabled{Threads::any};

namespace {

// One implementation per class, so that the log tells which class's method ran.
template <objc::Name owner> void loggedLayoutSubviews(id self, SEL cmd) { logCall(owner.text, "layoutSubviews", self, cmd); }
template <objc::Name owner, objc::Name superclass> void loggedViewWillAppear(id self, SEL cmd, BOOL animated) {
    logCall(owner.text, "viewWillAppear:", self, cmd, {animated});
    objc::sendSuper<void>(self, objc::lookUpClass(superclass.text), cmd, animated);
}

// ---- the rows of its lists ----

struct CellState {
    Ref<String> title;
};

void cellOwnSetIsDisabled(id self, SEL cmd, BOOL disabled) {
    logCall("Music.SongCell", "setIsDisabled:", self, cmd, {disabled});
}

template <objc::Name cellClass> std::vector<MethodRow> cellMethods() {
    return {getter<&CellState::title>("title"), method<loggedLayoutSubviews<cellClass>>("layoutSubviews")};
}

const StandIn<CellState> kSongCell{classes, "Music.SongCell", "UICollectionViewCell", cellMethods<"Music.SongCell">()};
const StandIn<CellState> kSearchResultCell{classes, "Music.SearchResultCell", "UICollectionViewCell",
                                           cellMethods<"Music.SearchResultCell">()};
const StandIn<CellState> kPlaylistCell{classes, "Music.PlaylistCell", "UICollectionViewCell",
                                       cellMethods<"Music.PlaylistCell">()};
const StandIn<> kOwnSetIsDisabled{songCellOwnSetIsDisabled, "Music.SongCell", nullptr,
                                  {method<cellOwnSetIsDisabled>("setIsDisabled:")}};

// ---- the playlist page's header ----

struct HeaderState {
    Ref<String> titleText;
};

const StandIn<HeaderState> kHeader{classes, "Music.PlaylistDetailHeaderLockupView", "UIView",
                                   {getter<&HeaderState::titleText>("titleText"),
                                    method<loggedLayoutSubviews<"Music.PlaylistDetailHeaderLockupView">>("layoutSubviews")}};

// ---- the add-music picker: a navigation controller; each of its three ways out closes it ----

template <objc::Name method> void pickerClose(id self, SEL cmd) {
    logCall("Music.MediaPickerNavigationController", method.text, self, cmd);
    closePickerScreen();
}

const StandIn<> kMediaPicker{
    classes, "Music.MediaPickerNavigationController", "UINavigationController",
    {method<loggedViewWillAppear<"Music.MediaPickerNavigationController", "UINavigationController">>("viewWillAppear:"),
     method<pickerClose<"finish">>("finish"),
     method<pickerClose<"cancelTapped">>("cancelTapped"),
     method<pickerClose<"doneTapped">>("doneTapped")}};

// ---- the context actions' header, and the playlist picker ----

struct ContextState {
    Ref<UI::StackView> titleStack;
};

const StandIn<ContextState> kContextHeader{
    classes, "Music.ContextActionHeaderViewController", "UIViewController",
    {getter<&ContextState::titleStack>("titleStack"),
     method<loggedViewWillAppear<"Music.ContextActionHeaderViewController", "UIViewController">>("viewWillAppear:")}};

const StandIn<> kPlaylistPicker{classes, "Music.PlaylistPickerViewController", "UIViewController", {}};

// ---- the now-playing bar ----

struct MarqueeState {
    Ref<UI::View> content;
};

const StandIn<MarqueeState> kMarquee{classes, "MPUMarqueeView", "UIView",
                                     {getter<&MarqueeState::content>("viewForContentSize"),
                                      method<loggedLayoutSubviews<"MPUMarqueeView">>("layoutSubviews")}};

// The app's own layout of the transport button makes it interactive, which the tweak undoes after it.
void transportLayoutSubviews(id self, SEL cmd) {
    logCall("MPUHalfTintedTransportButton", "layoutSubviews", self, cmd);
    UI::View(self).setUserInteractionEnabled(YES);
}

const StandIn<> kTransportButton{classes, "MPUHalfTintedTransportButton", "UIView",
                                 {method<transportLayoutSubviews>("layoutSubviews")}};

} // namespace

std::string appClass(const char* name) {
    constexpr std::string_view kModule = "Music.";
    if (!runningDevice().line->musicApplicationModule || std::string_view(name).substr(0, kModule.size()) != kModule)
        return name;
    return "MusicApplication." + std::string(name + kModule.size());
}

Ref<UI::View> makeRow(const char* cellClass, const std::optional<std::string>& title) {
    auto made = make<UI::View>(appClass(cellClass).c_str());
    if (made) state<CellState>(made.get().raw).title = stringOf(title);
    return made;
}

Ref<UI::View> makeHeader(const std::optional<std::string>& title) {
    auto made = make<UI::View>(appClass("Music.PlaylistDetailHeaderLockupView").c_str());
    if (made) state<HeaderState>(made.get().raw).titleText = stringOf(title);
    return made;
}

Ref<UI::ViewController> makeContextHeader(UI::StackView titleStack) {
    auto made = make<UI::ViewController>(appClass("Music.ContextActionHeaderViewController").c_str());
    if (made) state<ContextState>(made.get().raw).titleStack = Ref<UI::StackView>::retain(titleStack);
    return made;
}

void setMarqueeContent(UI::View marquee, UI::View content) {
    state<MarqueeState>(marquee.raw).content = Ref<UI::View>::retain(content);
}

} // namespace sim::music
