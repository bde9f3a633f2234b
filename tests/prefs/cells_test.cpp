// The heading row and the switch rows of the settings page.
#include "settings_fixture.hpp"

#include "sim/platform/objects.hpp"
#include "sim/platform/runtime_services.hpp"

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

class Heading : public SettingsTest {
protected:
    // A heading cell made as the framework makes it, for a specifier of its own.
    Ref<UI::View> makeHeading(const char* label) {
        Ref<Object> properties = Ref<Object>::adopt(NS::classNamed("NSMutableDictionary").send<Object>(sel<"new">()));
        Ref<Object> specifier = sim::settings::makeSpecifier(properties, nullptr);
        specifier->send(sel<"setProperty:forKey:">(), NS::String::make(label).get(), NS::String::make("label").get());
        Object allocated(NS::classNamed("TWHeadingCell").send<id>(sel<"alloc">()));
        return Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"initWithSpecifier:">(), specifier.get()));
    }
    static std::vector<UI::Label> labelsOf(UI::View cell) {
        std::vector<UI::Label> labels;
        for (Object view : NS::each<Object>(cell.send<Object>(sel<"subviews">())))
            if (view.isKindOfClass(UI::labelClass())) labels.push_back(UI::Label(view.raw));
        return labels;
    }
};

struct LabelLook {
    const char* text;
    CGRect frame;
    CGFloat fontSize;
    CGFloat grey;
};

TEST_F(Heading, ShowsThreeCentredOneLineLabelsAcrossTheScreenWidth) {
    sim::ui::setScreenWidth(375);
    openPage();
    Ref<UI::View> cell = makeHeading("first");
    const LabelLook looks[] = {{"Twinly 2", {{0, -10}, {375, 60}}, 42, 0},
                               {"by Ostrova", {{0, 45}, {375, 20}}, 14, 0},
                               {"Stop adding duplicate songs to playlists", {{0, 70}, {375, 20}}, 16, 65.0 / 255}};
    std::vector<UI::Label> labels = labelsOf(cell);
    ASSERT_EQ(labels.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(looks[i].text);
        UI::Label label = labels[i];
        EXPECT_EQ(sim::text(label.text()), looks[i].text);
        CGRect frame = label.frame();
        EXPECT_EQ(frame.origin.x, looks[i].frame.origin.x);
        EXPECT_EQ(frame.origin.y, looks[i].frame.origin.y);
        EXPECT_EQ(frame.size.width, looks[i].frame.size.width);
        EXPECT_EQ(frame.size.height, looks[i].frame.size.height);
        Object font = label.send<Object>(sel<"font">());
        EXPECT_EQ(sim::text(font.send<NS::String>(sel<"fontName">())), "HelveticaNeue-UltraLight");
        EXPECT_EQ(font.send<CGFloat>(sel<"pointSize">()), looks[i].fontSize);
        CGFloat grey = looks[i].grey;
        EXPECT_EQ(sim::ui::componentsOf(label.send<Object>(sel<"textColor">())), (sim::ui::Rgba{grey, grey, grey, 1}));
        EXPECT_EQ(sim::ui::componentsOf(label.send<Object>(sel<"backgroundColor">())), (sim::ui::Rgba{0, 0, 0, 0}));
        EXPECT_EQ(label.send<NSInteger>(sel<"numberOfLines">()), 1);
        EXPECT_EQ(label.send<NSInteger>(sel<"textAlignment">()), 1);
        EXPECT_EQ(label.send<id>(sel<"superview">()), cell.get().raw); // on the cell, not its content view
        EXPECT_EQ(*objc::ivarOf<id>(cell.get(), std::array{"_label", "_subLabel", "_subSubLabel"}[i]), label.raw);
    }
}

// The labels keep the width of the screen that the bundle saw when it loaded.
TEST_F(Heading, LabelsFollowTheScreenReadAtLoadNotTheCell) {
    sim::ui::setScreenWidth(414.7);
    openPage();
    sim::ui::setScreenWidth(320);
    Ref<UI::View> cell = makeHeading("first");
    EXPECT_EQ(cell->frame().size.width, 320);
    for (UI::Label label : labelsOf(cell)) EXPECT_EQ(label.frame().size.width, 414);
}

TEST_F(Heading, IsAHundredPointsHighForAnyWidth) {
    openPage();
    Ref<UI::View> cell = makeHeading("first");
    for (CGFloat width : {0.0, 320.0, 768.0})
        EXPECT_EQ(cell->send<CGFloat>(sel<"preferredHeightForWidth:">(), width), 100.0) << width;
    EXPECT_FALSE(cell->respondsToSelector(sel<"preferredHeightForWidth:inTableView:">()));
}

TEST_F(Heading, IgnoresItsSpecifier) {
    openPage();
    Ref<UI::View> first = makeHeading("first");
    Ref<UI::View> second = makeHeading("second");
    std::vector<UI::Label> a = labelsOf(first), b = labelsOf(second);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(sim::text(a[i].text()), sim::text(b[i].text()));
    EXPECT_EQ(sim::text(first->send<NS::String>(sel<"reuseIdentifier">())), "Cell");
    EXPECT_EQ(first->send<NSInteger>(sel<"style">()), 0);
}

TEST_F(Heading, LetsItsLabelsGoWithIt) {
    openPage();
    int before = sim::liveInstances("UILabel");
    {
        NS::AutoreleasePool pool;
        Ref<UI::View> cell = makeHeading("first");
        EXPECT_EQ(sim::liveInstances("UILabel"), before + 3);
    }
    EXPECT_EQ(sim::liveInstances("UILabel"), before);
}

TEST_F(Heading, AdoptsTheCustomViewProtocol) {
    openPage();
    Object cls = objc::classObject(objc::lookUpClass("TWHeadingCell"));
    EXPECT_TRUE(cls.send<BOOL>(sel<"conformsToProtocol:">(), objc_getProtocol("PreferencesTableCustomView")));
}

// What a picture of the page draws: the rows at the heights and frames the cells set, the switches
// with their on-tint, the footers.
TEST_F(SettingsTest, ThePageShowsTheCellsAsTheySetThemselves) {
    sim::ui::setScreenWidth(375);
    openPage();
    std::optional<sim::screens::SettingsScreen> page = sim::settings::screenShown();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->title, "Twinly 2");
    EXPECT_EQ(page->rightButton, "Respring");
    EXPECT_EQ(page->tint, kAccent);
    EXPECT_EQ(page->header, (sim::screens::Rect{0, 0, 375, 117}));
    EXPECT_FALSE(page->headerImage.empty());
    using Kind = sim::screens::SettingsRow::Kind;
    const sim::screens::SettingsRow& heading = page->rows.at(1);
    EXPECT_EQ(heading.height, 100);
    const sim::screens::Rect frames[] = {{0, -10, 375, 60}, {0, 45, 375, 20}, {0, 70, 375, 20}};
    ASSERT_EQ(heading.labels.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(heading.labels[i].frame, frames[i]);
        EXPECT_EQ(heading.labels[i].font, "HelveticaNeue-UltraLight");
        EXPECT_EQ(heading.labels[i].alignment, 1);
    }
    size_t switches = 0;
    for (size_t row = 0; row < page->rows.size(); ++row) {
        if (page->rows[row].kind != Kind::switchCell) continue;
        ++switches;
        EXPECT_TRUE(page->rows[row].on);
        EXPECT_EQ(page->rows[row].onTint, kAccent);
        EXPECT_EQ(page->rows[row].height, 44);
        EXPECT_EQ(page->rows[row - 1].kind, Kind::group);
        EXPECT_FALSE(page->rows[row - 1].footer.empty());
    }
    EXPECT_EQ(switches, 3u);
}

TEST_F(SettingsTest, SwitchesAreTintedLikeTheWindowWhileThePageIsShown) {
    openPage();
    for (const char* key : {"enabled", "disable", "greyText"}) {
        auto row = sim::settings::switchRow(key);
        ASSERT_TRUE(row) << key;
        Object control = row->cell.send<Object>(sel<"control">());
        EXPECT_EQ(sim::ui::componentsOf(control.send<Object>(sel<"onTintColor">())), sim::settings::keyWindowTint()) << key;
        EXPECT_TRUE(sim::settings::keyWindowTint());
    }
}

} // namespace
