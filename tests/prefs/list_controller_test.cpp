// The settings page: its rows, its banner header, the window tint while it is shown, and its
// respring, mail and profile actions.
#include "maker.hpp"
#include "settings_fixture.hpp"

#include "sim/platform/objects.hpp"
#include "sim/platform/runtime_services.hpp"
#include "sim/platform/spawn.hpp"
#include "sim/platform/transcript.hpp"
#include "tests/registered_methods.hpp"

#include <cerrno>
#include <fstream>

extern "C" size_t class_getInstanceSize(Class cls);

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

using Specifiers = SettingsTest;
using Banner = SettingsTest;
using Tint = SettingsTest;
using Respring = SettingsTest;
using Links = SettingsTest;

TEST_F(Specifiers, AreLoadedOnceAndTheSameListIsReturned) {
    PS::ListController page = openPage();
    id first = page.send<id>(sel<"specifiers">());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(page.send<id>(sel<"specifiers">()), first);
    EXPECT_EQ(*objc::ivarOf<id>(page, "_specifiers"), first);
}

TEST_F(Specifiers, ANilLoadIsTriedAgainAtTheNextCall) {
    sim::settings::installBundle();
    std::string list = sim::hostPath(std::string(sim::settings::kBundlePath) + "/twinlyprefs.plist");
    std::string aside = list + ".aside";
    std::rename(list.c_str(), aside.c_str());
    PS::ListController page = openPage();
    EXPECT_EQ(page.send<id>(sel<"specifiers">()), nullptr);
    std::rename(aside.c_str(), list.c_str());
    EXPECT_GT(page.send<NS::Array>(sel<"specifiers">()).count(), 0u);
}

TEST_F(Specifiers, ShowTheHeadingAndTheThreeSwitchesOnByDefault) {
    openPage();
    for (const char* key : {"enabled", "disable", "greyText"}) {
        auto row = sim::settings::switchRow(key);
        ASSERT_TRUE(row) << key;
        EXPECT_TRUE(row->cell.isKindOfClass(objc::lookUpClass("TWSwitchTableCell"))) << key;
        EXPECT_TRUE(row->cell.send<Object>(sel<"control">()).send<BOOL>(sel<"isOn">())) << key;
    }
    auto rows = sim::settings::rowsOf(sim::settings::page());
    auto heading = std::find_if(rows.begin(), rows.end(), [](auto& row) { return bool(row.cell); });
    ASSERT_NE(heading, rows.end());
    EXPECT_TRUE(heading->cell.isKindOfClass(objc::lookUpClass("TWHeadingCell")));
    EXPECT_EQ(heading->height, 100);
}

// The page's class is built at run time: no image defines it, so the framework's own `bundle`
// (+[NSBundle bundleForClass:]) answers the Settings app's main bundle, where no list lies.
using Bundle = SettingsTest;

NS::String bundlePathOf(objc::Object bundle) { return bundle.send<NS::String>(sel<"bundlePath">()); }

TEST_F(Bundle, ThePageAnswersTheBundleAtItsInstallLocation) {
    PS::ListController page = openPage();
    Object bundle = page.send<Object>(sel<"bundle">());
    EXPECT_EQ(sim::text(bundlePathOf(bundle)), sim::hostPath(sim::settings::kBundlePath));
    Object framework = NS::classNamed("NSBundle").send<Object>(sel<"bundleForClass:">(), objc::lookUpClass("twinlyprefsListController"));
    EXPECT_EQ(framework, NS::classNamed("NSBundle").send<Object>(sel<"mainBundle">()));
}

// A controller written the plain way: the two-argument load in `specifiers`, no `bundle` of its own.
id plainSpecifiers(id self, SEL) {
    id& held = *objc::ivarOf<id>(Object(self), "_specifiers");
    if (held == nullptr)
        held = PS::ListController(self).loadSpecifiersFromPlistName(NS::literal<"twinlyprefs">(), Object(self)).retain();
    return held;
}

id installedBundle(id, SEL) {
    return NS::Bundle::bundleWithPath(NS::literal<"/Library/PreferenceBundles/twinlyprefs.bundle">()).raw;
}

// The rows that a controller of that class shows once its view has appeared.
size_t rowsShownBy(Class cls) {
    Object allocated(objc::classObject(cls).send<id>(sel<"alloc">()));
    objc::Ref<PS::ListController> page = objc::Ref<PS::ListController>::adopt(allocated.send<PS::ListController>(sel<"init">()));
    page->view();
    page->send(sel<"viewWillAppear:">(), NO);
    size_t rows = sim::settings::rowsOf(page.get()).size();
    page->view().send(sel<"removeFromSuperview">());
    return rows;
}

TEST_F(Bundle, AControllerWithoutTheBundleAnswerGetsNoRows) {
    openPage();
    Class plain = objc::ClassBuilder("TestPlainListController", objc::lookUpClass("PSListController"))
                      .method<plainSpecifiers>(sel<"specifiers">())
                      .registerClass();
    EXPECT_EQ(rowsShownBy(plain), 0u);
    EXPECT_NE(sim::transcriptText().find("the list \"twinlyprefs\" of the Settings app's main bundle cannot be read"),
              std::string::npos);

    // The same controller answering `bundle` with the installed bundle gets every row.
    Class answering = objc::ClassBuilder("TestAnsweringListController", plain)
                          .method<installedBundle>(sel<"bundle">())
                          .registerClass();
    EXPECT_EQ(rowsShownBy(answering), sim::settings::rowsOf(sim::settings::page()).size());
    EXPECT_GT(rowsShownBy(answering), 0u);
}

// The page names its bundle to the three-argument load: a `bundle` answer that is wrong does not matter.
id mainBundle(id, SEL) { return NS::classNamed("NSBundle").send<id>(sel<"mainBundle">()); }

// Without the three-argument load the page's own `bundle` answer leads the framework to the list.
BOOL lacksThreeArgumentLoad(id self, SEL selector, SEL asked) {
    if (sel_isEqual(asked, sel<"loadSpecifiersFromPlistName:target:bundle:">())) return NO;
    return objc::sendSuper<BOOL>(self, objc::lookUpClass("twinlyprefsListController"), selector, asked);
}

TEST_F(Bundle, TheListComesFromTheInstalledBundleWhicheverLoadTheFrameworkOffers) {
    size_t shown = sim::settings::rowsOf(openPage()).size();
    ASSERT_GT(shown, 0u);
    Class page = objc::lookUpClass("twinlyprefsListController");
    Class misled = objc::ClassBuilder("TestMisledPage", page).method<mainBundle>(sel<"bundle">()).registerClass();
    EXPECT_EQ(rowsShownBy(misled), shown);
    Class older = objc::ClassBuilder("TestPageOnAnOlderFramework", page)
                      .method<lacksThreeArgumentLoad>(sel<"respondsToSelector:">())
                      .registerClass();
    EXPECT_EQ(rowsShownBy(older), shown);
    // There the framework asks the page's `bundle`: a wrong answer would leave the page empty.
    Class olderMisled = objc::ClassBuilder("TestMisledPageOnAnOlderFramework", older)
                            .method<mainBundle>(sel<"bundle">())
                            .registerClass();
    EXPECT_EQ(rowsShownBy(olderMisled), 0u);
}

struct BannerCase {
    uint32_t imageWidth, imageHeight;
    double screenWidth;
    double height;
};

class BannerHeight : public SettingsTest, public ::testing::WithParamInterface<BannerCase> {};

TEST_P(BannerHeight, FollowsTheScreenWidthAndTheImageRatioTruncated) {
    BannerCase c = GetParam();
    sim::ui::setScreenWidth(c.screenWidth);
    sim::settings::replaceBanner(sim::ui::PixelSize{c.imageWidth, c.imageHeight});
    EXPECT_EQ(bannerHeader(openPage()).frame().size.height, c.height);
}

// 117.5 and 118.9 tell truncation from rounding.
INSTANTIATE_TEST_SUITE_P(Banner, BannerHeight,
                         ::testing::Values(BannerCase{640, 200, 375, 117}, BannerCase{640, 200, 320, 100},
                                           BannerCase{600, 190, 414, 131}, BannerCase{640, 200, 375.9, 117},
                                           BannerCase{640, 200, 376, 117}, BannerCase{640, 203, 375, 118},
                                           BannerCase{0, 200, 375, 0}));

TEST_F(Banner, MissingGivesAnEmptyHeaderOfHeightZero) {
    sim::settings::replaceBanner(std::nullopt);
    UI::View header = bannerHeader(openPage());
    ASSERT_TRUE(header);
    EXPECT_EQ(header.frame().size.height, 0);
    EXPECT_FALSE(header.send<Object>(sel<"image">()));
}

TEST_F(Banner, TheShippedImageIsShownAspectFitWithAFlexibleWidth) {
    UI::View header = bannerHeader(openPage());
    EXPECT_EQ(header.frame().size.height, 117); // 1280 x 400 at 375 points
    EXPECT_TRUE(header.send<Object>(sel<"image">()));
    EXPECT_EQ(header.send<NSInteger>(sel<"contentMode">()), 1);
    EXPECT_EQ(header.send<NSUInteger>(sel<"autoresizingMask">()), 2u);
}

// The header is as wide as the table, while its height follows the screen read at load.
TEST_F(Banner, HeaderWidthIsTheTablesNotTheScreens) {
    sim::ui::setScreenWidth(320);
    sim::settings::replaceBanner(sim::ui::PixelSize{640, 200});
    openPage();
    sim::settings::closePage();
    sim::ui::setScreenWidth(500);
    UI::View header = bannerHeader(openPage());
    EXPECT_EQ(header.frame().size.width, 500);
    EXPECT_EQ(header.frame().size.height, 100);
}

// What the runtime holds of the classes the bundle builds: each method with its signature's
// encoding, and each instance laid out as the superclass's instance followed by the class's own
// fields at their natural alignment, and nothing more.
using Registration = SettingsTest;

TEST_F(Registration, EveryMethodCarriesItsSignaturesEncoding) {
    openPage();
    expectRegisteredMethodsOf("twinlyprefs");
}

TEST_F(Registration, FieldsFollowTheSuperclassAtTheirNaturalAlignment) {
    openPage();
    struct Layout {
        const char* className;
        std::vector<const char*> fields;
    };
    for (const Layout& layout : {Layout{"twinlyprefsListController", {"settingsView"}},
                                 Layout{"TWHeadingCell", {"_label", "_subLabel", "_subSubLabel"}},
                                 Layout{"TWSwitchTableCell", {}}}) {
        Class cls = objc::lookUpClass(layout.className);
        size_t end = class_getInstanceSize(class_getSuperclass(cls));
        for (const char* field : layout.fields) {
            size_t offset = (end + alignof(id) - 1) / alignof(id) * alignof(id);
            EXPECT_EQ(ivar_getOffset(class_getInstanceVariable(cls, field)), ptrdiff_t(offset)) << layout.className << field;
            end = offset + sizeof(id);
        }
        EXPECT_EQ(class_getInstanceSize(cls), end) << layout.className;
    }
}

// A height that no int holds is no height: 1 x 2147483647 pixels at 375 points would be 8e11.
TEST_F(Banner, ARatioBeyondAnyHeightGivesZero) {
    sim::settings::installBundle();
    const unsigned char header[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                    0, 0, 0, 1, 0x7f, 0xff, 0xff, 0xff};
    std::ofstream(sim::hostPath(std::string(sim::settings::kBundlePath) + "/banner.png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(header), sizeof header);
    EXPECT_EQ(bannerHeader(openPage()).frame().size.height, 0);
}

// The table holds the header and the header its image; the page keeps neither, nor itself alive.
TEST_F(Banner, GoesAwayWithThePage) {
    {
        NS::AutoreleasePool inner;
        openPage();
        sim::settings::closePage();
    }
    EXPECT_EQ(sim::liveInstances("twinlyprefsListController"), 0);
    EXPECT_EQ(sim::liveInstances("UITableView"), 0);
    EXPECT_EQ(sim::liveInstances("UIImageView"), 0);
    EXPECT_EQ(sim::liveInstances("UIImage"), 0);
    EXPECT_EQ(sim::liveInstances("UIBarButtonItem"), 0);
}

TEST_F(Tint, IsTheAccentWhileShownAndNilAfterEvenIfTheWindowHadAnother) {
    openPage();
    EXPECT_EQ(sim::settings::keyWindowTint(), kAccent);
    UI::Application::sharedApplication().keyWindow().setTintColor(UI::Color::colorWithRGBA(1, 0, 0, 1));
    sim::settings::closePage();
    EXPECT_EQ(sim::settings::keyWindowTint(), std::nullopt);
}

TEST_F(Tint, PageRemembersTheWindowItTinted) {
    PS::ListController page = openPage();
    EXPECT_EQ(*objc::ivarOf<id>(page, "settingsView"), UI::Application::sharedApplication().keyWindow().raw);
}

TEST_F(Respring, SpawnsKillallForBackboarddWithoutEnvironmentAndWaitsForIt) {
    openPage();
    sim::settings::tap("Respring");
    ASSERT_EQ(sim::spawns().size(), 1u);
    const sim::Spawn& spawn = sim::spawns().back();
    EXPECT_EQ(spawn.path, "/usr/bin/killall");
    EXPECT_EQ(spawn.arguments, (std::vector<std::string>{"killall", "backboardd"}));
    EXPECT_FALSE(spawn.withFileActions);
    EXPECT_FALSE(spawn.withAttributes);
    EXPECT_FALSE(spawn.withEnvironment);
    EXPECT_TRUE(spawn.reaped);
    EXPECT_EQ(sim::waits(), std::vector<int>{spawn.pid});
    EXPECT_EQ(spawn.waitOptions, std::vector<int>{4});
}

// A class cluster's init may hand back another object than its receiver: then the page is that
// object, not one of the bundle's, and neither it nor the receiver set aside gets the button.
id initHandingBackAnother(id self, SEL selector) {
    Class framework = objc::lookUpClass("PSListController");
    objc::sendSuper<id>(self, class_getSuperclass(framework), selector);
    Object other(objc::classObject(framework).send<id>(sel<"alloc">()));
    return objc::sendSuper<id>(other.raw, class_getSuperclass(framework), selector);
}

TEST_F(Respring, IsLeftOutWhenTheFrameworksInitHandsBackAnotherObject) {
    openPage();
    ASSERT_TRUE(class_addMethod(objc::lookUpClass("PSListController"), sel<"init">(),
                                reinterpret_cast<IMP>(initHandingBackAnother), "@@:"));
    Ref<Object> receiver = Ref<Object>::adopt(Object(objc::classObject(objc::lookUpClass("twinlyprefsListController")).send<id>(sel<"alloc">())));
    Ref<PS::ListController> substitute = Ref<PS::ListController>::adopt(receiver->send<PS::ListController>(sel<"init">()));
    ASSERT_TRUE(substitute);
    ASSERT_NE(substitute.get().raw, receiver.get().raw);
    EXPECT_FALSE(substitute->navigationItem().send<Object>(sel<"rightBarButtonItem">()));
    EXPECT_FALSE(PS::ListController(receiver.get().raw).navigationItem().send<Object>(sel<"rightBarButtonItem">()));
}

TEST_F(Respring, AFailedSpawnWaitsForNothing) {
    PS::ListController page = openPage();
    sim::failNextSpawn(ENOENT);
    page.send(sel<"respring">());
    EXPECT_TRUE(sim::spawns().empty());
    EXPECT_TRUE(sim::waits().empty());
}

TEST_F(Respring, AnInterruptedWaitWaitsAgainUntilTheChildExits) {
    PS::ListController page = openPage();
    sim::interruptNextWait();
    page.send(sel<"respring">());
    const sim::Spawn& spawn = sim::spawns().back();
    EXPECT_EQ(sim::waits(), (std::vector<int>{spawn.pid, spawn.pid}));
    EXPECT_TRUE(spawn.reaped);
}

TEST_F(Respring, TheButtonIsBorderedAndTargetsThePage) {
    PS::ListController page = openPage();
    Object button = page.navigationItem().send<Object>(sel<"rightBarButtonItem">());
    EXPECT_EQ(sim::text(button.send<NS::String>(sel<"title">())), "Respring");
    EXPECT_EQ(button.send<NSInteger>(sel<"style">()), 1);
    EXPECT_EQ(button.send<id>(sel<"target">()), page.raw);
    EXPECT_TRUE(sel_isEqual(button.send<SEL>(sel<"action">()), sel<"respring">()));
}

TEST_F(Links, TheMailGoesToTheMakerAndAsksForTheSupportSubjectExactly) {
    openPage();
    sim::settings::tap("Email Support");
    auto opened = sim::ui::lastOpenedURL();
    ASSERT_TRUE(opened);
    EXPECT_EQ(*opened, "mailto:" TWINLY_MAKER_EMAIL "?subject=Twinly2-support");
}

TEST_F(Links, TheProfileRowOpensAWebPage) {
    openPage();
    sim::settings::tap("Ostrova's Profile");
    auto opened = sim::ui::lastOpenedURL();
    ASSERT_TRUE(opened);
    EXPECT_EQ(*opened, TWINLY_MAKER_PAGE);
}

} // namespace
