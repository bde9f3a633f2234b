// The hook table: one row for each method that the tweak replaces or adds, in installation order
// (each class is looked up once, at its first row), with the function that replaces or adds it.
// A replacement's previous implementation waits in the slot of its row; callPrevious (state.hpp)
// finds it, typed as the replacement is.
#pragma once

#include "objc/class_builder.hpp"
#include "objc/uikit.hpp"

// Already-added marking.
void playlistCellLayoutSubviews(UI::View self, SEL cmd);
void songCellLayoutSubviews(UI::View self, SEL cmd);
void searchResultCellLayoutSubviews(UI::View self, SEL cmd);
void transportButtonLayoutSubviews(UI::View self, SEL cmd);
void cellSetIsDisabled(UI::View self, SEL cmd, BOOL disabled);

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

// A start-up step: a class by name, a selector, and the function that replaces the method or, with
// the type encoding of its signature, is added as one.
struct HookRow {
    const char* className;
    const char* selector;
    IMP (*implementation)();
    const char* (*addedTypes)(); // null for a replacement
};

template <auto function> IMP implementationOf() { return reinterpret_cast<IMP>(function); }
template <auto function> constexpr HookRow replace(const char* className, const char* selector) {
    return {className, selector, implementationOf<function>, nullptr};
}
template <auto function> constexpr HookRow add(const char* className, const char* selector) {
    return {className, selector, implementationOf<function>, objc::encodingOf<function>};
}

inline constexpr HookRow kHookTable[] = {
    replace<playlistCellLayoutSubviews>("Music.PlaylistCell", "layoutSubviews"),
    add<cellSetIsDisabled>("Music.PlaylistCell", "setIsDisabled:"),
    replace<playlistHeaderLayoutSubviews>("Music.PlaylistDetailHeaderLockupView", "layoutSubviews"),
    replace<contextHeaderViewWillAppear>("Music.ContextActionHeaderViewController", "viewWillAppear:"),
    replace<mediaPickerViewWillAppear>("Music.MediaPickerNavigationController", "viewWillAppear:"),
    replace<mediaPickerFinish>("Music.MediaPickerNavigationController", "finish"),
    replace<mediaPickerCancelTapped>("Music.MediaPickerNavigationController", "cancelTapped"),
    replace<mediaPickerDoneTapped>("Music.MediaPickerNavigationController", "doneTapped"),
    replace<collectionViewTouchesBegan>("UICollectionView", "touchesBegan:withEvent:"),
    replace<collectionViewTouchesEnded>("UICollectionView", "touchesEnded:withEvent:"),
    replace<transportButtonLayoutSubviews>("MPUHalfTintedTransportButton", "layoutSubviews"),
    replace<songCellLayoutSubviews>("Music.SongCell", "layoutSubviews"),
    add<cellSetIsDisabled>("Music.SongCell", "setIsDisabled:"),
    replace<searchResultCellLayoutSubviews>("Music.SearchResultCell", "layoutSubviews"),
    add<cellSetIsDisabled>("Music.SearchResultCell", "setIsDisabled:"),
    replace<marqueeLayoutSubviews>("MPUMarqueeView", "layoutSubviews"),
};

// A replacement's slot: its place among the table's replacements; -1 for a function the table
// does not replace with.
template <auto replacement> constexpr int slotOf() {
    int slot = 0;
    for (const HookRow& row : kHookTable) {
        if (row.addedTypes) continue;
        if (row.implementation == implementationOf<replacement>) return slot;
        ++slot;
    }
    return -1;
}
inline constexpr int kReplacementCount = [] {
    int count = 0;
    for (const HookRow& row : kHookTable) count += row.addedTypes == nullptr;
    return count;
}();

// Installs the table: replaces and adds what the app has.
void installHookTable();
