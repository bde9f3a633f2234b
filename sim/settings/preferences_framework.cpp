#include "sim/settings/preferences_framework.hpp"

#include "objc/system.hpp"
#include "sim/platform/ivars.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/transcript.hpp"
#include "sim/settings/preferences_daemon.hpp"
#include "sim/uikit/uikit.hpp"


struct objc_protocol;

extern "C" {
// GNU's runtime has no public way to make a protocol at run time; this is how its loader records
// the protocols of compiled code. The layout below is its struct objc_protocol.
void __objc_protocols_add_protocol(const char* name, objc_protocol* protocol);
BOOL class_conformsToProtocol(Class cls, objc_protocol* protocol);
objc_protocol* objc_getProtocol(const char* name);
}

namespace sim::settings {
namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

constexpr const char* kCustomViewProtocol = "PreferencesTableCustomView";
constexpr CGFloat kRowHeight = 44;

struct GnuProtocol {
    Class isa;
    const char* name;
    void* adoptedProtocols;
    void* instanceMethods;
    void* classMethods;
};

void defineCustomViewProtocol() {
    if (objc_getProtocol(kCustomViewProtocol)) return;
    static GnuProtocol protocol{objc::lookUpClass("Protocol"), kCustomViewProtocol, nullptr, nullptr, nullptr};
    __objc_protocols_add_protocol(kCustomViewProtocol, reinterpret_cast<objc_protocol*>(&protocol));
}

bool adoptsCustomView(Class cls) {
    objc_protocol* protocol = objc_getProtocol(kCustomViewProtocol);
    for (; cls; cls = class_getSuperclass(cls))
        if (class_conformsToProtocol(cls, protocol)) return true;
    return false;
}

// PSSpecifier

Ref<Object> makeSpecifier(Object properties, id target) {
    Object allocated(NS::classNamed("PSSpecifier").send<id>(sel<"alloc">()));
    Ref<Object> specifier = Ref<Object>::adopt(allocated.send<Object>(sel<"init">()));
    Ref<Object> copy = Ref<Object>::adopt(properties.send<Object>(sel<"mutableCopy">()));
    assignObject(specifier.get().raw, "_properties", copy.get().raw);
    objectField(specifier.get().raw, "_target") = target;
    return specifier;
}

id specifierPropertyForKey(id self, SEL, id key) {
    return NS::Dictionary(objectField(self, "_properties")).valueForKey(NS::String(key)).raw;
}

void specifierSetPropertyForKey(id self, SEL, id value, id key) {
    NS::MutableDictionary(objectField(self, "_properties")).setObjectForKey(Object(value), NS::String(key));
}

// PSListController

struct ListState {
    struct Kept {
        Ref<Object> specifier;
        Ref<UI::View> cell;
        CGFloat height;
    };
    std::vector<Kept> rows;
};

ListState& listState(id self) { return stateOf<ListState>(Object(self), "_simRows"); }

// The framework's own: the bundle of the receiver's class, which for a class built at run time is
// the main bundle (sim/platform/bundle_for_class.hpp).
id listControllerBundle(id self, SEL) {
    return NS::classNamed("NSBundle").send<id>(sel<"bundleForClass:">(), Object(self).send<Class>(sel<"class">()));
}

// A bundle as the transcript names it: its device path, or the Settings app's main bundle.
std::string describeBundle(Object bundle) {
    if (!bundle) return "no bundle";
    if (bundle == NS::classNamed("NSBundle").send<Object>(sel<"mainBundle">())) return "the Settings app's main bundle";
    std::string path = sim::text(bundle.send<NS::String>(sel<"bundlePath">())).value_or("");
    const std::string& root = rootFolder();
    if (!root.empty() && path.compare(0, root.size(), root) == 0) path.erase(0, root.size());
    return path;
}

id listControllerLoadSpecifiersFromBundle(id self, SEL, id name, id target, id bundle) {
    auto fileName = sim::text(NS::String(name));
    auto folder = sim::text(Object(bundle).send<NS::String>(sel<"bundlePath">()));
    if (!fileName || !folder) return nullptr;
    // At the bundle's top, read afresh at every call (GNUstep's pathForResource:ofType: would keep
    // the first answer for a file that is missing).
    NS::String path = string(*folder + "/" + *fileName + ".plist");
    NS::Dictionary list = NS::MutableDictionary::dictionaryWithContentsOfFile(path);
    Object items = list.valueForKey(string("items"));
    // The list's "title" becomes the page's, which the navigation bar shows.
    if (Object title = list.valueForKey(string("title"))) Object(self).send(sel<"setTitle:">(), title);
    transcript("  Preferences: the list \"" + *fileName + "\" of " + describeBundle(Object(bundle)) +
               (items ? " is read" : " cannot be read"));
    if (!items) return nullptr;
    Ref<NS::MutableArray> specifiers = NS::MutableArray::make();
    for (Object item : NS::each<Object>(items)) specifiers->addObject(makeSpecifier(item, target));
    return autoreleased(specifiers).raw;
}

// From the controller's `bundle`, as the framework does.
id listControllerLoadSpecifiers(id self, SEL, id name, id target) {
    return Object(self).send<id>(sel<"loadSpecifiersFromPlistName:target:bundle:">(), name, target,
                                 Object(self).send<id>(sel<"bundle">()));
}

id listControllerSpecifiers(id self, SEL) { return objectField(self, "_specifiers"); }

void listControllerLoadView(id self, SEL) {
    CGRect screen = UI::Screen::mainScreen().bounds();
    Object allocated(NS::classNamed("UITableView").send<id>(sel<"alloc">()));
    Ref<UI::View> table = Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"initWithFrame:">(), screen));
    assignObject(self, "_table", table.get().raw);
    Object(self).send(sel<"setView:">(), table.get());
}

Ref<UI::View> makeCell(Object specifier, CGFloat tableWidth, CGFloat& height) {
    std::string type = property(specifier, "cell");
    std::string className = property(specifier, "cellClass");
    if (className.empty()) className = type == "PSSwitchCell" ? "PSSwitchTableCell" : "PSTableCell";
    Class cls = objc::lookUpClass(className.c_str());
    Object allocated(objc::classObject(cls).send<id>(sel<"alloc">()));
    height = kRowHeight;
    if (adoptsCustomView(cls)) {
        Ref<UI::View> cell = Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"initWithSpecifier:">(), specifier));
        if (cell.get().respondsToSelector(sel<"preferredHeightForWidth:">()))
            height = cell.get().send<CGFloat>(sel<"preferredHeightForWidth:">(), tableWidth);
        return cell;
    }
    return Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"initWithStyle:reuseIdentifier:specifier:">(), NSInteger(0),
                                                         string(type), specifier));
}

// Lays the rows out one under the other below the header, as the table shows them.
void showRows(id self) {
    ListState& state = listState(self);
    for (auto& row : state.rows) row.cell.get().send(sel<"removeFromSuperview">());
    state.rows.clear();
    UI::View table(objectField(self, "_table"));
    CGFloat width = table.bounds().size.width;
    CGFloat y = UI::View(table.send<id>(sel<"tableHeaderView">())).frame().size.height;
    for (Object specifier : NS::each<Object>(Object(self).send<Object>(sel<"specifiers">()))) {
        if (property(specifier, "cell") == "PSGroupCell") {
            state.rows.push_back({Ref<Object>::retain(specifier), {}, 0});
            continue;
        }
        CGFloat height;
        Ref<UI::View> cell = makeCell(specifier, width, height);
        if (!property(specifier, "key").empty() && cell.get().respondsToSelector(sel<"setValue:">()))
            cell.get().send(sel<"setValue:">(), Object(self).send<id>(sel<"readPreferenceValue:">(), specifier));
        cell.get().send(sel<"setFrame:">(), CGRect{{0, y}, {width, height}});
        table.addSubview(cell);
        y += height;
        state.rows.push_back({Ref<Object>::retain(specifier), cell, height});
    }
}

void listControllerViewWillAppear(id self, SEL selector, BOOL animated) {
    objc::sendSuper<void>(self, superclassOf("PSListController"), selector, animated);
    showRows(self);
}

void listControllerSetPreferenceValue(id, SEL, id value, id specifier) {
    std::string domain = property(Object(specifier), "defaults");
    std::string key = property(Object(specifier), "key");
    if (domain.empty() || key.empty()) return;
    setPreference(domain, string(key), Object(value));
    std::string notification = property(Object(specifier), "PostNotification");
    if (!notification.empty())
        CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                             sys::cfString(string(notification)), nullptr, nullptr, YES);
}

id listControllerReadPreferenceValue(id, SEL, id specifier) {
    std::string domain = property(Object(specifier), "defaults");
    std::string key = property(Object(specifier), "key");
    Object value;
    if (!domain.empty() && !key.empty()) value = preferenceValue(domain, string(key));
    return value ? value.raw : Object(specifier).send<id>(sel<"propertyForKey:">(), string("default"));
}

void listControllerDealloc(id self, SEL selector) {
    destroyState<ListState>(Object(self), "_simRows");
    deallocReleasing<"PSListController", "_specifiers", "_table">(self, selector);
}

// PSTableCell and PSSwitchTableCell

id tableCellInit(id self, SEL, NSInteger style, id reuseIdentifier, id specifier) {
    self = objc::sendSuper<id>(self, superclassOf("PSTableCell"), sel<"initWithStyle:reuseIdentifier:">(), style,
                               reuseIdentifier);
    if (self) assignObject(self, "_specifier", specifier);
    return self;
}

void tableCellSetValue(id, SEL, id) {}

id switchCellInit(id self, SEL selector, NSInteger style, id reuseIdentifier, id specifier) {
    self = objc::sendSuper<id>(self, superclassOf("PSSwitchTableCell"), selector, style, reuseIdentifier, specifier);
    if (self == nullptr) return nullptr;
    Object allocated(NS::classNamed("UISwitch").send<id>(sel<"alloc">()));
    Ref<UI::View> control = Ref<UI::View>::adopt(allocated.send<UI::View>(sel<"initWithFrame:">(), CGRect{{255, 6}, {51, 31}}));
    assignObject(self, "_control", control.get().raw);
    UI::View(self).addSubview(control);
    return self;
}

void switchCellSetValue(id self, SEL, id value) {
    Object(objectField(self, "_control")).send(sel<"setOn:">(), NS::boolValue(Object(value)));
}

// The switch's target and action in UIKit: the new state goes to the row's target.
void switchCellControlChanged(id self, SEL, id control) {
    Object specifier(objectField(self, "_specifier"));
    Object number(NS::classNamed("NSNumber").send<id>(sel<"numberWithBool:">(), Object(control).send<BOOL>(sel<"isOn">())));
    Object(objectField(specifier.raw, "_target")).send(sel<"setPreferenceValue:specifier:">(), number, specifier);
}

} // namespace

std::string property(Object specifier, const char* key) {
    Object value = specifier.send<Object>(sel<"propertyForKey:">(), string(key));
    if (!value.isKindOfClass(objc::lookUpClass("NSString"))) return "";
    return sim::text(NS::String(value.raw)).value_or("");
}

std::vector<Row> rowsOf(Object listController) {
    std::vector<Row> rows;
    for (auto& kept : listState(listController.raw).rows) rows.push_back({kept.specifier, kept.cell, kept.height});
    return rows;
}

void definePreferencesFramework() {
    defineCustomViewProtocol();
    ClassNames none;
    defineClass("PSSpecifier", "NSObject", none, [](objc::ClassBuilder& specifier) {
        specifier.ivar<id>("_properties")
            .ivar<id>("_target")
            .method<specifierPropertyForKey>(sel<"propertyForKey:">())
            .method<specifierSetPropertyForKey>(sel<"setProperty:forKey:">())
            .method<getObject<"_target">>(sel<"target">())
            .method<deallocReleasing<"PSSpecifier", "_properties">>(sel<"dealloc">());
    });
    defineClass("PSListController", "UIViewController", none, [](objc::ClassBuilder& controller) {
        controller.ivar<id>("_specifiers")
            .ivar<id>("_table")
            .ivar<void*>("_simRows")
            .method<listControllerSpecifiers>(sel<"specifiers">())
            .method<listControllerBundle>(sel<"bundle">())
            .method<listControllerLoadSpecifiers>(sel<"loadSpecifiersFromPlistName:target:">())
            .method<listControllerLoadSpecifiersFromBundle>(sel<"loadSpecifiersFromPlistName:target:bundle:">())
            .method<getObject<"_table">>(sel<"table">())
            .method<listControllerLoadView>(sel<"loadView">())
            .method<listControllerViewWillAppear>(sel<"viewWillAppear:">())
            .method<listControllerSetPreferenceValue>(sel<"setPreferenceValue:specifier:">())
            .method<listControllerReadPreferenceValue>(sel<"readPreferenceValue:">())
            .method<listControllerDealloc>(sel<"dealloc">());
    });
    defineClass("PSTableCell", "UITableViewCell", none, [](objc::ClassBuilder& cell) {
        cell.ivar<id>("_specifier")
            .method<tableCellInit>(sel<"initWithStyle:reuseIdentifier:specifier:">())
            .method<tableCellSetValue>(sel<"setValue:">())
            .method<deallocReleasing<"PSTableCell", "_specifier">>(sel<"dealloc">());
    });
    defineClass("PSSwitchTableCell", "PSTableCell", none, [](objc::ClassBuilder& cell) {
        cell.ivar<id>("_control")
            .method<switchCellInit>(sel<"initWithStyle:reuseIdentifier:specifier:">())
            .method<getObject<"_control">>(sel<"control">())
            .method<switchCellSetValue>(sel<"setValue:">())
            .method<switchCellControlChanged>(sel<"controlChanged:">())
            .method<deallocReleasing<"PSSwitchTableCell", "_control">>(sel<"dealloc">());
    });
}

} // namespace sim::settings
