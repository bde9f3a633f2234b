// The settings page: its rows, the banner above them, the window tint while it is shown, and its
// actions (respring, support mail, profile page).
#include "bundle.hpp"
#include "objc/system.hpp"

namespace prefs {
namespace {

using NS::literal;
using objc::Object;
using objc::Ref;
using objc::sel;

Class listControllerClass;
// The banner header's height, from the last viewDidLoad.
int bannerHeight;

constexpr int kWaitExited = 4;

PS::ListController controller(id self) { return PS::ListController(self); }

id listControllerSpecifiers(id self, SEL) {
    id* specifiers = objc::ivarOf<id>(Object(self), "_specifiers");
    if (*specifiers == nullptr)
        *specifiers = controller(self).loadSpecifiersFromPlistName(literal<"twinlyprefs">(), Object(self)).retain();
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

void listControllerSendEmail(id, SEL) { openURL(literal<"mailto:support@example.com?subject=Twinly2-support">()); }

void listControllerReddit(id, SEL) { openURL(literal<"https://www.example.com/user/ostrova">()); }

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
    *objc::ivarOf<id>(Object(self), "settingsView") = window.raw;
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
    NS::Bundle bundle = NS::Bundle::bundleWithPath(literal<"/Library/PreferenceBundles/twinlyprefs.bundle">());
    Ref<UI::Image> banner = UI::Image::withContentsOfFile(bundle.pathForResource(literal<"banner">(), literal<"png">()));
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
    objc::ClassBuilder("twinlyprefsListController", listControllerClass)
        .ivar<id>("settingsView")
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
}

} // namespace prefs
