#include "sim/uikit/collection_view.hpp"

#include "sim/platform/call_log.hpp"
#include "sim/platform/objects.hpp"
#include "sim/uikit/uikit.hpp"

#include <cmath>
#include <utility>

namespace sim::ui {

namespace {

constexpr CGFloat kRowHeight = 44;

TouchCounts touches;
std::optional<Selection> selection;

struct ListState {
    std::vector<Ref<UI::View>> cells;
    std::function<void(size_t)> onSelect; // empty once the list left the screen
};
ListState& list(id self) { return state<ListState>(self); }

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

void listTouchesBegan(id self, SEL cmd, id touchSet, id event) {
    logCall("UICollectionView", "touchesBegan:withEvent:", self, cmd, {argument(touchSet), argument(event)});
    ++touches.began;
}

void listTouchesEnded(id self, SEL cmd, id touchSet, id event) {
    logCall("UICollectionView", "touchesEnded:withEvent:", self, cmd, {argument(touchSet), argument(event)});
    ++touches.ended;
    UI::Touch touch(UI::Event(event).allTouches().anyObject().raw);
    std::optional<size_t> row = rowAt(self, touch.locationInView(UI::View(self)));
    if (row && list(self).onSelect) {
        auto act = list(self).onSelect; // the action may take the list off the screen
        act(*row);
    }
}

void listTouchesCancelled(id self, SEL cmd, id touchSet, id event) {
    logCall("UICollectionView", "touchesCancelled:withEvent:", self, cmd, {argument(touchSet), argument(event)});
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
    Object cell = row ? Object(list(self).cells[*row].get()) : Object();
    bool titled = cell.respondsToSelector(sel<"title">());
    selection = Selection{titled ? text(cell.send<NS::String>(sel<"title">())) : std::nullopt};
}

const StandIn<ListState> kUICollectionView{
    classes, "UICollectionView", "UIView",
    {method<listTouchesBegan>("touchesBegan:withEvent:"),
     method<listTouchesEnded>("touchesEnded:withEvent:"),
     method<listTouchesCancelled>("touchesCancelled:withEvent:"),
     method<listIndexPathForItemAtPoint>("indexPathForItemAtPoint:"),
     method<listCellForItemAtIndexPath>("cellForItemAtIndexPath:"),
     method<listSelectItem>("selectItemAtIndexPath:animated:scrollPosition:")}};

const StandIn<> kUICollectionViewCell{classes, "UICollectionViewCell", "UIView", {}};

} // namespace

Ref<UI::CollectionView> makeCollectionView(CGRect frame, std::function<void(size_t)> onSelect) {
    auto made = makeView<UI::CollectionView>("UICollectionView", frame);
    if (made) list(made.get().raw).onSelect = std::move(onSelect);
    return made;
}

void showCells(UI::CollectionView shown, const std::vector<Ref<UI::View>>& cells) {
    ListState& rows = list(shown.raw);
    for (const auto& row : rows.cells) row->send(sel<"removeFromSuperview">());
    rows.cells = cells;
    CGFloat width = shown.bounds().size.width;
    for (size_t row = 0; row < cells.size(); ++row) {
        cells[row]->send(sel<"setFrame:">(), CGRect{{0, CGFloat(row) * kRowHeight}, {width, kRowHeight}});
        shown.addSubview(cells[row].get());
        cells[row]->send(sel<"setNeedsLayout">());
    }
}

const std::vector<Ref<UI::View>>& cellsOf(UI::CollectionView shown) { return list(shown.raw).cells; }

void stopSelecting(UI::CollectionView shown) {
    if (shown) list(shown.raw).onSelect = nullptr;
}

CGPoint centreOfRow(size_t row) {
    return CGPoint{UI::Screen::mainScreen().bounds().size.width / 2, (CGFloat(row) + 0.5) * kRowHeight};
}

TouchCounts takeTouchCounts() { return std::exchange(touches, TouchCounts()); }

std::optional<Selection> lastSelection() { return selection; }

void forgetSelection() { selection.reset(); }

} // namespace sim::ui
