// UIKit's application object and main screen, and the end of the process that holds them.
#include "sim/platform/objects.hpp"
#include "sim/platform/process.hpp"
#include "sim/uikit/collection_view.hpp"
#include "sim/uikit/layout_commit.hpp"
#include "sim/uikit/uikit.hpp"

namespace sim::ui {

constinit Catalogue classes{Threads::main};

namespace {

struct ApplicationState {
    Ref<UI::Window> keyWindow;
    std::optional<std::string> lastOpenedURL;
};
ApplicationState& application() {
    static ApplicationState running;
    return running;
}

id applicationShared(id cls, SEL) {
    static id shared = Object(cls).send<id>(sel<"new">());
    return shared;
}
id applicationKeyWindow(id, SEL) { return application().keyWindow.get().raw; }
// Recorded; every URL opens.
BOOL applicationOpenURL(id, SEL, id url) {
    application().lastOpenedURL = text(Object(url).send<NS::String>(sel<"absoluteString">()));
    return YES;
}

const StandIn<> kUIApplication{classes, "UIApplication", "UIResponder",
                               {classMethod<applicationShared>("sharedApplication"),
                                method<applicationKeyWindow>("keyWindow"),
                                method<applicationOpenURL>("openURL:")}};

std::optional<CGFloat> screenWidth;

id screenMain(id cls, SEL) {
    static id main = Object(cls).send<id>(sel<"new">());
    return main;
}
CGRect screenBounds(id, SEL) {
    const device::Screen& screen = runningDevice().model->screen;
    return CGRect{{0, 0}, {screenWidth.value_or(screen.width), screen.height}};
}
CGFloat screenScale(id, SEL) { return runningDevice().model->screen.scale; }

const StandIn<> kUIScreen{classes, "UIScreen", "NSObject",
                          {classMethod<screenMain>("mainScreen"), method<screenBounds>("bounds"),
                           method<screenScale>("scale")}};

} // namespace

void setScreenWidth(std::optional<CGFloat> width) { screenWidth = width; }

std::optional<std::string> lastOpenedURL() { return application().lastOpenedURL; }

void setKeyWindow(UI::Window keyWindow) { application().keyWindow = Ref<UI::Window>::retain(keyWindow); }

void endProcess() {
    dismissAll();
    forgetSelection();
    endCommits();
    application() = ApplicationState();
}

} // namespace sim::ui
