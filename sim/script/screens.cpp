#include "sim/script/screens.hpp"

#include "sim/music/app.hpp"
#include "sim/platform/process.hpp"
#include "sim/screens/picture.hpp"
#include "sim/settings/app.hpp"

#include <cstdio>
#include <iostream>

namespace sim {
namespace {

struct Recorder {
    std::string folder;
    std::string scenario;
    int pictures = 0;
    std::optional<screens::MusicScreen> music;
    std::optional<screens::SettingsScreen> settings;
    bool settingsInFront = false;
    std::optional<screens::Screen> drawn;
};
std::optional<Recorder> recorder;

screens::Screen deviceScreen() {
    UI::Screen main = UI::Screen::mainScreen();
    CGSize size = main.bounds().size;
    return {.device = runningDevice().model->name, .width = size.width, .height = size.height,
            .scale = main.send<CGFloat>(objc::sel<"scale">())};
}

} // namespace

void recordScreensInto(const std::string& folder, const std::string& scenario) {
    recorder.emplace();
    recorder->folder = folder;
    recorder->scenario = scenario;
}

void recordScreen() {
    if (!recorder) return;
    std::optional<screens::MusicScreen> music = music::screenShown();
    std::optional<screens::SettingsScreen> settings = settings::screenShown();
    if (settings != recorder->settings) recorder->settingsInFront = settings.has_value();
    else if (music != recorder->music && music) recorder->settingsInFront = false;
    recorder->music = music;
    recorder->settings = settings;

    screens::Screen screen = deviceScreen();
    if (settings && (recorder->settingsInFront || !music)) screen.shown = *settings;
    else if (music) screen.shown = *music;
    else return;
    if (screen == recorder->drawn) return;
    recorder->drawn = screen;
    char name[32];
    std::snprintf(name, sizeof name, "-%02d.png", ++recorder->pictures);
    std::string path = recorder->folder + "/" + recorder->scenario + name;
    screens::writePicture(screen, path);
    std::cout << "  picture: " << path << '\n';
}

} // namespace sim
