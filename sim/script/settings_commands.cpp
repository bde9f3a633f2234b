// The Settings app's commands and expectations of the scenario language.
#include "sim/platform/objects.hpp"
#include "sim/platform/spawn.hpp"
#include "sim/script/script.hpp"
#include "sim/settings/app.hpp"
#include "sim/uikit/uikit.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sim {
namespace {

using objc::Object;
using objc::sel;

const std::vector<std::string>& expectations() {
    static const std::vector<std::string> words = {"banner", "tint", "switch", "spawned", "opened", "heading"};
    return words;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

[[noreturn]] void fail(const std::string& message) { throw ScriptError(message); }

void expectCount(const Line& line, size_t count, const char* usage) {
    if (line.tokens.size() != count) fail(std::string("usage: ") + usage);
}

const std::string& word(const Line& line, size_t index, const char* usage) {
    if (index >= line.tokens.size() || line.tokens[index].quoted) fail(std::string("usage: ") + usage);
    return line.tokens[index].text;
}

const std::string& string(const Line& line, size_t index, const char* usage) {
    if (index >= line.tokens.size() || !line.tokens[index].quoted) fail(std::string("usage: ") + usage);
    return line.tokens[index].text;
}

double number(const std::string& text, const char* usage) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) fail(std::string("usage: ") + usage);
    return value;
}

// The banner is written out pixel by pixel, uncompressed: keep it to what a screen shows.
constexpr double kMaxBannerPixels = 16e6;

uint32_t side(const std::string& text, const char* usage) {
    double value = number(text, usage);
    if (value < 0 || value != std::floor(value) || value > kMaxBannerPixels)
        fail("a banner side is a whole number of pixels: " + text);
    return uint32_t(value);
}

bool onOff(const std::string& text, const char* usage) {
    if (text != "on" && text != "off") fail(std::string("usage: ") + usage);
    return text == "on";
}

PS::ListController requirePage() {
    PS::ListController page = settings::page();
    if (!page) fail("no settings page is on screen");
    return page;
}

std::string format(double value) {
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text;
}

double bannerHeight() { return requirePage().send<UI::View>(sel<"table">()).send<UI::View>(sel<"tableHeaderView">()).frame().size.height; }

// The heading row's lines: the labels of the page's first cell, top to bottom.
std::vector<std::string> headingLines() {
    for (const settings::Row& row : settings::rowsOf(requirePage())) {
        if (!row.cell) continue;
        std::vector<std::pair<CGFloat, std::string>> labels;
        for (Object view : NS::each<Object>(row.cell.send<Object>(sel<"subviews">())))
            if (view.isKindOfClass(UI::labelClass()))
                labels.push_back({UI::View(view.raw).frame().origin.y, sim::text(UI::Label(view.raw).text()).value_or("")});
        std::stable_sort(labels.begin(), labels.end(), [](auto& a, auto& b) { return a.first < b.first; });
        std::vector<std::string> lines;
        for (auto& label : labels) lines.push_back(label.second);
        return lines;
    }
    return {};
}

std::string joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& text : texts) out += (out.empty() ? "" : " ") + quoted(text);
    return out.empty() ? "nothing" : out;
}

bool switchIsOn(const settings::Row& row) { return row.cell.send<Object>(sel<"control">()).send<BOOL>(sel<"isOn">()); }

// The page as the user sees it: the banner, then each row.
void showPage() {
    transcript("  Settings: the page shows a banner " + format(bannerHeight()) + " points high, then its rows:");
    for (const settings::Row& row : settings::rowsOf(requirePage())) {
        std::string label = settings::property(row.specifier, "label");
        std::string footer = settings::property(row.specifier, "footerText");
        if (!row.cell) {
            if (!label.empty()) transcript("    " + label);
            if (!footer.empty()) transcript("    (" + footer + ")");
        } else if (row.cell.respondsToSelector(sel<"control">())) {
            transcript("    [" + std::string(switchIsOn(row) ? "on " : "off") + "] " + label);
        } else if (label.empty()) {
            transcript("    " + joined(headingLines()));
        } else {
            transcript("    > " + label);
        }
    }
}

void runTap(const std::string& label) {
    auto openedBefore = ui::lastOpenedURL();
    settings::tap(label);
    if (ui::lastOpenedURL() && ui::lastOpenedURL() != openedBefore) transcript("  Settings: opened " + *ui::lastOpenedURL());
}

void runSettings(const Line& line) {
    const char* usage = "settings open | settings close | settings switch KEY on|off | settings tap \"Label\"";
    const std::string& verb = word(line, 1, usage);
    if (verb == "open") {
        expectCount(line, 2, usage);
        settings::openPage();
        showPage();
    } else if (verb == "close") {
        expectCount(line, 2, usage);
        settings::closePage();
        transcript("  Settings: the page goes away");
    } else if (verb == "switch") {
        expectCount(line, 4, usage);
        const std::string& key = word(line, 2, usage);
        bool on = onOff(word(line, 3, usage), usage);
        settings::flipSwitch(key, on);
        transcript("  Settings: " + key + " is " + (on ? "on" : "off") + "; the notification is posted, the daemon writes later");
    } else if (verb == "tap") {
        expectCount(line, 3, usage);
        runTap(string(line, 2, usage));
    } else {
        fail(std::string("usage: ") + usage);
    }
}

void expectBanner(const Line& line) {
    const char* usage = "expect banner height N";
    expectCount(line, 4, usage);
    if (word(line, 2, usage) != "height") fail(std::string("usage: ") + usage);
    double expected = number(word(line, 3, usage), usage);
    double found = bannerHeight();
    if (found != expected) fail("expected banner height " + format(expected) + ", found " + format(found));
}

void expectTint(const Line& line) {
    const char* usage = "expect tint settings|default";
    expectCount(line, 3, usage);
    const std::string& which = word(line, 2, usage);
    if (which != "settings" && which != "default") fail(std::string("usage: ") + usage);
    std::optional<ui::Rgba> tint = settings::keyWindowTint();
    auto describe = [](const std::optional<ui::Rgba>& color) {
        if (!color) return std::string("nil");
        return "rgba(" + format(color->red * 255) + ", " + format(color->green * 255) + ", " + format(color->blue * 255) +
               ", " + format(color->alpha) + ")";
    };
    const ui::Rgba accent{58.0 / 255, 121.0 / 255, 180.0 / 255, 1};
    bool held = which == "default" ? !tint : tint == accent;
    if (!held)
        fail("expected the key window's tint " + (which == "default" ? std::string("nil") : describe(accent)) + ", found " +
             describe(tint));
}

void expectSwitch(const Line& line) {
    const char* usage = "expect switch KEY on|off";
    expectCount(line, 4, usage);
    const std::string& key = word(line, 2, usage);
    bool on = onOff(word(line, 3, usage), usage);
    std::optional<settings::Row> row = settings::switchRow(key);
    if (!row) fail("no switch row on screen stores \"" + key + "\"");
    if (switchIsOn(*row) != on) fail("expected switch " + key + (on ? " on" : " off") + ", found it " + (on ? "off" : "on"));
}

void expectSpawned(const Line& line) {
    const char* usage = "expect spawned \"PATH\" \"ARG\"...";
    std::vector<std::string> expected;
    for (size_t i = 2; i < line.tokens.size(); ++i) expected.push_back(string(line, i, usage));
    if (expected.empty()) fail(std::string("usage: ") + usage);
    if (spawns().empty()) fail("expected a spawn of " + joined(expected) + ", found no spawn");
    const Spawn& spawn = spawns().back();
    std::vector<std::string> found = {spawn.path};
    found.insert(found.end(), spawn.arguments.begin(), spawn.arguments.end());
    if (found != expected) fail("expected a spawn of " + joined(expected) + ", found " + joined(found));
    if (!spawn.reaped) fail("the spawn of " + joined(found) + " was not waited for");
}

void expectOpened(const Line& line) {
    const char* usage = "expect opened \"URL\"";
    expectCount(line, 3, usage);
    const std::string& expected = string(line, 2, usage);
    std::optional<std::string> found = ui::lastOpenedURL();
    bool prefix = !expected.empty() && expected.back() == '*';
    std::string wanted = prefix ? expected.substr(0, expected.size() - 1) : expected;
    bool held = found && (prefix ? found->compare(0, wanted.size(), wanted) == 0 : *found == wanted);
    if (!held) fail("expected opened " + quoted(expected) + ", found " + (found ? quoted(*found) : "no URL opened"));
}

void expectHeading(const Line& line) {
    const char* usage = "expect heading \"Title\" \"Maker\" \"Description\"";
    expectCount(line, 5, usage);
    std::vector<std::string> expected = {string(line, 2, usage), string(line, 3, usage), string(line, 4, usage)};
    std::vector<std::string> found = headingLines();
    if (found != expected) fail("expected heading " + joined(expected) + ", found " + joined(found));
}

} // namespace

bool isSettingsLine(const Line& line) {
    if (line.tokens.empty() || line.tokens[0].quoted) return false;
    const std::string& first = line.tokens[0].text;
    if (first == "settings" || first == "screen" || first == "banner") return true;
    if (first != "expect" || line.tokens.size() < 2) return false;
    const auto& words = expectations();
    return std::find(words.begin(), words.end(), line.tokens[1].text) != words.end();
}

void runSettingsLine(const Line& line) {
    const std::string& first = line.tokens[0].text;
    if (first == "settings") return runSettings(line);
    if (first == "screen") {
        const char* usage = "screen width N";
        expectCount(line, 3, usage);
        if (word(line, 1, usage) != "width") fail(std::string("usage: ") + usage);
        double width = number(word(line, 2, usage), usage);
        if (width <= 0) fail("a screen is wider than 0 points");
        if (settings::bundleLoaded()) fail("the screen width is set before the Settings app first loads the bundle");
        ui::setScreenWidth(width);
        return;
    }
    if (first == "banner") {
        const char* usage = "banner W x H | banner missing";
        if (line.tokens.size() == 2 && word(line, 1, usage) == "missing") return settings::replaceBanner(std::nullopt);
        expectCount(line, 4, usage);
        if (word(line, 2, usage) != "x") fail(std::string("usage: ") + usage);
        ui::PixelSize size{side(word(line, 1, usage), usage), side(word(line, 3, usage), usage)};
        if (double(size.width) * size.height > kMaxBannerPixels) fail("a banner has at most 16 million pixels");
        settings::replaceBanner(size);
        return;
    }
    const std::string& what = line.tokens[1].text;
    if (what == "banner") return expectBanner(line);
    if (what == "tint") return expectTint(line);
    if (what == "switch") return expectSwitch(line);
    if (what == "spawned") return expectSpawned(line);
    if (what == "opened") return expectOpened(line);
    expectHeading(line);
}

void resetSettingsApp() { settings::resetApp(); }

} // namespace sim
