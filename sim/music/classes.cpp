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

// ---- the rows of its lists ----

struct CellState {
    Ref<String> title;
};

// One implementation per cell class, so that the log tells which class's layout ran.
template <objc::Name cellClass> void cellLayoutSubviews(id self, SEL cmd) { logCall(cellClass.text, "layoutSubviews", self, cmd); }
void cellOwnSetIsDisabled(id self, SEL cmd, BOOL disabled) {
    logCall("Music.SongCell", "setIsDisabled:", self, cmd, {disabled});
}

template <objc::Name cellClass> std::vector<MethodRow> cellMethods() {
    return {getter<&CellState::title>("title"), method<cellLayoutSubviews<cellClass>>("layoutSubviews")};
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

void headerLayoutSubviews(id self, SEL cmd) { logCall("Music.PlaylistDetailHeaderLockupView", "layoutSubviews", self, cmd); }

const StandIn<HeaderState> kHeader{classes, "Music.PlaylistDetailHeaderLockupView", "UIView",
                                   {getter<&HeaderState::titleText>("titleText"), method<headerLayoutSubviews>("layoutSubviews")}};

// ---- the add-music picker: a navigation controller; each of its three ways out closes it ----

void pickerViewWillAppear(id self, SEL cmd, BOOL animated) {
    logCall("Music.MediaPickerNavigationController", "viewWillAppear:", self, cmd, {animated});
    objc::sendSuper<void>(self, objc::lookUpClass("UINavigationController"), cmd, animated);
}
template <objc::Name method> void pickerClose(id self, SEL cmd) {
    logCall("Music.MediaPickerNavigationController", method.text, self, cmd);
    closePickerScreen();
}

const StandIn<> kMediaPicker{classes, "Music.MediaPickerNavigationController", "UINavigationController",
                             {method<pickerViewWillAppear>("viewWillAppear:"),
                              method<pickerClose<"finish">>("finish"),
                              method<pickerClose<"cancelTapped">>("cancelTapped"),
                              method<pickerClose<"doneTapped">>("doneTapped")}};

// ---- the context actions' header, and the playlist picker ----

struct ContextState {
    Ref<UI::StackView> titleStack;
};

void contextViewWillAppear(id self, SEL cmd, BOOL animated) {
    logCall("Music.ContextActionHeaderViewController", "viewWillAppear:", self, cmd, {animated});
    objc::sendSuper<void>(self, objc::lookUpClass("UIViewController"), cmd, animated);
}

const StandIn<ContextState> kContextHeader{classes, "Music.ContextActionHeaderViewController", "UIViewController",
                                           {getter<&ContextState::titleStack>("titleStack"),
                                            method<contextViewWillAppear>("viewWillAppear:")}};

const StandIn<> kPlaylistPicker{classes, "Music.PlaylistPickerViewController", "UIViewController", {}};

// ---- the now-playing bar ----

struct MarqueeState {
    Ref<UI::View> content;
};

void marqueeLayoutSubviews(id self, SEL cmd) { logCall("MPUMarqueeView", "layoutSubviews", self, cmd); }

const StandIn<MarqueeState> kMarquee{classes, "MPUMarqueeView", "UIView",
                                     {getter<&MarqueeState::content>("viewForContentSize"),
                                      method<marqueeLayoutSubviews>("layoutSubviews")}};

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
    Object allocated(NS::classNamed(appClass("Music.PlaylistDetailHeaderLockupView").c_str()).send<id>(sel<"alloc">()));
    auto made = Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"initWithFrame:">(), CGRect{}));
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
