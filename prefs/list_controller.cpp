// The settings page: its rows, the banner above them, the window tint while it is shown, and its
// actions (respring, support mail, profile page).
#include "bundle.hpp"
#include "maker.hpp"
#include "objc/system.hpp"

namespace prefs {
namespace {

using NS::literal;
using objc::Object;
using objc::Ref;
using objc::sel;

Class listControllerClass;
// Found once, when the classes are registered: the framework's list on PSListController, which
// declares it, and the page's own field on the page's class.
objc::InstanceVariable<id> specifiersField;
objc::InstanceVariable<id> settingsViewField;
// The banner header's height, from the last viewDidLoad.
int bannerHeight;

constexpr int kWaitExited = 4;

PS::ListController controller(id self) { return PS::ListController(self); }

// The bundle at its install location. The page's class is built at run time, so no image defines
// it, and +[NSBundle bundleForClass:], which the framework's own `bundle` asks, answers the
// Settings app's main bundle for it: the framework would look for the page's resources there.
NS::Bundle ownBundle() { return NS::Bundle::bundleWithPath(literal<"/Library/PreferenceBundles/twinlyprefs.bundle">()); }

id listControllerBundle(id, SEL) { return ownBundle().raw; }

// From the bundle named explicitly where the framework can be told it; else from the page's
// `bundle`, which the two-argument call reads.
NS::Array loadSpecifiers(id self) {
    PS::ListController page = controller(self);
    if (page.respondsToSelector(sel<"loadSpecifiersFromPlistName:target:bundle:">()))
        return page.loadSpecifiersFromPlistName(literal<"twinlyprefs">(), Object(self), ownBundle());
    return page.loadSpecifiersFromPlistName(literal<"twinlyprefs">(), Object(self));
}

// A framework without `_specifiers` would leave nothing to hold the list in: it is loaded each time.
id listControllerSpecifiers(id self, SEL) {
    id* specifiers = specifiersField.in(Object(self));
    if (specifiers == nullptr) return loadSpecifiers(self).raw;
    if (*specifiers == nullptr) *specifiers = loadSpecifiers(self).retain();
    return *specifiers;
}

void listControllerRespring(id, SEL) {
    static char* const arguments[] = {const_cast<char*>("killall"), const_cast<char*>("backboardd"), nullptr};
    pid_t child;
    if (posix_spawn(&child, "/usr/bin/killall", nullptr, nullptr, arguments, nullptr) != 0) return;
    // Darwin's waitpid ignores the bit it does not know and blocks until the child exits; a signal
    // that interrupts the wait must not let the page go on while killall still runs.
    int status;
    while (waitpid(child, &status, kWaitExited) == -1 && sys::lastError() == sys::kEINTR) {
    }
}

void openURL(NS::String url) { UI::Application::sharedApplication().openURL(NS::URL::URLWithString(url)); }

// The maker's addresses come from maker.conf, through the header the build writes.
void listControllerSendEmail(id, SEL) { openURL(literal<"mailto:" TWINLY_MAKER_EMAIL "?subject=Twinly2-support">()); }

void listControllerReddit(id, SEL) { openURL(literal<TWINLY_MAKER_PAGE>()); }

id listControllerInit(id self, SEL selector) {
    id result = objc::sendSuper<id>(self, listControllerClass, selector);
    if (result == self) {
        Ref<UI::BarButtonItem> respring = UI::BarButtonItem::make(literal<"Respring">(), UI::BarButtonItem::kStyleBordered,
                                                                  Object(self), sel<"respring">());
        UI::setRightBarButtonItem(controller(self).navigationItem(), respring);
    }
    return result;
}

// The window is the app's; the page only remembers which one it tinted.
void rememberKeyWindowTinted(id self, UI::Color tint) {
    UI::Window window = UI::Application::sharedApplication().keyWindow();
    if (id* field = settingsViewField.in(Object(self))) *field = window.raw;
    window.setTintColor(tint);
}

void listControllerViewDidDisappear(id self, SEL selector, BOOL animated) {
    objc::sendSuper<void>(self, listControllerClass, selector, animated);
    rememberKeyWindowTinted(self, UI::Color());
}

void listControllerViewWillAppear(id self, SEL selector, BOOL animated) {
    objc::sendSuper<void>(self, listControllerClass, selector, animated);
    rememberKeyWindowTinted(self, TWTintColor());
}

// The header's height follows the screen's width and the banner's aspect ratio; its width is the
// table's. A missing banner, or one without width, gives a header of height 0.
void listControllerViewDidLoad(id self, SEL selector) {
    objc::sendSuper<void>(self, listControllerClass, selector);
    Ref<UI::Image> banner = UI::Image::withContentsOfFile(ownBundle().pathForResource(literal<"banner">(), literal<"png">()));
    CGSize size = banner->size();
    double ratio = size.width > 0 ? double(size.height) / double(size.width) : 0;
    bannerHeight = truncatedPoints(ratio * width);

    CGFloat tableWidth = controller(self).table().bounds().size.width;
    Ref<UI::ImageView> header = UI::ImageView::make(CGRect{{0, 0}, {tableWidth, CGFloat(bannerHeight)}});
    header->setImage(banner);
    header->setBackgroundColor(UI::Color::clearColor());
    header->setContentMode(UI::ImageView::kContentModeScaleAspectFit);
    header->setAutoresizingMask(UI::ImageView::kFlexibleWidth);
    controller(self).table().setTableHeaderView(header);
}

// The framework hands a switch's value to the preferences daemon, which on iOS 8 and later writes
// the file only later, and posts the row's notification at once: the tweak would read the old
// value. So the value goes into the file first, with the other keys kept and in one atomic write.
void listControllerSetPreferenceValueSpecifier(id self, SEL selector, id value, id specifier) {
    NS::String key = objc::as<NS::String>(PS::Specifier(specifier).propertyForKey(literal<"key">()));
    if (value && key) {
        NS::String path = literal<"/var/mobile/Library/Preferences/com.qzr.twinlyprefs.plist">();
        Ref<NS::MutableDictionary> stored = Ref<NS::MutableDictionary>::retain(NS::MutableDictionary::dictionaryWithContentsOfFile(path));
        if (!stored) stored = NS::MutableDictionary::make();
        stored->setObjectForKey(Object(value), key);
        stored->writeToFile(path, YES);
    }
    objc::sendSuper<void>(self, listControllerClass, selector, value, specifier);
}

} // namespace

void registerListController() {
    listControllerClass = objc::lookUpClass("PSListController");
    Class page = objc::ClassBuilder("twinlyprefsListController", listControllerClass)
        .ivar<id>("settingsView")
        .method<listControllerBundle>(sel<"bundle">())
        .method<listControllerSpecifiers>(sel<"specifiers">())
        .method<listControllerRespring>(sel<"respring">())
        .method<listControllerSendEmail>(sel<"sendEmail">())
        .method<listControllerReddit>(sel<"reddit">())
        .method<listControllerInit>(sel<"init">())
        .method<listControllerViewDidDisappear>(sel<"viewDidDisappear:">())
        .method<listControllerViewWillAppear>(sel<"viewWillAppear:">())
        .method<listControllerViewDidLoad>(sel<"viewDidLoad">())
        .method<listControllerSetPreferenceValueSpecifier>(sel<"setPreferenceValue:specifier:">())
        .registerClass();
    specifiersField.bind(listControllerClass, "_specifiers");
    settingsViewField.bind(page, "settingsView");
}

} // namespace prefs
