// The song or album whose context actions were shown last, or the marquee text laid out last.
#include "app.hpp"
#include "state.hpp"

namespace {

// A header laid out unlike the usual (fewer than two arranged views, a title view without text)
// is passed over: both fields keep what they had.
void captureContextItem(UI::ViewController header) {
    NS::Array arranged = app::titleStack(header).arrangedSubviews();
    if (arranged.count() < 2) return;
    UI::Label titleView = objc::as<UI::Label>(arranged.objectAtIndex(0));
    if (!titleView.respondsToSelector(objc::sel<"text">())) return;

    bool isAlbum = false;
    objc::Object second = arranged.objectAtIndex(1);
    if (second.isKindOfClass(UI::stackViewClass())) {
        NS::Array nested = objc::as<UI::StackView>(second).arrangedSubviews();
        if (nested.count() < 2) return;
        // An album's subtitle reads "Artist ∙ Year"; a song's has no bullet operator.
        UI::Label subtitle = objc::as<UI::Label>(nested.objectAtIndex(1));
        isAlbum = subtitle.respondsToSelector(objc::sel<"text">()) &&
                  subtitle.text().containsString(NS::literal<"\u2219">());
    }
    tweakState.contextItemIsAlbum = isAlbum;
    tweakState.contextItemTitle = objc::Ref<NS::String>::retain(titleView.text());
}

} // namespace

void contextHeaderViewWillAppear(UI::ViewController self, SEL cmd, BOOL animated) {
    callPrevious<&contextHeaderViewWillAppear>(self, cmd, animated);
    captureContextItem(self);
}

void marqueeLayoutSubviews(UI::View self, SEL cmd) {
    UI::View content = app::viewForContentSize(self);
    if (content.isKindOfClass(UI::labelClass()))
        tweakState.contextItemTitle = objc::Ref<NS::String>::retain(objc::as<UI::Label>(content).text());
    callPrevious<&marqueeLayoutSubviews>(self, cmd);
}
