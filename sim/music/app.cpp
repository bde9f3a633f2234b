#include "sim/music/app.hpp"

#include "sim/device_core/loader.hpp"
#include "sim/device_core/package.hpp"
#include "sim/device_core/releases.hpp"
#include "sim/mediaplayer/media_library.hpp"
#include "sim/platform/call_log.hpp"
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/substrate.hpp"
#include "sim/platform/transcript.hpp"
#include "sim/uikit/layout_commit.hpp"
#include "sim/uikit/main_thread.hpp"
#include "sim/uikit/uikit.hpp"

#include <cmath>
#include <functional>
#include <string_view>

namespace sim::music {

namespace {

using NS::String;
using objc::Object;
using objc::Ref;
using objc::sel;

constexpr CGFloat kRowHeight = 44;

// What the app saw of its lists, kept apart from the process so that the lists' own methods can
// run in unit tests without a launch.
struct Observations {
    TouchCounts touches;
    std::optional<Selection> selection;
};
Observations observed;

// ---- UICollectionView and its cells ----

struct CellState {
    Ref<String> title;
};
constexpr const char* kCellState = "_simCell";
CellState& cell(id self) { return stateOf<CellState>(Object(self), kCellState); }

void cellDealloc(id self, SEL) {
    destroyState<CellState>(Object(self), kCellState);
    deallocAsSuperclass(self, "UIView");
}
id cellTitle(id self, SEL) { return cell(self).title.get().raw; }
// One implementation per cell class, so that the log tells which class's layout ran.
template <objc::Name cellClass> void cellLayoutSubviews(id self, SEL cmd) {
    logCall(cellClass.text, "layoutSubviews", self, cmd);
}
void cellOwnSetIsDisabled(id self, SEL cmd, BOOL disabled) {
    logCall("Music.SongCell", "setIsDisabled:", self, cmd, {disabled});
}

struct ListState {
    std::vector<Ref<UI::View>> cells;
    // What the app does when its own touch handling selects a row; empty once the list left the
    // screen.
    std::function<void(size_t)> onSelect;
};
constexpr const char* kListState = "_simList";
ListState& list(id self) { return stateOf<ListState>(Object(self), kListState); }

void listDealloc(id self, SEL) {
    destroyState<ListState>(Object(self), kListState);
    deallocAsSuperclass(self, "UIView");
}

std::optional<size_t> rowAt(id self, CGPoint point) {
    CGRect bounds = Object(self).send<CGRect>(sel<"bounds">());
    if (point.x < 0 || point.x >= bounds.size.width || point.y < 0) return std::nullopt;
    auto row = size_t(std::floor(point.y / kRowHeight));
    if (row >= list(self).cells.size()) return std::nullopt;
    return row;
}

std::optional<size_t> rowOf(id self, Object indexPath) {
    if (!indexPath) return std::nullopt;
    auto item = indexPath.send<NSInteger>(sel<"item">());
    if (item < 0 || size_t(item) >= list(self).cells.size()) return std::nullopt;
    return size_t(item);
}

CGPoint locationOfAnyTouch(id self, id event) {
    return UI::Touch(UI::Event(event).allTouches().anyObject().raw).locationInView(UI::View(self));
}

void listTouchesBegan(id self, SEL cmd, id touches, id event) {
    logCall("UICollectionView", "touchesBegan:withEvent:", self, cmd, {argument(touches), argument(event)});
    ++observed.touches.began;
}

// The list's own handling acts on a touch end alone: it selects the row under the touch and the
// app acts on that row.
void listTouchesEnded(id self, SEL cmd, id touches, id event) {
    logCall("UICollectionView", "touchesEnded:withEvent:", self, cmd, {argument(touches), argument(event)});
    ++observed.touches.ended;
    std::optional<size_t> row = rowAt(self, locationOfAnyTouch(self, event));
    if (row && list(self).onSelect) {
        auto act = list(self).onSelect; // the action may take the list off the screen
        act(*row);
    }
}

void listTouchesCancelled(id self, SEL cmd, id touches, id event) {
    logCall("UICollectionView", "touchesCancelled:withEvent:", self, cmd, {argument(touches), argument(event)});
}

id listIndexPathForItemAtPoint(id self, SEL, CGPoint point) {
    std::optional<size_t> row = rowAt(self, point);
    if (!row) return nullptr;
    return NS::classNamed("NSIndexPath").send<id>(sel<"indexPathForItem:inSection:">(), NSInteger(*row), NSInteger(0));
}

id listCellForItemAtIndexPath(id self, SEL, id indexPath) {
    std::optional<size_t> row = rowOf(self, Object(indexPath));
    return row ? list(self).cells[*row].get().raw : nullptr;
}

// A selection from code only marks the row.
void listSelectItem(id self, SEL cmd, id indexPath, BOOL animated, NSUInteger scrollPosition) {
    logCall("UICollectionView", "selectItemAtIndexPath:animated:scrollPosition:", self, cmd,
            {argument(indexPath), animated, scrollPosition});
    std::optional<size_t> row = rowOf(self, Object(indexPath));
    observed.selection = Selection{row ? sim::text(cell(list(self).cells[*row].get().raw).title.get()) : std::nullopt};
}

// ---- the playlist page's header ----

struct HeaderState {
    Ref<String> titleText;
};
constexpr const char* kHeaderState = "_simHeader";
HeaderState& header(id self) { return stateOf<HeaderState>(Object(self), kHeaderState); }

void headerDealloc(id self, SEL) {
    destroyState<HeaderState>(Object(self), kHeaderState);
    deallocAsSuperclass(self, "UIView");
}
id headerTitleText(id self, SEL) { return header(self).titleText.get().raw; }
void headerLayoutSubviews(id self, SEL cmd) { logCall("Music.PlaylistDetailHeaderLockupView", "layoutSubviews", self, cmd); }

// ---- the add-music picker ----

void closePickerScreen();

void pickerViewWillAppear(id self, SEL cmd, BOOL animated) {
    logCall("Music.MediaPickerNavigationController", "viewWillAppear:", self, cmd, {animated});
    objc::sendSuper<void>(self, objc::lookUpClass("UIViewController"), cmd, animated);
}
// Each of the three ways out closes the picker, with an implementation of its own.
template <objc::Name method> void pickerClose(id self, SEL cmd) {
    logCall("Music.MediaPickerNavigationController", method.text, self, cmd);
    closePickerScreen();
}

// ---- the context actions' header ----

struct ContextState {
    Ref<UI::StackView> titleStack;
};
constexpr const char* kContextState = "_simContext";
ContextState& context(id self) { return stateOf<ContextState>(Object(self), kContextState); }

void contextDealloc(id self, SEL) {
    destroyState<ContextState>(Object(self), kContextState);
    deallocAsSuperclass(self, "UIViewController");
}
id contextTitleStack(id self, SEL) { return context(self).titleStack.get().raw; }
void contextViewWillAppear(id self, SEL cmd, BOOL animated) {
    logCall("Music.ContextActionHeaderViewController", "viewWillAppear:", self, cmd, {animated});
    objc::sendSuper<void>(self, objc::lookUpClass("UIViewController"), cmd, animated);
}

// ---- the now-playing bar ----

struct MarqueeState {
    Ref<UI::View> content;
};
constexpr const char* kMarqueeState = "_simMarquee";
MarqueeState& marquee(id self) { return stateOf<MarqueeState>(Object(self), kMarqueeState); }

void marqueeDealloc(id self, SEL) {
    destroyState<MarqueeState>(Object(self), kMarqueeState);
    deallocAsSuperclass(self, "UIView");
}
id marqueeViewForContentSize(id self, SEL) { return marquee(self).content.get().raw; }
void marqueeLayoutSubviews(id self, SEL cmd) { logCall("MPUMarqueeView", "layoutSubviews", self, cmd); }

// The app's own layout of the transport button makes it interactive, which the tweak undoes after it.
void transportLayoutSubviews(id self, SEL cmd) {
    logCall("MPUHalfTintedTransportButton", "layoutSubviews", self, cmd);
    UI::View(self).setUserInteractionEnabled(YES);
}

// ---- classes ----

// The app's own class of that name on the release of the run: from iOS 13 the app's Swift classes
// live in the module MusicApplication, where iOS 12's lived in Music (releases.hpp).
std::string appClass(const char* name) {
    constexpr std::string_view kModule = "Music.";
    if (!device::currentDevice().line->musicApplicationModule || std::string_view(name).substr(0, kModule.size()) != kModule)
        return name;
    return "MusicApplication." + std::string(name + kModule.size());
}

template <objc::Name name> void defineCell(const LaunchOptions& options, bool ownSetIsDisabled) {
    defineClass(appClass(name.text).c_str(), "UICollectionViewCell", options.leftOut, [&](objc::ClassBuilder& c) {
        c.method<cellTitle>(sel<"title">()).method<cellLayoutSubviews<name>>(sel<"layoutSubviews">());
        if (ownSetIsDisabled) c.method<cellOwnSetIsDisabled>(sel<"setIsDisabled:">());
    });
}

void defineAppClasses(const LaunchOptions& options) {
    using objc::ClassBuilder;
    ui::defineClasses(options.leftOut);
    media::defineClasses(options.leftOut);
    // UIKit's own classes check the thread in every method, as the rest of UIKit does.
    ui::defineUIKitClass("UICollectionView", "UIView", options.leftOut, [](ui::UIKitClassBuilder& c) {
        c.ivar<void*>(kListState)
            .method<listDealloc>(sel<"dealloc">())
            .method<listTouchesBegan>(sel<"touchesBegan:withEvent:">())
            .method<listTouchesEnded>(sel<"touchesEnded:withEvent:">())
            .method<listTouchesCancelled>(sel<"touchesCancelled:withEvent:">())
            .method<listIndexPathForItemAtPoint>(sel<"indexPathForItemAtPoint:">())
            .method<listCellForItemAtIndexPath>(sel<"cellForItemAtIndexPath:">())
            .method<listSelectItem>(sel<"selectItemAtIndexPath:animated:scrollPosition:">());
    });
    ui::defineUIKitClass("UICollectionViewCell", "UIView", options.leftOut,
                         [](ui::UIKitClassBuilder& c) { c.ivar<void*>(kCellState).method<cellDealloc>(sel<"dealloc">()); });
    defineCell<"Music.SongCell">(options, options.songCellHasOwnSetIsDisabled);
    defineCell<"Music.SearchResultCell">(options, false);
    defineCell<"Music.PlaylistCell">(options, false);
    defineClass(appClass("Music.PlaylistDetailHeaderLockupView").c_str(), "UIView", options.leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kHeaderState)
            .method<headerDealloc>(sel<"dealloc">())
            .method<headerTitleText>(sel<"titleText">())
            .method<headerLayoutSubviews>(sel<"layoutSubviews">());
    });
    defineClass(appClass("Music.MediaPickerNavigationController").c_str(), "UIViewController", options.leftOut, [](ClassBuilder& c) {
        c.method<pickerViewWillAppear>(sel<"viewWillAppear:">())
            .method<pickerClose<"finish">>(sel<"finish">())
            .method<pickerClose<"cancelTapped">>(sel<"cancelTapped">())
            .method<pickerClose<"doneTapped">>(sel<"doneTapped">());
    });
    defineClass(appClass("Music.ContextActionHeaderViewController").c_str(), "UIViewController", options.leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kContextState)
            .method<contextDealloc>(sel<"dealloc">())
            .method<contextTitleStack>(sel<"titleStack">())
            .method<contextViewWillAppear>(sel<"viewWillAppear:">());
    });
    defineClass(appClass("Music.PlaylistPickerViewController").c_str(), "UIViewController", options.leftOut, [](ClassBuilder&) {});
    defineClass("MPUMarqueeView", "UIView", options.leftOut, [](ClassBuilder& c) {
        c.ivar<void*>(kMarqueeState)
            .method<marqueeDealloc>(sel<"dealloc">())
            .method<marqueeViewForContentSize>(sel<"viewForContentSize">())
            .method<marqueeLayoutSubviews>(sel<"layoutSubviews">());
    });
    defineClass("MPUHalfTintedTransportButton", "UIView", options.leftOut,
                [](ClassBuilder& c) { c.method<transportLayoutSubviews>(sel<"layoutSubviews">()); });
}

// ---- the process ----

// The item whose context actions are shown: a song, an album, or a bare header (nothing).
struct ContextItem {
    Ref<MP::Item> song;
    Ref<MP::Collection> album;
};

struct Screens {
    Ref<UI::ViewController> playlistPage;
    Ref<UI::View> header;
    std::optional<std::string> pageTitle;
    Ref<UI::ViewController> picker;
    Ref<UI::CollectionView> pickerList;
    std::vector<Ref<MP::Item>> pickerSongs;
    std::optional<std::string> searchText;
    Ref<UI::ViewController> contextActions;
    ContextItem contextItem;
    std::optional<std::string> actionsTitle;
    std::optional<std::string> actionsSubtitle;
    Ref<UI::ViewController> playlistPicker;
    Ref<UI::CollectionView> playlistList;
    std::vector<Ref<MP::Playlist>> pickerPlaylists;
};

struct Process {
    LaunchOptions options;
    device::Library tweak;
    std::vector<MethodsMark> marks;
    // The app's window: a screen is on screen while its controller's view is in it.
    Ref<UI::View> window;
    Screens screens;
    Ref<UI::View> marquee;
    Ref<UI::View> transport;
};
std::optional<Process> process;
std::optional<LaunchOptions> classesDefinedWith;

Process& runningProcess() {
    if (!process) throw AppError("the Music app is not running");
    return *process;
}

Screens& screens() { return runningProcess().screens; }

bool sameClasses(const LaunchOptions& a, const LaunchOptions& b) {
    return a.leftOut == b.leftOut && a.songCellHasOwnSetIsDisabled == b.songCellHasOwnSetIsDisabled;
}

std::string describeRows(UI::CollectionView shown) {
    std::string text;
    for (const auto& row : list(shown.raw).cells) {
        if (!text.empty()) text += ", ";
        text += quotedOrNone(sim::text(cell(row.get().raw).title.get()));
        CGFloat alpha = UI::View(row.get()).alpha();
        if (alpha == 0.5) text += " (dimmed)";
        else if (alpha != 1.0) text += " (alpha " + shortNumber(alpha) + ")";
    }
    return text.empty() ? "no rows" : text;
}

void reportRows() {
    if (UI::CollectionView shown = listOnScreen()) transcript("  rows: " + describeRows(shown));
}

void markForLayout(UI::View view) { view.send(sel<"setNeedsLayout">()); }

// Shows one row of `cellClass` per title in the list, in place of its rows, to be laid out.
void fillRows(UI::CollectionView shown, const char* cellClass, const std::vector<std::optional<std::string>>& titles) {
    ListState& state = list(shown.raw);
    for (const auto& row : state.cells) row->send(sel<"removeFromSuperview">());
    state.cells.clear();
    CGFloat width = UI::Screen::mainScreen().bounds().size.width;
    for (size_t row = 0; row < titles.size(); ++row) {
        auto made = make<UI::View>(cellClass);
        if (!made) throw AppError(std::string("the app has no ") + cellClass);
        made->send(sel<"setFrame:">(), CGRect{{0, CGFloat(row) * kRowHeight}, {width, kRowHeight}});
        cell(made.get().raw).title = stringOf(titles[row]);
        shown.addSubview(made.get());
        state.cells.push_back(made);
        markForLayout(made.get());
    }
}

// A list filling the controller's view, whose own touch handling calls `onSelect`.
Ref<UI::CollectionView> showList(UI::ViewController controller, const char* cellClass,
                                 const std::vector<std::optional<std::string>>& titles,
                                 std::function<void(size_t)> onSelect) {
    Object allocated(NS::classNamed("UICollectionView").send<id>(sel<"alloc">()));
    auto shown = Ref<UI::CollectionView>::adopt(allocated.send<UI::CollectionView>(sel<"initWithFrame:">(),
                                                                                   UI::Screen::mainScreen().bounds()));
    if (!shown) throw AppError("the app has no UICollectionView");
    controller.view().addSubview(shown.get());
    list(shown.get().raw).onSelect = std::move(onSelect);
    fillRows(shown.get(), cellClass, titles);
    return shown;
}

void putOnScreen(UI::ViewController controller) { runningProcess().window->addSubview(controller.view()); }
void takeOffScreen(const Ref<UI::ViewController>& controller) {
    if (controller) controller->view().send(sel<"removeFromSuperview">());
}

// A list that leaves the screen no longer acts on touches that reach it later.
void detach(const Ref<UI::CollectionView>& shown) {
    if (shown) list(shown.get().raw).onSelect = nullptr;
}

void closePickerScreen() {
    if (!process || !screens().picker) return;
    Screens& shown = screens();
    detach(shown.pickerList);
    takeOffScreen(shown.picker);
    shown.picker = {};
    shown.pickerList = {};
    shown.pickerSongs.clear();
    shown.searchText.reset();
    transcript("  Music: the picker closes");
}

void closePlaylistPickerScreen() {
    Screens& shown = screens();
    detach(shown.playlistList);
    takeOffScreen(shown.playlistPicker);
    shown.playlistPicker = {};
    shown.playlistList = {};
    shown.pickerPlaylists.clear();
    transcript("  Music: the playlist picker closes");
}

// Back to the app's root: everything on screen goes, silently.
void clearScreens() {
    ui::dismissAll();
    Screens& shown = screens();
    detach(shown.pickerList);
    detach(shown.playlistList);
    for (const Ref<UI::ViewController>* controller :
         {&shown.playlistPage, &shown.picker, &shown.contextActions, &shown.playlistPicker})
        takeOffScreen(*controller);
    shown = Screens();
}

MP::Playlist firstPlaylistNamed(const std::optional<std::string>& name) {
    if (!name) return MP::Playlist();
    for (MP::Playlist playlist : media::playlists())
        if (media::nameOf(playlist) == name) return playlist;
    return MP::Playlist();
}

// The app's own addition from the add-music picker: the song goes to the playlist of the page.
void addPickedSong(size_t row) {
    Screens& shown = screens();
    if (row >= shown.pickerSongs.size()) return;
    MP::Playlist target = firstPlaylistNamed(shown.pageTitle);
    if (!target) {
        transcript("  Music: no playlist named " + quotedOrNone(shown.pageTitle) + ", nothing added");
        return;
    }
    media::appendToPlaylist(target, {shown.pickerSongs[row].get()});
}

// The app's own addition from the playlist picker: the context item goes to the tapped playlist,
// then the playlist picker closes.
void addContextItem(size_t row) {
    Screens& shown = screens();
    if (row >= shown.pickerPlaylists.size()) return;
    MP::Playlist target = shown.pickerPlaylists[row];
    if (shown.contextItem.song) media::appendToPlaylist(target, {shown.contextItem.song.get()});
    else if (shown.contextItem.album) media::appendToPlaylist(target, media::itemsOf(shown.contextItem.album));
    else transcript("  Music: the header names no item, nothing added");
    closePlaylistPickerScreen();
}

void showContextActions(const std::optional<std::string>& title, const std::optional<std::string>& subtitle,
                        ContextItem item) {
    clearScreens();
    auto controller = make<UI::ViewController>(appClass("Music.ContextActionHeaderViewController").c_str());
    if (!controller) throw AppError("the app has no Music.ContextActionHeaderViewController");
    auto titleLabel = UI::Label::make(CGRect{});
    titleLabel->setText(stringOf(title).get());
    auto stack = make<UI::StackView>("UIStackView");
    stack->send(sel<"addArrangedSubview:">(), titleLabel.get());
    if (subtitle) {
        auto nested = make<UI::StackView>("UIStackView");
        auto badge = make<UI::View>("UIView");
        auto subtitleLabel = UI::Label::make(CGRect{});
        subtitleLabel->setText(String::make(subtitle->c_str()).get());
        nested->send(sel<"addArrangedSubview:">(), badge.get());
        nested->send(sel<"addArrangedSubview:">(), subtitleLabel.get());
        stack->send(sel<"addArrangedSubview:">(), nested.get());
    } else {
        auto plain = make<UI::View>("UIView");
        stack->send(sel<"addArrangedSubview:">(), plain.get());
    }
    context(controller.get().raw).titleStack = stack;
    controller->view().addSubview(stack.get());
    screens().contextActions = controller;
    putOnScreen(controller);
    screens().contextItem = std::move(item);
    screens().actionsTitle = title;
    screens().actionsSubtitle = subtitle;
    transcript("  Music: context actions of " + quotedOrNone(title) + ", subtitle " + quotedOrNone(subtitle));
    controller->send(sel<"viewWillAppear:">(), YES);
}

// The touch's phases reach the app as events of their own.
void touchSequence(UI::CollectionView shown, CGPoint begin, std::optional<CGPoint> end) {
    NS::AutoreleasePool pool;
    auto touch = ui::makeTouch(begin, shown);
    auto event = ui::makeEvent(touch.get());
    NS::Set touches = event->allTouches();
    handleEvent([&] { shown.send(sel<"touchesBegan:withEvent:">(), touches, event.get()); });
    if (end) {
        ui::moveTouch(touch.get(), *end);
        handleEvent([&] { shown.send(sel<"touchesEnded:withEvent:">(), touches, event.get()); });
    } else {
        handleEvent([&] { shown.send(sel<"touchesCancelled:withEvent:">(), touches, event.get()); });
    }
}

UI::CollectionView requireList() {
    UI::CollectionView shown = listOnScreen();
    if (!shown) throw AppError("no list is on screen");
    return shown;
}

CGPoint centreOf(size_t row) {
    return CGPoint{UI::Screen::mainScreen().bounds().size.width / 2, (CGFloat(row) + 0.5) * kRowHeight};
}

CGPoint requireRow(UI::CollectionView shown, size_t row) {
    if (row >= list(shown.raw).cells.size())
        throw AppError("there is no row " + std::to_string(row + 1) + " on screen (" +
                       std::to_string(list(shown.raw).cells.size()) + " rows)");
    return centreOf(row);
}

CGPoint emptySpot(UI::CollectionView shown) { return centreOf(list(shown.raw).cells.size()); }

} // namespace

std::string LaunchOptions::defaultTweakPath() {
    return device::packagedPath("/Library/MobileSubstrate/DynamicLibraries/music.dylib").value_or(TWINLY_MUSIC_LIBRARY);
}

const std::vector<std::string>& classesALaunchCanLeaveOut() {
    static const std::vector<std::string> names = {
        "UICollectionView", "UICollectionViewCell", "Music.SongCell", "Music.SearchResultCell", "Music.PlaylistCell",
        "Music.PlaylistDetailHeaderLockupView", "Music.MediaPickerNavigationController",
        "Music.ContextActionHeaderViewController", "Music.PlaylistPickerViewController", "MPUMarqueeView",
        "MPUHalfTintedTransportButton"};
    return names;
}

void launch(const LaunchOptions& options) {
    if (process) throw AppError("the Music app is running already");
    if (classesDefinedWith && !sameClasses(*classesDefinedWith, options))
        throw AppError("the app's classes were defined with other options in this process");
    NS::AutoreleasePool pool;
    defineAppClasses(options);
    classesDefinedWith = options;
    process.emplace();
    process->options = options;
    for (Class cls : definedClasses()) {
        process->marks.push_back(markMethods(cls));
        process->marks.push_back(markMethods(metaclassOf(cls)));
    }
    // The counts of the lists' touch handling run on across processes, as the scenario reads them.
    observed.selection.reset();
    process->window = make<UI::View>("UIWindow");
    process->marquee = make<UI::View>("MPUMarqueeView");
    process->transport = make<UI::View>("MPUHalfTintedTransportButton");
    transcript("  Music: launched; the substrate loads the tweak");
    try {
        process->tweak = device::openLibrary(options.tweakPath);
    } catch (const device::LoadError& error) {
        // dlopen fails, the substrate logs it, and the app runs on without the tweak.
        transcript(std::string("  substrate: the tweak did not load: ") + error.what());
    }
}

void quit() {
    Process& ended = runningProcess();
    {
        NS::AutoreleasePool pool;
        clearScreens();
        ended.window = {};
        ended.marquee = {};
        ended.transport = {};
    }
    // What the process left behind goes before its code does.
    media::abandonCompletions();
    dropMainQueue();
    ui::endCommits();
    removeRunLoopObservers();
    removeAllObservers();
    undoHooks();
    for (auto mark = ended.marks.rbegin(); mark != ended.marks.rend(); ++mark) restoreMethods(*mark);
    device::Library tweak = ended.tweak;
    std::string path = ended.options.tweakPath;
    process.reset();
    device::closeLibrary(tweak);
    if (device::libraryLoaded(path)) throw AppError("the tweak library is still loaded after it was closed");
    transcript(tweak ? "  Music: quit; the tweak is unloaded" : "  Music: quit");
}

void relaunch() {
    LaunchOptions options = runningProcess().options;
    quit();
    launch(options);
}

bool running() { return process.has_value(); }

bool tweakLoaded() {
    return device::libraryLoaded(process ? process->options.tweakPath : LaunchOptions::defaultTweakPath());
}

void openPlaylist(const std::optional<std::string>& name) {
    handleEvent([&] {
        clearScreens();
        Screens& shown = screens();
        shown.playlistPage = make<UI::ViewController>("UIViewController");
        Object allocated(NS::classNamed(appClass("Music.PlaylistDetailHeaderLockupView").c_str()).send<id>(sel<"alloc">()));
        shown.header = Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"initWithFrame:">(), CGRect{}));
        if (!shown.header) throw AppError("the app has no Music.PlaylistDetailHeaderLockupView");
        header(shown.header.get().raw).titleText = stringOf(name);
        shown.pageTitle = name;
        shown.playlistPage->view().addSubview(shown.header.get());
        putOnScreen(shown.playlistPage);
        transcript("  Music: playlist page " + quotedOrNone(name));
        markForLayout(shown.header.get());
    });
}

void openPicker() {
    Screens& shown = screens();
    if (!shown.playlistPage) throw AppError("no playlist page is on screen to add music to");
    if (shown.picker) throw AppError("the picker is open already");
    handleEvent([&] {
        shown.picker = make<UI::ViewController>(appClass("Music.MediaPickerNavigationController").c_str());
        if (!shown.picker) throw AppError("the app has no Music.MediaPickerNavigationController");
        putOnScreen(shown.picker);
        transcript("  Music: the add-music picker opens over " + quotedOrNone(shown.pageTitle));
        shown.picker->send(sel<"viewWillAppear:">(), YES);
        std::vector<std::optional<std::string>> titles;
        for (MP::Item song : media::songs()) {
            shown.pickerSongs.push_back(Ref<MP::Item>::retain(song));
            titles.push_back(media::titleOf(song));
        }
        shown.pickerList = showList(shown.picker, appClass("Music.SongCell").c_str(), titles, addPickedSong);
    });
    reportRows();
}

void search(const std::string& text) {
    Screens& shown = screens();
    if (!shown.picker) throw AppError("no picker is open to search in");
    handleEvent([&] {
        shown.searchText = text;
        shown.pickerSongs.clear();
        std::vector<std::optional<std::string>> titles;
        for (MP::Item song : media::songs()) {
            std::optional<std::string> title = media::titleOf(song);
            if (!title || title->find(text) == std::string::npos) continue;
            shown.pickerSongs.push_back(Ref<MP::Item>::retain(song));
            titles.push_back(title);
        }
        fillRows(shown.pickerList.get(), appClass("Music.SearchResultCell").c_str(), titles);
    });
    reportRows();
}

void closePicker(PickerClose how) {
    Screens& shown = screens();
    if (!shown.picker) throw AppError("no picker is open");
    // The picker's own methods close it; the reference keeps it alive while it does.
    Ref<UI::ViewController> picker = shown.picker;
    handleEvent([&] {
        switch (how) {
        case PickerClose::done: picker->send(sel<"doneTapped">()); break;
        case PickerClose::cancel: picker->send(sel<"cancelTapped">()); break;
        case PickerClose::finish: picker->send(sel<"finish">()); break;
        case PickerClose::silently: closePickerScreen(); break;
        }
    });
}

void showSongActions(MP::Item song) {
    handleEvent([&] {
        showContextActions(media::titleOf(song), "Song · Artist", ContextItem{Ref<MP::Item>::retain(song), {}});
    });
}

void showAlbumActions(MP::Collection album) {
    handleEvent([&] {
        showContextActions(media::albumTitleOf(album), "Artist ∙ 2019",
                           ContextItem{{}, Ref<MP::Collection>::retain(album)});
    });
}

void showActions(const std::optional<std::string>& title, const std::optional<std::string>& subtitle) {
    handleEvent([&] { showContextActions(title, subtitle, ContextItem()); });
}

void openPlaylistPicker() {
    Screens& shown = screens();
    if (!shown.contextActions) throw AppError("no context actions are on screen");
    if (shown.playlistPicker) throw AppError("the playlist picker is open already");
    handleEvent([&] {
        shown.playlistPicker = make<UI::ViewController>(appClass("Music.PlaylistPickerViewController").c_str());
        if (!shown.playlistPicker) throw AppError("the app has no Music.PlaylistPickerViewController");
        putOnScreen(shown.playlistPicker);
        transcript("  Music: the playlist picker opens");
        std::vector<std::optional<std::string>> names;
        for (MP::Playlist playlist : media::playlists()) {
            shown.pickerPlaylists.push_back(Ref<MP::Playlist>::retain(playlist));
            names.push_back(media::nameOf(playlist));
        }
        shown.playlistList = showList(shown.playlistPicker, appClass("Music.PlaylistCell").c_str(), names, addContextItem);
    });
    reportRows();
}

void closePlaylistPicker() {
    if (!screens().playlistPicker) throw AppError("no playlist picker is open");
    handleEvent(closePlaylistPickerScreen);
}

void layoutMarquee(MarqueeContent content, const std::string& text) {
    Process& running = runningProcess();
    if (!running.marquee) throw AppError("this app has no now-playing marquee (MPUMarqueeView)");
    NS::AutoreleasePool pool;
    handleEvent([&] {
        if (content == MarqueeContent::image) {
            marquee(running.marquee.get().raw).content = make<UI::View>("UIView");
        } else {
            auto label = UI::Label::make(CGRect{});
            if (content == MarqueeContent::text) label->setText(String::make(text.c_str()).get());
            marquee(running.marquee.get().raw).content = Ref<UI::View>::retain(label.get());
        }
        markForLayout(running.marquee.get());
    });
}

void layoutTransport() {
    Process& running = runningProcess();
    if (!running.transport) throw AppError("this app has no transport button (MPUHalfTintedTransportButton)");
    handleEvent([&] { markForLayout(running.transport.get()); });
}

void layoutScreen(size_t afterRows, const std::function<void()>& duringPass) {
    Screens& shown = screens();
    UI::CollectionView onScreen = listOnScreen();
    size_t rows = onScreen ? list(onScreen.raw).cells.size() : 0;
    if (duringPass && (afterRows == 0 || afterRows > rows))
        throw AppError("there is no row " + std::to_string(afterRows) + " on screen (" + std::to_string(rows) + " rows)");
    handleEvent([&] {
        if (shown.header && !shown.picker) markForLayout(shown.header.get());
        for (size_t row = 0; row < rows; ++row) markForLayout(list(onScreen.raw).cells[row].get());
        if (duringPass) ui::afterNextLayout(list(onScreen.raw).cells[afterRows - 1].get(), duringPass);
    });
    reportRows();
}

UI::CollectionView listOnScreen() {
    if (!process) return UI::CollectionView();
    const Screens& shown = process->screens;
    if (shown.pickerList) return shown.pickerList.get();
    return shown.playlistList.get();
}

std::vector<Row> rowsOnScreen() {
    std::vector<Row> rows;
    if (UI::CollectionView shown = listOnScreen())
        for (const auto& row : list(shown.raw).cells)
            rows.push_back({sim::text(cell(row.get().raw).title.get()), UI::View(row.get()).alpha()});
    return rows;
}

void tapRow(size_t row) {
    UI::CollectionView shown = requireList();
    CGPoint point = requireRow(shown, row);
    touchSequence(shown, point, point);
}

void tapEmpty() {
    UI::CollectionView shown = requireList();
    touchSequence(shown, emptySpot(shown), emptySpot(shown));
}

void dragRowToEmpty(size_t row) {
    UI::CollectionView shown = requireList();
    touchSequence(shown, requireRow(shown, row), emptySpot(shown));
}

void touchRowCancelled(size_t row) {
    UI::CollectionView shown = requireList();
    touchSequence(shown, requireRow(shown, row), std::nullopt);
}

TouchCounts takeTouchCounts() {
    TouchCounts counts = observed.touches;
    observed.touches = TouchCounts();
    return counts;
}

std::optional<Selection> lastSelection() { return observed.selection; }

std::optional<screens::MusicScreen> screenShown() {
    if (!process) return std::nullopt;
    const Screens& shown = process->screens;
    using Kind = screens::MusicScreen::Kind;
    screens::MusicScreen screen;
    UI::CollectionView shownList;
    if (shown.playlistPicker) {
        screen.kind = Kind::playlistPicker;
        shownList = shown.playlistList.get();
    } else if (shown.picker) {
        screen.kind = shown.searchText ? Kind::searchResults : Kind::songPicker;
        screen.search = shown.searchText.value_or("");
        shownList = shown.pickerList.get();
    } else if (shown.contextActions) {
        screen.kind = Kind::contextActions;
        screen.title = shown.actionsTitle;
        screen.subtitle = shown.actionsSubtitle;
    } else if (shown.playlistPage) {
        screen.kind = Kind::playlistPage;
        screen.title = shown.pageTitle;
    } else {
        return std::nullopt;
    }
    if (shownList)
        for (const auto& row : list(shownList.raw).cells) {
            CGRect frame = UI::View(row.get()).frame();
            screen.rows.push_back({sim::text(cell(row.get().raw).title.get()), UI::View(row.get()).alpha(),
                                   {frame.origin.x, frame.origin.y, frame.size.width, frame.size.height}});
        }
    if (UI::AlertController alert = ui::alertOnScreen()) {
        ui::AlertContent content = ui::contentOf(alert);
        screen.alert = screens::Alert{content.title, content.message, {}, content.preferred};
        for (const auto& button : content.buttons) screen.alert->buttons.push_back(button.title);
    }
    return screen;
}

UI::View transportButton() { return runningProcess().transport.get(); }
bool transportInteractive() { return transportButton().isUserInteractionEnabled(); }

} // namespace sim::music
