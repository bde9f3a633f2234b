// The Settings app's commands and expectations.
#include "sim/platform/objects.hpp"
#include "sim/platform/spawn.hpp"
#include "sim/script/commands.hpp"
#include "sim/settings/app.hpp"
#include "sim/uikit/uikit.hpp"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// The banner is written out pixel by pixel, uncompressed: keep it to what a screen shows.
constexpr double kMaxBannerPixels = 16e6;

std::string joined(const std::vector<std::string>& texts) { return texts.empty() ? "nothing" : quotedList(texts, " "); }

// The page as it is shown, the same that its picture draws.
screens::SettingsScreen shownPage() {
    std::optional<screens::SettingsScreen> page = settings::screenShown();
    if (!page) throw ScriptError("no settings page is on screen");
    return *page;
}

// The heading's lines: the labels of the page's first cell, top to bottom.
std::vector<std::string> headingLines(const screens::SettingsScreen& page) {
    for (screens::SettingsRow row : page.rows) {
        if (row.kind == screens::SettingsRow::Kind::group) continue;
        std::stable_sort(row.labels.begin(), row.labels.end(), [](auto& a, auto& b) { return a.frame.y < b.frame.y; });
        std::vector<std::string> lines;
        for (const screens::Label& label : row.labels) lines.push_back(label.text);
        return lines;
    }
    return {};
}

bool switchIsOn(const settings::Row& row) { return row.cell.send<Object>(sel<"control">()).send<BOOL>(sel<"isOn">()); }

void setScreenWidth(Words& words) {
    double width = words.decimal("a width in points");
    words.end();
    if (width <= 0) throw ScriptError("a screen is wider than 0 points");
    if (settings::bundleLoaded()) throw ScriptError("the screen width is set before the Settings app first loads the bundle");
    ui::setScreenWidth(width);
}

uint32_t side(Words& words) {
    double value = words.decimal("a banner side in pixels");
    if (value < 0 || value != std::floor(value) || value > kMaxBannerPixels)
        throw ScriptError("a banner side is a whole number of pixels: " + shortNumber(value));
    return uint32_t(value);
}

void replaceBanner(Words& words) {
    if (words.skip("missing")) {
        words.end();
        return settings::replaceBanner(std::nullopt);
    }
    uint32_t width = side(words);
    words.expect("x");
    ui::PixelSize size{width, side(words)};
    words.end();
    if (double(size.width) * size.height > kMaxBannerPixels) throw ScriptError("a banner has at most 16 million pixels");
    settings::replaceBanner(size);
}

// The page as the user sees it: the banner, then each row.
void openPage(Words& words) {
    words.end();
    settings::openPage();
    if (!settings::page()) return;
    screens::SettingsScreen page = shownPage();
    transcript("  Settings: the page shows a banner " + shortNumber(page.header.height) + " points high, then its rows:");
    using Kind = screens::SettingsRow::Kind;
    for (const screens::SettingsRow& row : page.rows) {
        if (row.kind == Kind::group) {
            if (!row.label.empty()) transcript("    " + row.label);
            if (!row.footer.empty()) transcript("    (" + row.footer + ")");
        } else if (row.kind == Kind::switchCell) {
            transcript("    [" + std::string(row.on ? "on " : "off") + "] " + row.label);
        } else if (row.label.empty()) {
            transcript("    " + joined(headingLines(page)));
        } else {
            transcript("    > " + row.label);
        }
    }
}

void closePage(Words& words) {
    words.end();
    settings::closePage();
    transcript("  Settings: the page goes away");
}

void flipSwitch(Words& words) {
    std::string key = words.word("a preference key");
    bool on = words.oneOf({"off", "on"});
    words.end();
    settings::flipSwitch(key, on);
    transcript("  Settings: " + key + " is " + (on ? "on" : "off") + "; the notification is posted, the daemon writes later");
}

void tapRow(Words& words) {
    std::string label = words.text("a row's label");
    words.end();
    auto openedBefore = ui::lastOpenedURL();
    settings::tap(label);
    if (ui::lastOpenedURL() && ui::lastOpenedURL() != openedBefore) transcript("  Settings: opened " + *ui::lastOpenedURL());
}

void expectBanner(Words& words) {
    double expected = words.decimal("a height in points");
    words.end();
    double found = shownPage().header.height;
    if (found != expected) throw ScriptError("expected banner height " + shortNumber(expected) + ", found " + shortNumber(found));
}

void expectTint(Words& words) {
    bool byDefault = words.oneOf({"settings", "default"});
    words.end();
    std::optional<ui::Rgba> tint = settings::keyWindowTint();
    auto describe = [](const std::optional<ui::Rgba>& color) {
        if (!color) return std::string("nil");
        return "rgba(" + shortNumber(color->red * 255) + ", " + shortNumber(color->green * 255) + ", " +
               shortNumber(color->blue * 255) + ", " + shortNumber(color->alpha) + ")";
    };
    const ui::Rgba accent{58.0 / 255, 121.0 / 255, 180.0 / 255, 1};
    if (byDefault ? bool(tint) : tint != accent)
        throw ScriptError("expected the key window's tint " + (byDefault ? std::string("nil") : describe(accent)) + ", found " +
                          describe(tint));
}

void expectSwitch(Words& words) {
    std::string key = words.word("a preference key");
    bool on = words.oneOf({"off", "on"});
    words.end();
    std::optional<settings::Row> row = settings::switchRow(key);
    if (!row) throw ScriptError("no switch row on screen stores \"" + key + "\"");
    if (switchIsOn(*row) != on)
        throw ScriptError("expected switch " + key + (on ? " on" : " off") + ", found it " + (on ? "off" : "on"));
}

void expectSpawned(Words& words) {
    std::vector<std::string> expected = {words.text("the program's path")};
    while (!words.atEnd()) expected.push_back(words.text("an argument"));
    if (spawns().empty()) throw ScriptError("expected a spawn of " + joined(expected) + ", found no spawn");
    const Spawn& spawn = spawns().back();
    std::vector<std::string> found = {spawn.path};
    found.insert(found.end(), spawn.arguments.begin(), spawn.arguments.end());
    if (found != expected) throw ScriptError("expected a spawn of " + joined(expected) + ", found " + joined(found));
    if (!spawn.reaped) throw ScriptError("the spawn of " + joined(found) + " was not waited for");
}

// A URL ending in * matches any that starts with the text before it.
void expectOpened(Words& words) {
    std::string expected = words.text("a URL");
    words.end();
    std::optional<std::string> found = ui::lastOpenedURL();
    bool prefix = !expected.empty() && expected.back() == '*';
    std::string wanted = prefix ? expected.substr(0, expected.size() - 1) : expected;
    bool held = found && (prefix ? found->compare(0, wanted.size(), wanted) == 0 : *found == wanted);
    if (!held) throw ScriptError("expected opened " + quoted(expected) + ", found " + (found ? quoted(*found) : "no URL opened"));
}

void expectHeading(Words& words) {
    std::vector<std::string> expected;
    for (const char* line : {"the title", "the maker", "the description"}) expected.push_back(words.text(line));
    words.end();
    std::vector<std::string> found = headingLines(shownPage());
    if (found != expected) throw ScriptError("expected heading " + joined(expected) + ", found " + joined(found));
}

} // namespace

const CommandGroup kSettingsCommands{
    "The Settings app",
    {{"screen width", setScreenWidth, false, "screen width N", "before the Settings app first loads the bundle"},
     {"banner", replaceBanner, false, "banner W x H | banner missing", "before settings open"},
     {"settings open", openPage, false, "settings open", ""},
     {"settings switch", flipSwitch, false, "settings switch KEY on|off", ""},
     {"settings tap", tapRow, false, "settings tap \"Label\"", ""},
     {"settings close", closePage, false, "settings close", ""},
     {"expect banner height", expectBanner, false, "expect banner height N", ""},
     {"expect tint", expectTint, false, "expect tint settings|default", ""},
     {"expect switch", expectSwitch, false, "expect switch KEY on|off", ""},
     {"expect spawned", expectSpawned, false, "expect spawned \"PATH\" \"ARG\"...", ""},
     {"expect opened", expectOpened, false, "expect opened \"URL\"", ""},
     {"expect heading", expectHeading, false, "expect heading \"Title\" \"Maker\" \"Description\"", ""}}};

void startSettingsScript() { settings::resetApp(); }

} // namespace sim
