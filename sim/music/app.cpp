#include "sim/music/app.hpp"

#include "sim/device_core/loader.hpp"
#include "sim/device_core/package.hpp"
#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/classes.hpp"
#include "sim/music/screens.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/process.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/platform/transcript.hpp"
#include "sim/uikit/collection_view.hpp"
#include "sim/uikit/layout_commit.hpp"
#include "sim/uikit/uikit.hpp"

namespace sim::music {

namespace {

LaunchOptions launchedWith;
// The options and the class names (appClass) that the classes were defined with.
std::optional<std::pair<LaunchOptions, std::string>> classesDefinedWith;

// The now-playing bar, which is always there and laid out only on request.
Ref<UI::View> marquee;
Ref<UI::View> transport;

void start() {
    ui::forgetSelection();
    startScreens();
    marquee = make<UI::View>("MPUMarqueeView");
    transport = make<UI::View>("MPUHalfTintedTransportButton");
    transcript("  Music: launched; the substrate loads the tweak");
}

void end() {
    endScreens();
    ui::endCommits();
    marquee = {};
    transport = {};
    media::abandonCompletions();
}

const App kMusic{"Music", start, end, true};

bool sameClasses(const std::pair<LaunchOptions, std::string>& a, const LaunchOptions& b) {
    return a.first.leftOut == b.leftOut && a.first.songCellHasOwnSetIsDisabled == b.songCellHasOwnSetIsDisabled &&
           a.second == appClass("Music.");
}

// Once per host process: an app of another release lacks the classes left out.
void defineClasses(const LaunchOptions& options) {
    for (const std::string& name : options.leftOut)
        if (objc::lookUpClass(name.c_str())) throw AppError("the class " + name + " exists already in this process");
    ui::classes.define(options.leftOut);
    media::classes.define(options.leftOut);
    classes.define(options.leftOut, appClass);
    if (options.songCellHasOwnSetIsDisabled) songCellOwnSetIsDisabled.define({}, appClass);
    classesDefinedWith = {options, appClass("Music.")};
}

UI::View requireBarView(const Ref<UI::View>& view, const char* className) {
    if (!running()) throw AppError("the Music app is not running");
    if (!view) throw AppError(std::string("this app has no ") + className);
    return view;
}

} // namespace

std::string LaunchOptions::defaultTweakPath() {
    return device::packagedPath("/Library/MobileSubstrate/DynamicLibraries/music.dylib").value_or(TWINLY_MUSIC_LIBRARY);
}

std::vector<std::string> classesALaunchCanLeaveOut() {
    std::vector<std::string> names = {"UICollectionView", "UICollectionViewCell"};
    for (const std::string& name : classes.classNames(appClass)) names.push_back(name);
    return names;
}

void launch(const LaunchOptions& options) {
    if (running()) throw AppError("the Music app is running already");
    if (classesDefinedWith && !sameClasses(*classesDefinedWith, options))
        throw AppError("the app's classes were defined with other options in this process");
    NS::AutoreleasePool pool;
    if (!classesDefinedWith) defineClasses(options);
    launchedWith = options;
    sim::launch(kMusic, {options.tweakPath});
}

void quit() {
    if (!running()) throw AppError("the Music app is not running");
    try {
        sim::quit(kMusic);
    } catch (const std::runtime_error& error) {
        throw AppError(error.what());
    }
}

void relaunch() {
    LaunchOptions options = launchedWith;
    quit();
    launch(options);
}

bool running() { return sim::running(kMusic); }

bool tweakLoaded() { return device::libraryLoaded(running() ? launchedWith.tweakPath : LaunchOptions::defaultTweakPath()); }

void layoutMarquee(MarqueeContent content, const std::string& text) {
    UI::View shown = requireBarView(marquee, "now-playing marquee (MPUMarqueeView)");
    NS::AutoreleasePool pool;
    handleEvent([&] {
        if (content == MarqueeContent::image) {
            setMarqueeContent(shown, make<UI::View>("UIView").get());
        } else {
            auto label = UI::Label::make(CGRect{});
            if (content == MarqueeContent::text) label->setText(NS::String::make(text.c_str()).get());
            setMarqueeContent(shown, label.get());
        }
        shown.send(sel<"setNeedsLayout">());
    });
}

UI::View transportButton() { return requireBarView(transport, "transport button (MPUHalfTintedTransportButton)"); }

void layoutTransport() {
    UI::View shown = transportButton();
    handleEvent([&] { shown.send(sel<"setNeedsLayout">()); });
}
bool transportInteractive() { return transportButton().isUserInteractionEnabled(); }

} // namespace sim::music
