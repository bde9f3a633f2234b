// UIKit's stand-ins as the simulated apps rely on them: views own their subviews and know their
// controller, labels copy their text, colours compare by components, and alerts run a button's
// handler once and then let go of the alert, its actions and whatever the handler kept. Views that
// UIKit marks for layout are laid out at Core Animation's commit.
#include "sim/platform/objects.hpp"
#include "sim/platform/process.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/platform/transcript.hpp"
#include "sim/uikit/layout_commit.hpp"
#include "sim/uikit/uikit.hpp"

#include "objc/class_builder.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

class UIKit : public ::testing::Test {
protected:
    void SetUp() override { sim::ui::classes.define(); }
    void TearDown() override { sim::ui::endProcess(); }
    NS::AutoreleasePool pool;
};

TEST_F(UIKit, ViewsStartOpaqueAndInteractiveAndKeepTheirFrame) {
    auto view = sim::make<UI::View>("UIView");
    EXPECT_EQ(view->alpha(), 1.0);
    EXPECT_TRUE(view->isUserInteractionEnabled());
    view->send(sel<"setFrame:">(), CGRect{{10, 20}, {30, 40}});
    EXPECT_EQ(view->frame().origin.y, 20);
    EXPECT_EQ(view->bounds().origin.x, 0);
    EXPECT_EQ(view->bounds().size.width, 30);
}

std::vector<id> laidOut;
void recordLayout(id self, SEL) { laidOut.push_back(self); }

Ref<UI::View> layoutRecordingView() {
    static Class cls = objc::ClassBuilder("TestLayoutRecordingView", objc::lookUpClass("UIView"))
                           .method<&recordLayout>(sel<"layoutSubviews">())
                           .registerClass();
    return Ref<UI::View>::adopt(objc::classObject(cls).send<UI::View>(sel<"new">()));
}

// Core Animation's commit lays out each view marked during the turn, once, in the order marked,
// when the turn is about to wait; layoutIfNeeded lays a marked view out at once, and what was to
// follow a view's next layout comes right after it.
TEST_F(UIKit, MarkedViewsAreLaidOutOnceEachAtTheCommitInTheOrderMarked) {
    laidOut.clear();
    Ref<UI::View> a = layoutRecordingView(), b = layoutRecordingView(), c = layoutRecordingView();
    std::vector<id> beforeA;
    sim::handleEvent([&] {
        for (UI::View view : {b.get(), a.get(), b.get(), c.get()}) view.send(sel<"setNeedsLayout">());
        c->send(sel<"layoutIfNeeded">());
        sim::ui::afterNextLayout(b, [&] { beforeA = laidOut; });
        EXPECT_EQ(laidOut, std::vector<id>{c.get().raw});
    });
    EXPECT_EQ(laidOut, (std::vector<id>{c.get().raw, b.get().raw, a.get().raw}));
    EXPECT_EQ(beforeA, (std::vector<id>{c.get().raw, b.get().raw}));
    a->send(sel<"layoutIfNeeded">());
    sim::handleEvent([] {});
    EXPECT_EQ(laidOut.size(), 3u);
    sim::forgetProcessWork();
}

TEST_F(UIKit, ASuperviewOwnsItsSubviewsAndLeadsToTheOwningController) {
    int viewsBefore = sim::liveInstances("UIView");
    {
        NS::AutoreleasePool inner;
        auto controller = sim::make<UI::ViewController>("UIViewController");
        UI::View root = controller->view();
        auto child = sim::make<UI::View>("UIView");
        root.addSubview(child.get());
        EXPECT_EQ(child->send<id>(sel<"superview">()), root.raw);
        EXPECT_EQ(child->viewControllerForAncestor().raw, controller.get().raw);
        EXPECT_EQ(root.send<NS::Array>(sel<"subviews">()).count(), 1u);
        auto orphan = sim::make<UI::View>("UIView");
        EXPECT_FALSE(orphan->viewControllerForAncestor());
    }
    EXPECT_EQ(sim::liveInstances("UIView"), viewsBefore);
}

TEST_F(UIKit, LabelsCopyTheirTextAndHaveOneLine) {
    auto label = UI::Label::make(CGRect{{0, 0}, {100, 20}});
    auto text = Ref<Object>::adopt(NS::classNamed("NSMutableString").send<Object>(sel<"new">()));
    text->send(sel<"appendString:">(), NS::String::make("Hey Jude").get());
    label->setText(NS::String(text.get().raw));
    text->send(sel<"appendString:">(), NS::String::make("!").get());
    EXPECT_EQ(sim::text(label->text()), "Hey Jude");
    EXPECT_EQ(label->send<NSInteger>(sel<"numberOfLines">()), 1);
    EXPECT_EQ(label->frame().size.width, 100);
}

TEST_F(UIKit, ColoursAreEqualByComponents) {
    UI::Color accent = UI::Color::colorWithRGBA(58 / 255.0, 121 / 255.0, 180 / 255.0, 1);
    UI::Color same = UI::Color::colorWithRGBA(58 / 255.0, 121 / 255.0, 180 / 255.0, 1);
    EXPECT_TRUE(accent.send<BOOL>(sel<"isEqual:">(), same));
    EXPECT_EQ(accent.send<NSUInteger>(sel<"hash">()), same.send<NSUInteger>(sel<"hash">()));
    EXPECT_FALSE(accent.send<BOOL>(sel<"isEqual:">(), UI::Color::blackColor()));
    EXPECT_EQ(sim::ui::componentsOf(UI::Color::clearColor())->alpha, 0);
    EXPECT_EQ(sim::ui::componentsOf(accent)->green, 121 / 255.0);
}

TEST_F(UIKit, TheApplicationRecordsOpenedURLsAndItsKeyWindow) {
    UI::Application application = UI::Application::sharedApplication();
    EXPECT_EQ(application.raw, UI::Application::sharedApplication().raw);
    EXPECT_FALSE(sim::ui::lastOpenedURL());
    application.openURL(NS::URL::URLWithString(NS::String::make("mailto:someone@example.com")));
    EXPECT_EQ(sim::ui::lastOpenedURL(), "mailto:someone@example.com");
    auto window = sim::make<UI::Window>("UIWindow");
    sim::ui::setKeyWindow(window.get());
    EXPECT_EQ(application.keyWindow().raw, window.get().raw);
    EXPECT_FALSE(application.keyWindow().send<id>(sel<"tintColor">()));
}

// The main screen is the running device's, in points at its scale; a width set for a scenario takes
// the place of the device's.
TEST_F(UIKit, TheMainScreenIsTheRunningDevicesWithTheWidthSet) {
    auto size = [] { return UI::Screen::mainScreen().bounds().size; };
    auto scale = [] { return UI::Screen::mainScreen().send<CGFloat>(sel<"scale">()); };
    EXPECT_EQ(size().width, 375);
    EXPECT_EQ(size().height, 667);
    EXPECT_EQ(scale(), 2);
    sim::chooseDevice(sim::device::deviceNamed("iPhone XS", "12.4"));
    EXPECT_EQ(size().height, 812);
    EXPECT_EQ(scale(), 3);
    sim::ui::setScreenWidth(320.5);
    EXPECT_EQ(size().width, 320.5);
    EXPECT_EQ(size().height, 812);
    sim::ui::setScreenWidth(std::nullopt);
    sim::chooseDevice(sim::device::deviceNamed("iPhone 11", "13.7"));
    EXPECT_EQ(size().width, 414);
    EXPECT_EQ(scale(), 2);
    sim::chooseDevice(sim::device::defaultDevice());
}

int handlerRuns;

TEST_F(UIKit, PressingAButtonRunsItsHandlerOnceAndReleasesTheAlert) {
    handlerRuns = 0;
    int objectsBefore = sim::liveInstances("NSObject");
    {
        NS::AutoreleasePool inner;
        auto presenter = sim::make<UI::ViewController>("UIViewController");
        auto window = sim::make<UI::View>("UIWindow");
        window->addSubview(presenter->view());
        auto kept = Ref<Object>::adopt(NS::classNamed("NSObject").send<Object>(sel<"new">()));
        UI::AlertController alert = UI::AlertController::alertControllerWithTitle(
            NS::String::make(""), NS::String::make("Already there."), UI::AlertController::kStyleAlert);
        alert.addAction(UI::AlertAction::actionWithTitle(NS::String::make("Add Again"), 0, ^(id) {
            kept->send<NSUInteger>(sel<"hash">());
            ++handlerRuns;
        }));
        UI::AlertAction skip = UI::AlertAction::actionWithTitle(NS::String::make("Skip"), 0, nullptr);
        alert.addAction(skip);
        alert.setPreferredAction(skip);
        presenter->presentViewController(alert, YES, nullptr);

        sim::screens::Alert content = sim::ui::contentOf(sim::ui::alertOnScreen());
        EXPECT_EQ(content.title, "");
        EXPECT_EQ(content.message, "Already there.");
        ASSERT_EQ(content.buttons.size(), 2u);
        EXPECT_EQ(content.buttons[0], "Add Again");
        EXPECT_EQ(content.preferred, "Skip");
        EXPECT_FALSE(sim::ui::pressAlertButton("Cancel"));
        EXPECT_TRUE(sim::ui::pressAlertButton("Add Again"));
        EXPECT_FALSE(sim::ui::alertOnScreen());
        EXPECT_FALSE(sim::ui::pressAlertButton("Skip"));
    }
    EXPECT_EQ(handlerRuns, 1);
    EXPECT_EQ(sim::liveInstances("UIAlertController"), 0);
    EXPECT_EQ(sim::liveInstances("UIAlertAction"), 0);
    EXPECT_EQ(sim::liveInstances("NSObject"), objectsBefore);
}

UI::AlertController makeAlert(const char* message) {
    return UI::AlertController::alertControllerWithTitle(NS::String::make(""), NS::String::make(message),
                                                          UI::AlertController::kStyleAlert);
}

void expectRefusal(const std::string& attempt) {
    EXPECT_NE(sim::transcriptText().find("UIKit: refused to present: Attempt to present " + attempt), std::string::npos)
        << attempt;
}

// As UIKit does, a controller presents only while it is on screen, presenting nothing else and not
// being presented itself; otherwise UIKit says so, shows nothing and never runs the completion. An
// animated presentation finishes, with its completion, when its animation ends: once the run loop
// that sleeps wakes for it.
TEST_F(UIKit, RefusesToPresentFromAControllerThatIsPresentingOffScreenOrInTransition) {
    NS::AutoreleasePool inner;
    auto presenter = sim::make<UI::ViewController>("UIViewController");
    __block int completions = 0;
    presenter->presentViewController(makeAlert("Nowhere"), YES, ^{ ++completions; });
    EXPECT_FALSE(sim::ui::alertOnScreen());
    expectRefusal("<UIAlertController \"Nowhere\"> on <UIViewController> whose view is not in the window hierarchy!");

    auto window = sim::make<UI::View>("UIWindow");
    window->addSubview(presenter->view());
    presenter->presentViewController(makeAlert("First"), YES, ^{ ++completions; });
    presenter->presentViewController(makeAlert("Second"), YES, ^{ ++completions; });
    EXPECT_EQ(sim::ui::contentOf(sim::ui::alertOnScreen()).message, "First");
    expectRefusal("<UIAlertController \"Second\"> on <UIViewController> which is already presenting "
                  "<UIAlertController \"First\">");
    sim::ui::alertOnScreen().presentViewController(makeAlert("Early"), YES, nullptr);
    expectRefusal("<UIAlertController \"Early\"> on <UIAlertController \"First\"> while a presentation is in progress!");
    EXPECT_EQ(completions, 0);
    sim::settle();
    EXPECT_EQ(completions, 1);

    // What is presented is on screen, and may present in its turn.
    sim::ui::alertOnScreen().presentViewController(makeAlert("Over"), YES, nullptr);
    EXPECT_EQ(sim::ui::contentOf(sim::ui::alertOnScreen()).message, "Over");
    sim::ui::dismissAll();
}

// A UIKit call on another thread ends the run, as the main thread checker reports it.
TEST(UIKitDeathTest, UsedOffTheMainThreadEndsTheRun) {
    sim::ui::classes.define();
    auto view = sim::make<UI::View>("UIView");
    EXPECT_DEATH(std::thread([&] { view->alpha(); }).join(), "UIKit used off the main thread: -\\[UIView alpha\\]");
    // The forked run owns its copy of the view: its last release there ends it off the main thread.
    EXPECT_DEATH(std::thread([&] { view.get().release(); }).join(),
                 "UIKit used off the main thread: -\\[UIView dealloc\\]");
}

TEST_F(UIKit, TouchesReportTheirPointAndEventsHoldTheirTouch) {
    auto view = sim::make<UI::View>("UIView");
    auto touch = sim::ui::makeTouch(CGPoint{5, 75}, view.get());
    auto event = sim::ui::makeEvent(touch.get());
    UI::Touch any(event->allTouches().anyObject().raw);
    EXPECT_EQ(any.raw, touch.get().raw);
    EXPECT_EQ(any.locationInView(view.get()).y, 75);
}

// UIKit's item is the second index, after the section, as Foundation's own index paths keep them.
TEST_F(UIKit, IndexPathsHaveUIKitsItemAfterTheSection) {
    Object path = NS::classNamed("NSIndexPath").send<Object>(sel<"indexPathForItem:inSection:">(), NSInteger(3), NSInteger(1));
    EXPECT_EQ(path.send<NSInteger>(sel<"item">()), 3);
    NSUInteger indexes[2] = {1, 3};
    Object same = NS::classNamed("NSIndexPath").send<Object>(sel<"indexPathWithIndexes:length:">(), indexes, NSUInteger(2));
    EXPECT_TRUE(path.send<BOOL>(sel<"isEqual:">(), same));
}

} // namespace
