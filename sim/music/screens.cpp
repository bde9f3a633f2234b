// The Music app's screens and what it does on them. The playlist page and the context actions are
// the window's root; the add-music picker (a Music.MediaPickerNavigationController) is presented
// over the page, and the playlist picker (a UINavigationController) over the context actions, each
// with its list in its child controller. Searching in the add-music picker presents a search
// controller from that child, which defines the presentation context as a controller with a search
// bar does, and shows the results in a results controller of its own, a child laid over its list.
#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "sim/music/classes.hpp"
#include "sim/music/screens.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/transcript.hpp"
#include "sim/uikit/collection_view.hpp"
#include "sim/uikit/layout_commit.hpp"
#include "sim/uikit/uikit.hpp"

#include <functional>

namespace sim::music {

namespace {

// The item whose context actions are shown: a song, an album, or a bare header (nothing).
struct ContextItem {
    Ref<MP::Item> song;
    Ref<MP::Collection> album;
};

// A list and what each of its rows stands for.
template <class Item> struct ListOnScreen {
    Ref<UI::CollectionView> list;
    std::vector<Ref<Item>> items;
};

struct Screens {
    Ref<UI::ViewController> playlistPage;
    Ref<UI::View> header;
    std::optional<std::string> pageTitle;
    Ref<UI::ViewController> picker;
    ListOnScreen<MP::Item> pickerSongs;
    std::optional<std::string> searchText; // while searching
    ListOnScreen<MP::Item> searchResults;
    Ref<UI::ViewController> contextActions;
    ContextItem contextItem;
    std::optional<std::string> actionsTitle;
    std::optional<std::string> actionsSubtitle;
    Ref<UI::ViewController> playlistPicker;
    ListOnScreen<MP::Playlist> playlists;
};

Ref<UI::Window> window;
Screens shown;

Screens& screens() {
    if (!window) throw AppError("the Music app is not running");
    return shown;
}

// Back to the app's root: everything on screen goes, silently.
void clearScreens() {
    ui::dismissAll();
    for (UI::CollectionView list : {shown.pickerSongs.list.get(), shown.searchResults.list.get(), shown.playlists.list.get()})
        ui::stopSelecting(list);
    if (window) window->send(sel<"setRootViewController:">(), nullptr);
    shown = Screens();
}

void reportRows() {
    if (!listOnScreen()) return;
    std::string text;
    for (const Row& row : rowsOnScreen()) {
        if (!text.empty()) text += ", ";
        text += quotedOrNone(row.title);
        if (row.alpha == 0.5) text += " (dimmed)";
        else if (row.alpha != 1.0) text += " (alpha " + shortNumber(row.alpha) + ")";
    }
    transcript("  rows: " + (text.empty() ? std::string("no rows") : text));
}

// Shows one row of `cellClass` for each item, titled as `titleOf` says, in place of the list's rows,
// to be laid out.
template <class Item>
void fillRows(ListOnScreen<Item>& shownList, const char* cellClass, const std::vector<Item>& items,
              std::optional<std::string> (*titleOf)(Item)) {
    std::vector<Ref<UI::View>> cells;
    shownList.items.clear();
    for (Item item : items) {
        cells.push_back(makeRow(cellClass, titleOf(item)));
        if (!cells.back()) throw AppError(std::string("the app has no ") + cellClass);
        shownList.items.push_back(Ref<Item>::retain(item));
    }
    ui::showCells(shownList.list, cells);
}

// A list filling the controller's view, whose own touch handling calls `onSelect`.
Ref<UI::CollectionView> showList(UI::ViewController controller, std::function<void(size_t)> onSelect) {
    Ref<UI::CollectionView> list = ui::makeCollectionView(UI::Screen::mainScreen().bounds(), std::move(onSelect));
    if (!list) throw AppError("the app has no UICollectionView");
    controller.view().addSubview(list.get());
    return list;
}

// The app's own addition from the add-music picker: the song goes to the playlist of the page.
void addPickedSong(const ListOnScreen<MP::Item>& songs, size_t row) {
    if (row >= songs.items.size()) return;
    MP::Playlist target = shown.pageTitle ? media::playlistNamed(*shown.pageTitle) : MP::Playlist();
    if (!target) {
        transcript("  Music: no playlist named " + quotedOrNone(shown.pageTitle) + ", nothing added");
        return;
    }
    media::appendToPlaylist(target, {songs.items[row].get()});
}

// A presented screen closes: its lists stop selecting, it is dismissed, animated, and forgotten
// with what `forget` resets, then the transcript says so.
void closeScreen(Ref<UI::ViewController>& controller, std::initializer_list<UI::CollectionView> lists,
                 const std::function<void()>& forget, const char* name) {
    for (UI::CollectionView list : lists) ui::stopSelecting(list);
    controller->send(sel<"dismissViewControllerAnimated:completion:">(), YES, UI::Completion(nullptr));
    controller = {};
    forget();
    transcript(std::string("  Music: the ") + name + " closes");
}

void closePlaylistPickerScreen() {
    closeScreen(shown.playlistPicker, {shown.playlists.list.get()}, [] { shown.playlists = {}; }, "playlist picker");
}

// The app's own addition from the playlist picker: the context item goes to the tapped playlist,
// then the playlist picker closes.
void addContextItem(size_t row) {
    if (row >= shown.playlists.items.size()) return;
    MP::Playlist target = shown.playlists.items[row];
    if (shown.contextItem.song) media::appendToPlaylist(target, {shown.contextItem.song.get()});
    else if (shown.contextItem.album) media::appendToPlaylist(target, media::itemsOf(shown.contextItem.album));
    else transcript("  Music: the header names no item, nothing added");
    closePlaylistPickerScreen();
}

// A navigation controller of that class with `root` as its child.
Ref<UI::ViewController> navigationWith(const char* className, UI::ViewController root) {
    Object allocated(NS::classNamed(appClass(className).c_str()).send<id>(sel<"alloc">()));
    return Ref<UI::ViewController>::adopt(allocated.send<UI::ViewController>(sel<"initWithRootViewController:">(), root));
}

UI::ViewController childOf(UI::ViewController navigation) { return navigation.send<UI::ViewController>(sel<"topViewController">()); }

void showContextActions(const std::optional<std::string>& title, const std::optional<std::string>& subtitle,
                        ContextItem item) {
    clearScreens();
    auto titleLabel = UI::Label::make(CGRect{});
    titleLabel->setText(stringOf(title).get());
    auto stack = make<UI::StackView>("UIStackView");
    stack->send(sel<"addArrangedSubview:">(), titleLabel.get());
    // The subtitle, when there is one, sits in a stack of its own below a spacer.
    Ref<UI::StackView> below = subtitle ? make<UI::StackView>("UIStackView") : stack;
    below->send(sel<"addArrangedSubview:">(), make<UI::View>("UIView").get());
    if (subtitle) {
        auto subtitleLabel = UI::Label::make(CGRect{});
        subtitleLabel->setText(String::make(subtitle->c_str()).get());
        below->send(sel<"addArrangedSubview:">(), subtitleLabel.get());
        stack->send(sel<"addArrangedSubview:">(), below.get());
    }
    Ref<UI::ViewController> controller = makeContextHeader(stack.get());
    if (!controller) throw AppError("the app has no Music.ContextActionHeaderViewController");
    controller->view().addSubview(stack.get());
    window->send(sel<"setRootViewController:">(), controller.get());
    shown.contextActions = controller;
    shown.contextItem = std::move(item);
    shown.actionsTitle = title;
    shown.actionsSubtitle = subtitle;
    transcript("  Music: context actions of " + quotedOrNone(title) + ", subtitle " + quotedOrNone(subtitle));
    controller->send(sel<"viewWillAppear:">(), YES);
}

// The touch's phases reach the app as events of their own.
void touchSequence(UI::CollectionView list, CGPoint begin, std::optional<CGPoint> end) {
    NS::AutoreleasePool pool;
    auto touch = ui::makeTouch(begin, list);
    auto event = ui::makeEvent(touch.get());
    NS::Set touches = event->allTouches();
    handleEvent([&] { list.send(sel<"touchesBegan:withEvent:">(), touches, event.get()); });
    if (end) {
        ui::moveTouch(touch.get(), *end);
        handleEvent([&] { list.send(sel<"touchesEnded:withEvent:">(), touches, event.get()); });
    } else {
        handleEvent([&] { list.send(sel<"touchesCancelled:withEvent:">(), touches, event.get()); });
    }
}

UI::CollectionView requireList() {
    screens();
    UI::CollectionView list = listOnScreen();
    if (!list) throw AppError("no list is on screen");
    return list;
}

// Row `number`, counted from 1, is not among the `rows` on screen.
AppError noSuchRow(size_t number, size_t rows) {
    return AppError("there is no row " + std::to_string(number) + " on screen (" + std::to_string(rows) + " rows)");
}

CGPoint requireRow(UI::CollectionView list, size_t row) {
    size_t rows = ui::cellsOf(list).size();
    if (row >= rows) throw noSuchRow(row + 1, rows);
    return ui::centreOfRow(row);
}

CGPoint emptySpot(UI::CollectionView list) { return ui::centreOfRow(ui::cellsOf(list).size()); }

} // namespace

void startScreens() { window = make<UI::Window>("UIWindow"); }

void endScreens() {
    clearScreens();
    window = {};
}

void closePickerScreen() {
    if (!window || !shown.picker) return;
    closeScreen(shown.picker, {shown.pickerSongs.list.get(), shown.searchResults.list.get()}, [] {
        shown.pickerSongs = {};
        shown.searchText.reset();
        shown.searchResults = {};
    }, "picker");
}

void openPlaylist(const std::optional<std::string>& name) {
    Screens& current = screens();
    handleEvent([&] {
        clearScreens();
        auto page = make<UI::ViewController>("UIViewController");
        Ref<UI::View> header = makeHeader(name);
        if (!header) throw AppError("the app has no Music.PlaylistDetailHeaderLockupView");
        page->view().addSubview(header.get());
        window->send(sel<"setRootViewController:">(), page.get());
        current.playlistPage = page;
        current.header = header;
        current.pageTitle = name;
        transcript("  Music: playlist page " + quotedOrNone(name));
        header->send(sel<"setNeedsLayout">());
    });
}

void openPicker() {
    Screens& current = screens();
    if (!current.playlistPage) throw AppError("no playlist page is on screen to add music to");
    if (current.picker) throw AppError("the picker is open already");
    handleEvent([&] {
        auto songs = make<UI::ViewController>("UIViewController");
        songs->send(sel<"setDefinesPresentationContext:">(), YES);
        Ref<UI::ViewController> picker = navigationWith("Music.MediaPickerNavigationController", songs.get());
        if (!picker) throw AppError("the app has no Music.MediaPickerNavigationController");
        current.picker = picker;
        transcript("  Music: the add-music picker opens over " + quotedOrNone(current.pageTitle));
        current.playlistPage->presentViewController(picker, YES, nullptr);
        current.pickerSongs.list = showList(songs.get(), [](size_t row) { addPickedSong(shown.pickerSongs, row); });
        fillRows(current.pickerSongs, "Music.SongCell", media::songs(), media::titleOf);
    });
    reportRows();
}

void search(const std::string& text) {
    Screens& current = screens();
    if (!current.picker) throw AppError("no picker is open to search in");
    handleEvent([&] {
        if (!current.searchText) {
            UI::ViewController songs = childOf(current.picker);
            songs.presentViewController(make<UI::ViewController>("UISearchController"), YES, nullptr);
            auto results = make<UI::ViewController>("UIViewController");
            songs.send(sel<"addChildViewController:">(), results.get());
            songs.view().addSubview(results->view());
            current.searchResults.list = showList(results.get(), [](size_t row) { addPickedSong(shown.searchResults, row); });
        }
        current.searchText = text;
        std::vector<MP::Item> found;
        for (MP::Item song : media::songs())
            if (std::optional<std::string> title = media::titleOf(song); title && title->find(text) != std::string::npos)
                found.push_back(song);
        fillRows(current.searchResults, "Music.SearchResultCell", found, media::titleOf);
    });
    reportRows();
}

void closePicker(PickerClose how) {
    Screens& current = screens();
    if (!current.picker) throw AppError("no picker is open");
    // The picker's own methods close it; the reference keeps it alive while they do.
    Ref<UI::ViewController> picker = current.picker;
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
    screens();
    handleEvent([&] {
        showContextActions(media::titleOf(song), "Song · Artist", ContextItem{Ref<MP::Item>::retain(song), {}});
    });
}

void showAlbumActions(MP::Collection album) {
    screens();
    handleEvent([&] {
        showContextActions(media::albumTitleOf(album), "Artist ∙ 2019",
                           ContextItem{{}, Ref<MP::Collection>::retain(album)});
    });
}

void showActions(const std::optional<std::string>& title, const std::optional<std::string>& subtitle) {
    screens();
    handleEvent([&] { showContextActions(title, subtitle, ContextItem()); });
}

void openPlaylistPicker() {
    Screens& current = screens();
    if (!current.contextActions) throw AppError("no context actions are on screen");
    if (current.playlistPicker) throw AppError("the playlist picker is open already");
    handleEvent([&] {
        auto picker = make<UI::ViewController>(appClass("Music.PlaylistPickerViewController").c_str());
        if (!picker) throw AppError("the app has no Music.PlaylistPickerViewController");
        current.playlistPicker = navigationWith("UINavigationController", picker.get());
        transcript("  Music: the playlist picker opens");
        current.contextActions->presentViewController(current.playlistPicker, YES, nullptr);
        current.playlists.list = showList(picker.get(), addContextItem);
        fillRows(current.playlists, "Music.PlaylistCell", media::playlists(), media::nameOf);
    });
    reportRows();
}

void closePlaylistPicker() {
    if (!screens().playlistPicker) throw AppError("no playlist picker is open");
    handleEvent(closePlaylistPickerScreen);
}

void layoutScreen(size_t afterRows, const std::function<void()>& duringPass) {
    Screens& current = screens();
    UI::CollectionView list = listOnScreen();
    const std::vector<Ref<UI::View>> rows = list ? ui::cellsOf(list) : std::vector<Ref<UI::View>>();
    if (duringPass && (afterRows == 0 || afterRows > rows.size()))
        throw noSuchRow(afterRows, rows.size());
    handleEvent([&] {
        if (current.header && !current.picker) current.header->send(sel<"setNeedsLayout">());
        for (const auto& row : rows) row->send(sel<"setNeedsLayout">());
        if (duringPass) ui::afterNextLayout(rows[afterRows - 1].get(), duringPass);
    });
    reportRows();
}

UI::CollectionView listOnScreen() {
    if (!window) return UI::CollectionView();
    for (const Ref<UI::CollectionView>* list : {&shown.searchResults.list, &shown.pickerSongs.list, &shown.playlists.list})
        if (*list) return list->get();
    return UI::CollectionView();
}

std::vector<Row> rowsOnScreen() {
    std::vector<Row> rows;
    if (UI::CollectionView list = listOnScreen())
        for (const auto& cell : ui::cellsOf(list))
            rows.push_back({text(cell->send<String>(sel<"title">())), cell->alpha(), ui::rectOf(cell->frame())});
    return rows;
}

std::optional<screens::MusicScreen> screenShown() {
    if (!window) return std::nullopt;
    using Kind = screens::MusicScreen::Kind;
    screens::MusicScreen screen;
    if (shown.playlistPicker) {
        screen.kind = Kind::playlistPicker;
    } else if (shown.picker) {
        screen.kind = shown.searchText ? Kind::searchResults : Kind::songPicker;
        screen.search = shown.searchText.value_or("");
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
    screen.rows = rowsOnScreen();
    if (UI::AlertController alert = ui::alertOnScreen()) screen.alert = ui::contentOf(alert);
    return screen;
}

void tapRow(size_t row) {
    UI::CollectionView list = requireList();
    CGPoint point = requireRow(list, row);
    touchSequence(list, point, point);
}

void tapEmpty() {
    UI::CollectionView list = requireList();
    touchSequence(list, emptySpot(list), emptySpot(list));
}

void dragRowToEmpty(size_t row) {
    UI::CollectionView list = requireList();
    touchSequence(list, requireRow(list, row), emptySpot(list));
}

void touchRowCancelled(size_t row) {
    UI::CollectionView list = requireList();
    touchSequence(list, requireRow(list, row), std::nullopt);
}

} // namespace sim::music
