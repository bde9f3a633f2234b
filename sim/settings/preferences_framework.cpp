#include "sim/settings/preferences_framework.hpp"

#include "objc/system.hpp"
#include "sim/platform/objects.hpp"
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

constinit Catalogue classes{Threads::any};

namespace {

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

// ---- PSSpecifier: a row, its property-list entry and its target ----

struct SpecifierState {
    Ref<Object> properties; // a mutable copy of the entry
    id target = nullptr;    // not retained
};

id specifierPropertyForKey(id self, SEL, id key) {
    return NS::Dictionary(state<SpecifierState>(self).properties.get().raw).valueForKey(NS::String(key)).raw;
}
void specifierSetPropertyForKey(id self, SEL, id value, id key) {
    NS::MutableDictionary(state<SpecifierState>(self).properties.get().raw).setObjectForKey(Object(value), NS::String(key));
}

const StandIn<SpecifierState> kPSSpecifier{classes, "PSSpecifier", "NSObject",
                                           {method<specifierPropertyForKey>("propertyForKey:"),
                                            method<specifierSetPropertyForKey>("setProperty:forKey:"),
                                            getter<&SpecifierState::target>("target")}};

// ---- PSListController ----

struct ListState {
    struct Kept {
        Ref<Object> specifier;
        Ref<UI::View> cell;
        CGFloat height;
    };
    Ref<UI::View> table;
    std::vector<Kept> rows;
};
ListState& listState(id self) { return state<ListState>(self); }

// The framework's own: the bundle of the receiver's class, which for a class built at run time is
// the main bundle (sim/platform/bundle_for_class.hpp).
id listControllerBundle(id self, SEL) {
    return NS::classNamed("NSBundle").send<id>(sel<"bundleForClass:">(), Object(self).send<Class>(sel<"class">()));
}

// A bundle as the transcript names it: its device path, or the Settings app's main bundle.
std::string describeBundle(Object bundle) {
    if (!bundle) return "no bundle";
    if (bundle == NS::classNamed("NSBundle").send<Object>(sel<"mainBundle">())) return "the Settings app's main bundle";
    std::string path = text(bundle.send<NS::String>(sel<"bundlePath">())).value_or("");
    const std::string& root = rootFolder();
    if (!root.empty() && path.compare(0, root.size(), root) == 0) path.erase(0, root.size());
    return path;
}

// The rows of that property list of the bundle given; nil when it cannot be read. Either way a line
// of the transcript says which bundle. The list's "title" becomes the page's, which the navigation
// bar shows.
id listControllerLoadSpecifiersFromBundle(id self, SEL, id name, id target, id bundle) {
    auto fileName = text(NS::String(name));
    auto folder = text(Object(bundle).send<NS::String>(sel<"bundlePath">()));
    if (!fileName || !folder) return nullptr;
    // At the bundle's top, read afresh at every call (GNUstep's pathForResource:ofType: would keep
    // the first answer for a file that is missing).
    NS::String path = string(*folder + "/" + *fileName + ".plist");
    NS::Dictionary list = NS::MutableDictionary::dictionaryWithContentsOfFile(path);
    Object items = list.valueForKey(string("items"));
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

// A UITableView as wide as the screen.
void listControllerLoadView(id self, SEL) {
    listState(self).table = ui::makeView<UI::View>("UITableView", UI::Screen::mainScreen().bounds());
    Object(self).send(sel<"setView:">(), listState(self).table.get());
}

// A row's cell is made from its "cellClass", else from its "cell" type; a class that adopts
// PreferencesTableCustomView is made with initWithSpecifier: and asked for its height.
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
    ListState& list = listState(self);
    for (auto& row : list.rows) row.cell->send(sel<"removeFromSuperview">());
    list.rows.clear();
    UI::View table = list.table.get();
    CGFloat width = table.bounds().size.width;
    CGFloat y = UI::View(table.send<id>(sel<"tableHeaderView">())).frame().size.height;
    for (Object specifier : NS::each<Object>(Object(self).send<Object>(sel<"specifiers">()))) {
        if (property(specifier, "cell") == "PSGroupCell") {
            list.rows.push_back({Ref<Object>::retain(specifier), {}, 0});
            continue;
        }
        CGFloat height;
        Ref<UI::View> cell = makeCell(specifier, width, height);
        if (!property(specifier, "key").empty() && cell.get().respondsToSelector(sel<"setValue:">()))
            cell.get().send(sel<"setValue:">(), Object(self).send<id>(sel<"readPreferenceValue:">(), specifier));
        cell.get().send(sel<"setFrame:">(), CGRect{{0, y}, {width, height}});
        table.addSubview(cell);
        y += height;
        list.rows.push_back({Ref<Object>::retain(specifier), cell, height});
    }
}

void listControllerViewWillAppear(id self, SEL selector, BOOL animated) {
    objc::sendSuper<void>(self, objc::lookUpClass("UIViewController"), selector, animated);
    showRows(self);
}

// Hands the value to the preferences daemon and posts the row's PostNotification.
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

// The daemon's value, else the row's "default".
id listControllerReadPreferenceValue(id, SEL, id specifier) {
    std::string domain = property(Object(specifier), "defaults");
    std::string key = property(Object(specifier), "key");
    Object value;
    if (!domain.empty() && !key.empty()) value = preferenceValue(domain, string(key));
    return value ? value.raw : Object(specifier).send<id>(sel<"propertyForKey:">(), string("default"));
}

const StandIn<ListState> kPSListController{
    classes, "PSListController", "UIViewController",
    {method<listControllerBundle>("bundle"),
     method<listControllerLoadSpecifiers>("loadSpecifiersFromPlistName:target:"),
     method<listControllerLoadSpecifiersFromBundle>("loadSpecifiersFromPlistName:target:bundle:"),
     getter<&ListState::table>("table"),
     method<listControllerLoadView>("loadView"),
     method<listControllerViewWillAppear>("viewWillAppear:"),
     method<listControllerSetPreferenceValue>("setPreferenceValue:specifier:"),
     method<listControllerReadPreferenceValue>("readPreferenceValue:")},
    Threads::ofCatalogue,
    {"_specifiers"}};

// ---- PSTableCell and PSSwitchTableCell ----

struct TableCellState {
    Ref<Object> specifier;
};

id tableCellInit(id self, SEL, NSInteger style, id reuseIdentifier, id specifier) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("UITableViewCell"), sel<"initWithStyle:reuseIdentifier:">(), style,
                               reuseIdentifier);
    if (self) state<TableCellState>(self).specifier = Ref<Object>::retain(Object(specifier));
    return self;
}
const StandIn<TableCellState> kPSTableCell{classes, "PSTableCell", "UITableViewCell",
                                           {method<tableCellInit>("initWithStyle:reuseIdentifier:specifier:")}};

struct SwitchCellState {
    Ref<UI::View> control;
};

id switchCellInit(id self, SEL selector, NSInteger style, id reuseIdentifier, id specifier) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("PSTableCell"), selector, style, reuseIdentifier, specifier);
    if (self == nullptr) return nullptr;
    Ref<UI::View>& control = state<SwitchCellState>(self).control;
    control = ui::makeView<UI::View>("UISwitch", CGRect{{255, 6}, {51, 31}});
    UI::View(self).addSubview(control);
    return self;
}
void switchCellSetValue(id self, SEL, id value) {
    state<SwitchCellState>(self).control->send(sel<"setOn:">(), NS::boolValue(Object(value)));
}
// The switch's target and action in UIKit: the new state goes to the row's target.
void switchCellControlChanged(id self, SEL, id control) {
    Object specifier = state<TableCellState>(self).specifier.get();
    Object number(NS::classNamed("NSNumber").send<id>(sel<"numberWithBool:">(), Object(control).send<BOOL>(sel<"isOn">())));
    specifier.send<Object>(sel<"target">()).send(sel<"setPreferenceValue:specifier:">(), number, specifier);
}

const StandIn<SwitchCellState> kPSSwitchTableCell{classes, "PSSwitchTableCell", "PSTableCell",
                                                  {method<switchCellInit>("initWithStyle:reuseIdentifier:specifier:"),
                                                   getter<&SwitchCellState::control>("control"),
                                                   method<switchCellSetValue>("setValue:"),
                                                   method<switchCellControlChanged>("controlChanged:")}};

} // namespace

std::string property(Object specifier, const char* key) {
    Object value = specifier.send<Object>(sel<"propertyForKey:">(), string(key));
    if (!value.isKindOfClass(objc::lookUpClass("NSString"))) return "";
    return text(NS::String(value.raw)).value_or("");
}

Ref<Object> makeSpecifier(Object properties, id target) {
    Ref<Object> specifier = make<Object>("PSSpecifier");
    state<SpecifierState>(specifier.get().raw) = {Ref<Object>::adopt(properties.send<Object>(sel<"mutableCopy">())), target};
    return specifier;
}

std::vector<Row> rowsOf(Object listController) {
    std::vector<Row> rows;
    for (auto& kept : listState(listController.raw).rows) rows.push_back({kept.specifier, kept.cell, kept.height});
    return rows;
}

void definePreferencesFramework() {
    defineCustomViewProtocol();
    classes.define();
}

} // namespace sim::settings
