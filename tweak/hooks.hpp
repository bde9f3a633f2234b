// The replacements and the added method, one function per hooked method, and the hook table.
#pragma once

#include "objc/uikit.hpp"
#include "state.hpp"

// Already-added marking.
void playlistCellLayoutSubviews(UI::View self, SEL cmd);
void songCellLayoutSubviews(UI::View self, SEL cmd);
void searchResultCellLayoutSubviews(UI::View self, SEL cmd);
void transportButtonLayoutSubviews(UI::View self, SEL cmd);
void cellSetIsDisabled(UI::View self, SEL cmd, BOOL disabled);
// Ends the playlist rows' shared pass at each turn of the main run loop; called once at start-up.
void observePlaylistPasses();

// Target playlist tracking.
void playlistHeaderLayoutSubviews(UI::View self, SEL cmd);
void mediaPickerViewWillAppear(UI::ViewController self, SEL cmd, BOOL animated);
void mediaPickerFinish(UI::ViewController self, SEL cmd);
void mediaPickerCancelTapped(UI::ViewController self, SEL cmd);
void mediaPickerDoneTapped(UI::ViewController self, SEL cmd);

// Context item capture.
void contextHeaderViewWillAppear(UI::ViewController self, SEL cmd, BOOL animated);
void marqueeLayoutSubviews(UI::View self, SEL cmd);

// The duplicate-song tap guard.
void collectionViewTouchesBegan(UI::CollectionView self, SEL cmd, NS::Set touches, UI::Event event);
void collectionViewTouchesEnded(UI::CollectionView self, SEL cmd, NS::Set touches, UI::Event event);

// A start-up step: a class by name, a selector, and either a replacement with its slot or an
// added method (no slot).
struct HookRow {
    const char* className;
    const char* selector;
    IMP (*implementation)();
    int slot;
};
constexpr int kAddedMethod = -1;

template <auto function> IMP implementationOf() { return reinterpret_cast<IMP>(function); }

// In installation order; each class is looked up once, at its first row.
inline constexpr HookRow kHookTable[] = {
    {"Music.PlaylistCell", "layoutSubviews", implementationOf<playlistCellLayoutSubviews>, kPlaylistCellLayout},
    {"Music.PlaylistCell", "setIsDisabled:", implementationOf<cellSetIsDisabled>, kAddedMethod},
    {"Music.PlaylistDetailHeaderLockupView", "layoutSubviews", implementationOf<playlistHeaderLayoutSubviews>, kPlaylistHeaderLayout},
    {"Music.ContextActionHeaderViewController", "viewWillAppear:", implementationOf<contextHeaderViewWillAppear>, kContextHeaderWillAppear},
    {"Music.MediaPickerNavigationController", "viewWillAppear:", implementationOf<mediaPickerViewWillAppear>, kPickerWillAppear},
    {"Music.MediaPickerNavigationController", "finish", implementationOf<mediaPickerFinish>, kPickerFinish},
    {"Music.MediaPickerNavigationController", "cancelTapped", implementationOf<mediaPickerCancelTapped>, kPickerCancel},
    {"Music.MediaPickerNavigationController", "doneTapped", implementationOf<mediaPickerDoneTapped>, kPickerDone},
    {"UICollectionView", "touchesBegan:withEvent:", implementationOf<collectionViewTouchesBegan>, kCollectionTouchesBegan},
    {"UICollectionView", "touchesEnded:withEvent:", implementationOf<collectionViewTouchesEnded>, kCollectionTouchesEnded},
    {"MPUHalfTintedTransportButton", "layoutSubviews", implementationOf<transportButtonLayoutSubviews>, kTransportButtonLayout},
    {"Music.SongCell", "layoutSubviews", implementationOf<songCellLayoutSubviews>, kSongCellLayout},
    {"Music.SongCell", "setIsDisabled:", implementationOf<cellSetIsDisabled>, kAddedMethod},
    {"Music.SearchResultCell", "layoutSubviews", implementationOf<searchResultCellLayoutSubviews>, kSearchResultCellLayout},
    {"Music.SearchResultCell", "setIsDisabled:", implementationOf<cellSetIsDisabled>, kAddedMethod},
    {"MPUMarqueeView", "layoutSubviews", implementationOf<marqueeLayoutSubviews>, kMarqueeLayout},
};
