// UIKit's collection view and its cell as the Music app's lists use them: one row per cell, 44
// points high, one under the other. The list's own touch handling acts on a touch end alone: it
// selects the row under the touch and tells the app (its delegate), which acts on that row.
#pragma once

#include "objc/uikit.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sim::ui {

// A list filling `frame`; `onSelect` is what the app does with a row that its touch handling selects.
objc::Ref<UI::CollectionView> makeCollectionView(CGRect frame, std::function<void(size_t)> onSelect);
// Shows these cells as the list's rows, in place of its rows, marked for layout.
void showCells(UI::CollectionView list, const std::vector<objc::Ref<UI::View>>& cells);
const std::vector<objc::Ref<UI::View>>& cellsOf(UI::CollectionView list);
// A list that leaves the screen no longer acts on touches that reach it later.
void stopSelecting(UI::CollectionView list);
// Where a touch lands on the row, or on the first place below the rows.
CGPoint centreOfRow(size_t row);

// What the lists' own methods did, over relaunches too.
struct TouchCounts {
    int began = 0;
    int ended = 0;
};
// The lists' own touch handling since the last call.
TouchCounts takeTouchCounts();
struct Selection {
    // The title of the row selected from code; nothing when it was made with no index path.
    std::optional<std::string> title;
};
// The last selection made from code (selectItemAtIndexPath:...) in this process, if any.
std::optional<Selection> lastSelection();
void forgetSelection();

} // namespace sim::ui
