// The context item: the title and album flag taken from a context-action header, and the title
// taken from a marquee label, whichever came last.
#include "tweak_fixture.hpp"

#include "objc/class_builder.hpp"

namespace {

using objc::Ref;
using objc::sel;
using sim::music::MarqueeContent;

class ContextCapture : public TweakTest {
protected:
    static void expectContext(std::optional<std::string> title, bool isAlbum) {
        EXPECT_EQ(text(tweakState.contextItemTitle), title);
        EXPECT_EQ(tweakState.contextItemIsAlbum, isAlbum);
    }
};

TEST_F(ContextCapture, ABulletOperatorAnywhereInTheSubtitleMarksAnAlbum) {
    for (const char* subtitle : {"\u2219 2019", "Artist \u2219 2019", "Artist \u2219"}) {
        sim::music::showActions("Record", subtitle);
        expectContext("Record", true);
    }
}

TEST_F(ContextCapture, LookAlikeSeparatorsAndPlainSubtitlesMarkASong) {
    for (std::optional<std::string> subtitle : {std::optional<std::string>("Artist \u2022 2019"),
                                                std::optional<std::string>("Artist \u00b7 2019"),
                                                std::optional<std::string>("Artist - Single")}) {
        sim::music::showActions("Record", "Artist \u2219 2019");
        sim::music::showActions("Song", subtitle);
        expectContext("Song", false);
    }
    // A second arranged view that is no stack view: a song, still titled.
    sim::music::showActions("Record", "Artist \u2219 2019");
    sim::music::showActions("Song", std::nullopt);
    expectContext("Song", false);
}

TEST_F(ContextCapture, AnEmptyOrAbsentTitleReplacesThePreviousOne) {
    sim::music::showActions("Song", "Artist");
    sim::music::showActions("", "Artist");
    expectContext("", false);
    sim::music::showActions(std::nullopt, "Artist");
    expectContext(std::nullopt, false);
}

TEST_F(ContextCapture, AMarqueeLabelLaidOutLaterWinsEvenWhenEmptyAndLeavesTheAlbumFlag) {
    sim::music::showActions("Record", "Artist \u2219 2019");
    sim::music::layoutMarquee(MarqueeContent::text, "Now Playing");
    expectContext("Now Playing", true);
    sim::music::layoutMarquee(MarqueeContent::text, "");
    expectContext("", true);
    sim::music::layoutMarquee(MarqueeContent::noText);
    expectContext(std::nullopt, true);
}

TEST_F(ContextCapture, AMarqueeShowingNoLabelChangesNothing) {
    sim::music::showActions("Song", "Artist");
    sim::music::layoutMarquee(MarqueeContent::image);
    expectContext("Song", false);
}

// Context headers laid out unlike the app's own, built from a subclass with a title stack of the
// test's choosing.
Ref<UI::StackView> shownStack;

UI::StackView shownTitleStack(objc::Object, SEL) { return shownStack; }

Ref<UI::StackView> stackOf(std::vector<objc::Object> views) {
    Ref<NS::MutableArray> arranged = NS::MutableArray::make();
    for (objc::Object view : views) arranged->addObject(view);
    objc::Object allocated(NS::classNamed("UIStackView").send<id>(sel<"alloc">()));
    return Ref<UI::StackView>::adopt(allocated.send<UI::StackView>(sel<"initWithArrangedSubviews:">(), arranged.get()));
}

Ref<UI::Label> label(const char* text) {
    Ref<UI::Label> made = UI::Label::make(CGRect{});
    made->setText(NS::String::make(text));
    return made;
}

Ref<UI::View> plainView() {
    objc::Object allocated(NS::classNamed("UIView").send<id>(sel<"alloc">()));
    return Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"init">()));
}

void showOddHeader(Ref<UI::StackView> stack) {
    static Class oddHeader = objc::ClassBuilder("TestOddContextHeader", objc::lookUpClass("Music.ContextActionHeaderViewController"))
                                 .method<&shownTitleStack>(sel<"titleStack">())
                                 .registerClass();
    shownStack = stack;
    Ref<UI::ViewController> header = Ref<UI::ViewController>::adopt(
        objc::classObject(oddHeader).send<UI::ViewController>(sel<"new">()));
    header->send(sel<"viewWillAppear:">(), NO);
}

TEST_F(ContextCapture, HeadersWithTooFewViewsOrAnUntitledTitleViewLeaveBothFields) {
    sim::music::showActions("Record", "Artist \u2219 2019");
    Ref<UI::Label> title = label("Odd"), subtitle = label("Artist \u2219 2019");
    showOddHeader(stackOf({}));
    showOddHeader(stackOf({title}));
    showOddHeader(stackOf({title, stackOf({subtitle})}));
    showOddHeader(stackOf({plainView(), stackOf({title, subtitle})}));
    showOddHeader(Ref<UI::StackView>());
    expectContext("Record", true);
}

TEST_F(ContextCapture, ASubtitleViewWithoutTextMarksASong) {
    sim::music::showActions("Record", "Artist \u2219 2019");
    Ref<UI::Label> title = label("Odd");
    showOddHeader(stackOf({title, stackOf({label("Artist"), plainView()})}));
    expectContext("Odd", false);
}

} // namespace
