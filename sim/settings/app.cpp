#include "sim/settings/app.hpp"

#include "sim/device_core/loader.hpp"
#include "sim/device_core/package.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/process.hpp"
#include "sim/platform/root.hpp"
#include "sim/platform/spawn.hpp"
#include "sim/platform/transcript.hpp"
#include "sim/settings/preferences_daemon.hpp"
#include "sim/uikit/layout_commit.hpp"
#include "sim/uikit/uikit.hpp"

#include <filesystem>

namespace sim::settings {
namespace {

namespace fs = std::filesystem;

// The Settings app's own window, which has no tint of its own, and the page on screen.
Ref<UI::Window> window;
Ref<PS::ListController> shownPage;

void start() {
    window = ui::makeView<UI::Window>("UIWindow", UI::Screen::mainScreen().bounds());
}

// Its page goes without its disappearance, as the process ends.
void end() {
    shownPage = {};
    window = {};
    ui::endCommits();
}

const App kSettings{"Settings", start, end, false};

// The principal class of the loaded bundle.
Class principalClass;

std::string bundleFile(const char* name) { return hostPath(std::string(kBundlePath) + "/" + name); }

// As the Settings app loads a preference bundle: its executable, then the principal class of its
// Info.plist. One that the loader refuses leaves its row in place and its page unopened, as the
// Settings app does when NSBundle's load fails: false.
bool loadBundle() {
    installBundle();
    try {
        load(kSettings, bundleFile("twinlyprefs"));
    } catch (const device::LoadError& error) {
        transcript(std::string("  Settings: the bundle did not load: ") + error.what());
        return false;
    }
    if (principalClass) return true;
    NS::Dictionary info = NS::MutableDictionary::dictionaryWithContentsOfFile(string(std::string(kBundlePath) + "/Info.plist"));
    auto name = text(NS::String(info.valueForKey(string("NSPrincipalClass")).raw));
    principalClass = name ? objc::lookUpClass(name->c_str()) : nullptr;
    if (principalClass == nullptr) throw ScriptError("the bundle's principal class does not exist");
    return true;
}

// The Settings app comes to the front, started if it was not running.
void bringToFront() {
    if (!running(kSettings)) {
        // Defined classes stay for the run, so a running app has them already.
        ui::classes.define();
        definePreferencesFramework();
        launch(kSettings, {});
    }
    ui::setKeyWindow(window);
}

Row rowWithLabel(const std::string& label) {
    for (const Row& row : rowsOf(shownPage.get()))
        if (row.cell && property(row.specifier, "label") == label) return row;
    return Row{};
}

// A row as the page shows it: a group, or a cell with what it holds.
screens::SettingsRow settingsRow(const Row& row) {
    using Kind = screens::SettingsRow::Kind;
    screens::SettingsRow shown{.kind = Kind::group, .label = property(row.specifier, "label"),
                               .footer = property(row.specifier, "footerText"), .height = row.height};
    if (!row.cell) return shown;
    shown.kind = !property(row.specifier, "action").empty() ? Kind::button : Kind::cell;
    if (row.cell.respondsToSelector(sel<"control">())) {
        Object control = row.cell.send<Object>(sel<"control">());
        shown.kind = Kind::switchCell;
        shown.on = control.send<BOOL>(sel<"isOn">());
        shown.onTint = ui::componentsOf(control.send<Object>(sel<"onTintColor">()));
    }
    for (Object view : NS::each<Object>(row.cell.send<Object>(sel<"subviews">()))) {
        if (!view.isKindOfClass(UI::labelClass())) continue;
        UI::Label label(view.raw);
        Object font = label.send<Object>(sel<"font">());
        shown.labels.push_back({.text = text(label.text()).value_or(""),
                                .font = text(font.send<NS::String>(sel<"fontName">())).value_or(""),
                                .size = font.send<CGFloat>(sel<"pointSize">()),
                                .color = ui::componentsOf(label.send<Object>(sel<"textColor">())).value_or(screens::Color{}),
                                .alignment = label.send<NSInteger>(sel<"textAlignment">()),
                                .frame = ui::rectOf(label.frame())});
    }
    return shown;
}

} // namespace

std::optional<screens::SettingsScreen> screenShown() {
    PS::ListController shown = shownPage.get();
    if (!shown) return std::nullopt;
    screens::SettingsScreen screen;
    screen.title = text(shown.send<NS::String>(sel<"title">()));
    screen.rightButton = text(shown.navigationItem().send<Object>(sel<"rightBarButtonItem">()).send<NS::String>(sel<"title">()));
    screen.tint = keyWindowTint();
    UI::View header = shown.send<UI::View>(sel<"table">()).send<UI::View>(sel<"tableHeaderView">());
    screen.header = ui::rectOf(header.frame());
    if (header.send<Object>(sel<"image">())) screen.headerImage = bundleFile("banner.png");
    for (const Row& row : rowsOf(shown)) screen.rows.push_back(settingsRow(row));
    return screen;
}

void installBundle() {
    if (fs::exists(bundleFile("Info.plist"))) return;
    fs::path bundle = bundleFile("");
    fs::create_directories(bundle);
    auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
    if (auto packaged = device::packagedPath(kBundlePath)) {
        fs::copy(*packaged, bundle, options);
        return;
    }
    fs::copy(TWINLY_PREFS_RESOURCES, bundle, options);
    fs::copy_file(TWINLY_PREFS_EXECUTABLE, bundle / "twinlyprefs", fs::copy_options::overwrite_existing);
}

void replaceBanner(std::optional<ui::PixelSize> size) {
    installBundle();
    if (size) ui::writePng(bundleFile("banner.png"), *size);
    else fs::remove(bundleFile("banner.png"));
}

void openPage() {
    bringToFront();
    if (shownPage) closePage();
    if (!loadBundle()) return;
    Object allocated(objc::classObject(principalClass).send<id>(sel<"alloc">()));
    Ref<PS::ListController> page = Ref<PS::ListController>::adopt(allocated.send<PS::ListController>(sel<"init">()));
    if (!page) throw ScriptError("the bundle's page did not initialise");
    page->send<id>(sel<"specifiers">());
    page->view();
    window->send(sel<"setRootViewController:">(), page.get());
    page->send(sel<"viewWillAppear:">(), NO);
    page->send(sel<"viewDidAppear:">(), NO);
    shownPage = page;
}

void closePage() {
    Ref<PS::ListController> page = shownPage;
    if (!page) throw ScriptError("no settings page is on screen");
    bringToFront();
    page->send(sel<"viewWillDisappear:">(), NO);
    page->send(sel<"viewDidDisappear:">(), NO);
    window->send(sel<"setRootViewController:">(), nullptr);
    shownPage = {};
}

PS::ListController page() { return shownPage.get(); }

std::optional<Row> switchRow(const std::string& key) {
    for (const Row& row : rowsOf(shownPage.get()))
        if (row.cell && property(row.specifier, "key") == key && row.cell.respondsToSelector(sel<"control">())) return row;
    return std::nullopt;
}

void flipSwitch(const std::string& key, bool on) {
    std::optional<Row> row = switchRow(key);
    if (!row) throw ScriptError("no switch row on screen stores \"" + key + "\"");
    bringToFront();
    Object control = row->cell.send<Object>(sel<"control">());
    control.send(sel<"setOn:">(), BOOL(on));
    row->cell.send(sel<"controlChanged:">(), control);
}

void tap(const std::string& label) {
    if (!shownPage) throw ScriptError("no settings page is on screen");
    bringToFront();
    size_t spawnsBefore = spawns().size();
    if (Row row = rowWithLabel(label); row.cell) {
        std::string action = property(row.specifier, "action");
        if (!action.empty())
            row.specifier.send<Object>(sel<"target">()).send(sel_registerName(action.c_str()));
    } else {
        Object button = shownPage->navigationItem().send<Object>(sel<"rightBarButtonItem">());
        if (text(button.send<NS::String>(sel<"title">())) != label)
            throw ScriptError("no row or bar button \"" + label + "\" on the settings page");
        button.send<Object>(sel<"target">()).send(button.send<SEL>(sel<"action">()));
    }
    if (spawns().size() == spawnsBefore) return;
    const Spawn& spawn = spawns().back();
    std::string command = spawn.path;
    for (const std::string& argument : spawn.arguments) command += " " + argument;
    transcript("  Settings: spawned " + command + (spawn.reaped ? ", waited for it" : ""));
    // backboardd ends: every app goes, and the Music app, if it was running, starts again.
    if (spawn.reaped && spawn.path == "/usr/bin/killall" && spawn.arguments == std::vector<std::string>{"killall", "backboardd"})
        respring();
}

std::optional<ui::Rgba> keyWindowTint() {
    return ui::componentsOf(UI::Application::sharedApplication().keyWindow().send<Object>(sel<"tintColor">()));
}

bool bundleLoaded() { return principalClass != nullptr; }

void resetApp() {
    if (running(kSettings)) quit(kSettings);
    ui::setScreenWidth(std::nullopt);
    resetSpawns();
    forgetPendingPreferences();
}

} // namespace sim::settings
