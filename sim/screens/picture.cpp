#include "sim/screens/picture.hpp"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>

namespace sim::screens {
namespace {

// ---- fonts ----

// iOS's fonts, drawn with Inter's faces of the same weight: the system font (San Francisco) and
// Helvetica Neue. A name not listed (".SFUIText", "HelveticaNeue") draws in the regular face.
struct Face {
    const char* name;
    PangoWeight weight;
};
constexpr Face kFaces[] = {
    {".SFUIText-Semibold", PANGO_WEIGHT_SEMIBOLD},
    {"HelveticaNeue-UltraLight", PANGO_WEIGHT_THIN},
};
// The files of those faces, in Debian's fonts-inter, and DejaVu Sans (fonts-dejavu-core) for the
// characters that Inter lacks, such as the "∙" of an album's subtitle; nothing else is drawn with.
constexpr const char* kFontFiles[] = {TWINLY_INTER_FONTS "/Inter-Thin.otf", TWINLY_INTER_FONTS "/Inter-Regular.otf",
                                      TWINLY_INTER_FONTS "/Inter-SemiBold.otf", TWINLY_DEJAVU_FONTS "/DejaVuSans.ttf"};

PangoWeight weightOf(const std::string& font) {
    for (const Face& face : kFaces)
        if (font == face.name) return face.weight;
    return PANGO_WEIGHT_NORMAL;
}

// A font map of its own, whose configuration knows only Inter's files: no rule or font of the
// machine's own configuration can change a glyph.
PangoFontMap* fontMap() {
    static PangoFontMap* const map = [] {
        FcConfig* config = FcConfigCreate();
        for (const char* file : kFontFiles)
            if (!FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file)))
                throw std::runtime_error(std::string("cannot read the font ") + file);
        PangoFontMap* made = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(made), config);
        return made;
    }();
    return map;
}

// Grey antialiasing, no hinting and unrounded metrics: what comes out depends on the outlines
// alone, not on the machine's settings.
PangoContext* textContext(cairo_t* cr) {
    static PangoContext* const context = [] {
        PangoContext* made = pango_font_map_create_context(fontMap());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(made, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(made, FALSE);
        return made;
    }();
    pango_cairo_update_context(cr, context);
    return context;
}

// ---- colours and metrics of iOS 10 to 12 ----

constexpr Color rgb(int red, int green, int blue, double alpha = 1) { return {red / 255.0, green / 255.0, blue / 255.0, alpha}; }
constexpr Color kWhite = rgb(255, 255, 255);
constexpr Color kBlack = rgb(0, 0, 0);
constexpr Color kMusicTint = rgb(255, 45, 85);
constexpr Color kSystemTint = rgb(0, 122, 255);
constexpr Color kBar = rgb(247, 247, 247);
constexpr Color kBarLine = rgb(178, 178, 178);
constexpr Color kSeparator = rgb(200, 199, 204);
constexpr Color kGroupedBackground = rgb(239, 239, 244);
constexpr Color kSecondaryText = rgb(109, 109, 114);
constexpr Color kArtwork = rgb(229, 229, 234);
constexpr Color kNote = rgb(174, 174, 178);
constexpr Color kSearchField = rgb(227, 227, 232);
constexpr Color kSwitchOn = rgb(76, 217, 100);
constexpr Color kDimming = rgb(0, 0, 0, 0.4);
constexpr Color kAlertBackground = rgb(248, 248, 248);
constexpr Color kAlertLine = rgb(0, 0, 0, 0.2);

constexpr double kStatusBarHeight = 20;
constexpr double kNavigationBarHeight = 44;
constexpr double kBarsHeight = kStatusBarHeight + kNavigationBarHeight;
constexpr double kMargin = 15;

constexpr const char* kRegular = ".SFUIText";
constexpr const char* kSemibold = ".SFUIText-Semibold";

// ---- drawing ----

struct Text {
    std::string font = kRegular;
    double size = 17;
    Color color = kBlack;
    long alignment = 0;
    bool wrap = false; // else one line, cut with an ellipsis
};

using Layout = std::unique_ptr<PangoLayout, decltype(&g_object_unref)>;

Layout layOut(cairo_t* cr, const std::string& text, const Text& look, double width) {
    Layout layout(pango_layout_new(textContext(cr)), g_object_unref);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, "Inter");
    pango_font_description_set_weight(font, weightOf(look.font));
    pango_font_description_set_absolute_size(font, look.size * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);
    pango_layout_set_width(layout.get(), int(std::max(width, 0.0) * PANGO_SCALE));
    if (look.wrap) {
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    } else {
        // One line, as a label of one line shows even a text with line breaks.
        pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
        pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    }
    static const PangoAlignment alignments[] = {PANGO_ALIGN_LEFT, PANGO_ALIGN_CENTER, PANGO_ALIGN_RIGHT};
    pango_layout_set_alignment(layout.get(), alignments[look.alignment >= 0 && look.alignment <= 2 ? look.alignment : 0]);
    // Titles come from scripts and libraries: whatever bytes they hold, pango gets UTF-8.
    gchar* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
    pango_layout_set_text(layout.get(), valid, -1);
    g_free(valid);
    return layout;
}

double heightOf(const Layout& layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    return double(logical.height) / PANGO_SCALE;
}

void setColor(cairo_t* cr, Color color) { cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha); }

// Text in a box, centred on the box's height as a label centres it; gives the text's height.
double drawText(cairo_t* cr, const std::string& text, const Text& look, Rect box) {
    Layout layout = layOut(cr, text, look, box.width);
    double height = heightOf(layout);
    setColor(cr, look.color);
    cairo_move_to(cr, box.x, box.y + (box.height - height) / 2);
    pango_cairo_show_layout(cr, layout.get());
    return height;
}

Layout layOutParagraph(cairo_t* cr, const std::string& text, Text look, double width) {
    look.wrap = true;
    return layOut(cr, text, look, width);
}

// Text laid out already, drawn from its top left at (x, y); gives its height.
double show(cairo_t* cr, const Layout& layout, Color color, double x, double y) {
    setColor(cr, color);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout.get());
    return heightOf(layout);
}

// Wrapped text from the box's top; gives its height.
double drawParagraph(cairo_t* cr, const std::string& text, const Text& look, double x, double y, double width) {
    return show(cr, layOutParagraph(cr, text, look, width), look.color, x, y);
}

void fill(cairo_t* cr, Rect rect, Color color, double radius = 0) {
    setColor(cr, color);
    if (radius <= 0) {
        cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    } else {
        double right = rect.x + rect.width, bottom = rect.y + rect.height;
        cairo_new_sub_path(cr);
        cairo_arc(cr, right - radius, rect.y + radius, radius, -G_PI / 2, 0);
        cairo_arc(cr, right - radius, bottom - radius, radius, 0, G_PI / 2);
        cairo_arc(cr, rect.x + radius, bottom - radius, radius, G_PI / 2, G_PI);
        cairo_arc(cr, rect.x + radius, rect.y + radius, radius, G_PI, 3 * G_PI / 2);
        cairo_close_path(cr);
    }
    cairo_fill(cr);
}

// A line one pixel thick, as UIKit draws separators.
void hairline(cairo_t* cr, const Screen& screen, double x1, double y1, double x2, double y2, Color color) {
    double pixel = 1 / screen.scale;
    fill(cr, Rect{x1, y1 - pixel, std::max(x2 - x1, pixel), std::max(y2 - y1, pixel)}, color);
}

// ---- the bars ----

// The status bar, above everything (alerts dim the screen below it), with the time and the battery,
// and where the carrier's name would be, what this picture is.
void drawStatusBar(cairo_t* cr, const Screen& screen) {
    drawText(cr, "Simulated " + screen.device, {kSemibold, 12},
             Rect{6, 0, screen.width / 2 - 50, kStatusBarHeight});
    drawText(cr, "9:41 AM", {kSemibold, 12, kBlack, 1}, Rect{0, 0, screen.width, kStatusBarHeight});
    double right = screen.width - 6;
    fill(cr, Rect{right - 25, 6, 22, 10.5}, kBlack, 2.5);
    fill(cr, Rect{right - 24, 7, 20, 8.5}, kWhite, 1.5);
    fill(cr, Rect{right - 23, 8, 18, 6.5}, kBlack, 1);
    fill(cr, Rect{right - 2.5, 9.5, 1.5, 3.5}, kBlack, 0.75);
}

struct Bar {
    std::string title;
    std::string left;
    std::string right;
    Color tint;
    bool rightIsDone = false; // a Done button, in bold
};

void drawNavigationBar(cairo_t* cr, const Screen& screen, const Bar& bar, double height = kNavigationBarHeight) {
    fill(cr, Rect{0, 0, screen.width, kStatusBarHeight + height}, kBar);
    hairline(cr, screen, 0, kStatusBarHeight + height, screen.width, kStatusBarHeight + height, kBarLine);
    Rect row{0, kStatusBarHeight, screen.width, kNavigationBarHeight};
    drawText(cr, bar.title, {kSemibold, 17, kBlack, 1}, Rect{screen.width / 4, row.y, screen.width / 2, row.height});
    drawText(cr, bar.left, {kRegular, 17, bar.tint, 0}, Rect{8, row.y, screen.width / 4 - 8, row.height});
    drawText(cr, bar.right, {bar.rightIsDone ? kSemibold : kRegular, 17, bar.tint, 2}, Rect{screen.width * 3 / 4, row.y, screen.width / 4 - 8, row.height});
}

// ---- the Music app ----

// Artwork the library does not have: a grey square with a note.
void drawArtwork(cairo_t* cr, Rect rect) {
    fill(cr, rect, kArtwork, rect.width / 10);
    drawText(cr, "♫", {kRegular, rect.height / 2, kNote, 1}, rect);
}

// The rows of a list whose top is at `top`, each at its own frame and alpha.
void drawRows(cairo_t* cr, const Screen& screen, const std::vector<ListRow>& rows, double top) {
    for (const ListRow& row : rows) {
        Rect frame{row.frame.x, top + row.frame.y, row.frame.width, row.frame.height};
        if (frame.y >= screen.height) break;
        cairo_push_group(cr);
        double side = frame.height - 8;
        drawArtwork(cr, Rect{frame.x + 16, frame.y + 4, side, side});
        double textX = frame.x + 16 + side + 12;
        drawText(cr, row.title.value_or(""), {}, Rect{textX, frame.y, frame.x + frame.width - textX - kMargin, frame.height});
        hairline(cr, screen, textX, frame.y + frame.height, frame.x + frame.width, frame.y + frame.height, kSeparator);
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, row.alpha);
    }
}

void drawSearchField(cairo_t* cr, const Screen& screen, const std::string& search) {
    Rect field{8, kBarsHeight + 8, screen.width - 16, 28};
    fill(cr, field, kSearchField, 10);
    drawText(cr, search, {}, Rect{field.x + 10, field.y, field.width - 20, field.height});
}

// The context actions: a sheet over the dimmed page, its header naming the item.
void drawContextActions(cairo_t* cr, const Screen& screen, const MusicScreen& shown) {
    fill(cr, Rect{0, 0, screen.width, screen.height}, kDimming);
    double width = screen.width - 16;
    Rect cancel{8, screen.height - 8 - 57, width, 57};
    Rect sheet{8, cancel.y - 8 - 80 - 57, width, 80 + 57};
    fill(cr, sheet, kWhite, 13);
    fill(cr, cancel, kWhite, 13);
    drawArtwork(cr, Rect{sheet.x + 12, sheet.y + 12, 56, 56});
    double textX = sheet.x + 80;
    drawText(cr, shown.title.value_or(""), {kSemibold, 15}, Rect{textX, sheet.y + 18, sheet.width - 92, 22});
    drawText(cr, shown.subtitle.value_or(""), {kRegular, 13, kSecondaryText}, Rect{textX, sheet.y + 40, sheet.width - 92, 20});
    hairline(cr, screen, sheet.x, sheet.y + 80, sheet.x + sheet.width, sheet.y + 80, kSeparator);
    drawText(cr, "Add to a Playlist…", {kRegular, 20, kMusicTint, 1}, Rect{sheet.x, sheet.y + 80, sheet.width, 57});
    drawText(cr, "Cancel", {kSemibold, 20, kMusicTint, 1}, cancel);
}

void drawPlaylistPage(cairo_t* cr, const Screen& screen, const MusicScreen& shown) {
    drawNavigationBar(cr, screen, {"", "‹ Playlists", "", kMusicTint});
    Rect artwork{16, kBarsHeight + 16, 140, 140};
    drawArtwork(cr, artwork);
    double textX = artwork.x + artwork.width + 16;
    drawParagraph(cr, shown.title.value_or(""), {kSemibold, 22}, textX, artwork.y + 8, screen.width - textX - kMargin);
}

void drawMusic(cairo_t* cr, const Screen& screen, const MusicScreen& shown) {
    using Kind = MusicScreen::Kind;
    switch (shown.kind) {
    case Kind::playlistPage: drawPlaylistPage(cr, screen, shown); break;
    case Kind::songPicker:
        drawRows(cr, screen, shown.rows, kBarsHeight);
        drawNavigationBar(cr, screen, {"Songs", "", "Done", kMusicTint, true});
        break;
    case Kind::searchResults:
        drawRows(cr, screen, shown.rows, kBarsHeight + kNavigationBarHeight);
        drawNavigationBar(cr, screen, {"Songs", "", "Done", kMusicTint, true}, 2 * kNavigationBarHeight);
        drawSearchField(cr, screen, shown.search);
        break;
    case Kind::contextActions:
        drawNavigationBar(cr, screen, {"Library", "", "", kMusicTint});
        drawContextActions(cr, screen, shown);
        break;
    case Kind::playlistPicker:
        drawRows(cr, screen, shown.rows, kBarsHeight);
        drawNavigationBar(cr, screen, {"Add to a Playlist", "Cancel", "", kMusicTint});
        break;
    }
}

// An alert over the dimmed screen: title and message centred, then the buttons, side by side when
// there are two, the preferred one bold.
void drawAlert(cairo_t* cr, const Screen& screen, const Alert& alert, Color tint) {
    fill(cr, Rect{0, 0, screen.width, screen.height}, kDimming);
    constexpr double width = 270, padding = 16, buttonHeight = 44;
    Text titleLook{kSemibold, 17, kBlack, 1}, messageLook{kRegular, 13, kBlack, 1};
    std::string title = alert.title.value_or(""), message = alert.message.value_or("");
    double textWidth = width - 2 * padding;
    // Each text is laid out once: measured for the box, then drawn in it.
    Layout titleLayout = title.empty() ? Layout(nullptr, g_object_unref) : layOutParagraph(cr, title, titleLook, textWidth);
    Layout messageLayout =
        message.empty() ? Layout(nullptr, g_object_unref) : layOutParagraph(cr, message, messageLook, textWidth);
    double textHeight = (titleLayout ? heightOf(titleLayout) + 2 : 0) + (messageLayout ? heightOf(messageLayout) : 0);
    bool sideBySide = alert.buttons.size() == 2;
    double buttonsHeight = buttonHeight * double(sideBySide ? 1 : alert.buttons.size());
    double height = 20 + textHeight + 20 + buttonsHeight;
    Rect box{(screen.width - width) / 2, (screen.height - height) / 2, width, height};
    fill(cr, box, kAlertBackground, 13);

    double y = box.y + 20;
    if (titleLayout) y += show(cr, titleLayout, titleLook.color, box.x + padding, y) + 2;
    if (messageLayout) show(cr, messageLayout, messageLook.color, box.x + padding, y);
    double buttonsTop = box.y + height - buttonsHeight;
    for (size_t i = 0; i < alert.buttons.size(); ++i) {
        Rect button = sideBySide ? Rect{box.x + double(i) * width / 2, buttonsTop, width / 2, buttonHeight}
                                 : Rect{box.x, buttonsTop + double(i) * buttonHeight, width, buttonHeight};
        hairline(cr, screen, button.x, button.y, button.x + button.width, button.y, kAlertLine);
        if (sideBySide && i == 1) hairline(cr, screen, button.x, button.y, button.x, button.y + button.height, kAlertLine);
        bool preferred = alert.preferred == alert.buttons[i];
        drawText(cr, alert.buttons[i], {preferred ? kSemibold : kRegular, 17, tint, 1}, button);
    }
}

// ---- the Settings app ----

// A switch, as UISwitch draws itself: the track in the on-tint when on, the knob at that end.
void drawSwitch(cairo_t* cr, Rect rect, bool on, Color onTint) {
    double radius = rect.height / 2;
    if (on) {
        fill(cr, rect, onTint, radius);
    } else {
        fill(cr, rect, kArtwork, radius);
        fill(cr, Rect{rect.x + 1.5, rect.y + 1.5, rect.width - 3, rect.height - 3}, kWhite, radius - 1.5);
    }
    double knob = rect.height - 4;
    double knobX = on ? rect.x + rect.width - 2 - knob : rect.x + 2;
    fill(cr, Rect{knobX - 0.5, rect.y + 2, knob + 1, knob + 1}, rgb(0, 0, 0, 0.15), (knob + 1) / 2);
    fill(cr, Rect{knobX, rect.y + 2, knob, knob}, kWhite, knob / 2);
}

// A cell at `top`: the specifier's label where UITableViewCell puts its text, a switch where it puts
// an accessory view, and the cell's own labels at their frames.
void drawCell(cairo_t* cr, const Screen& screen, const SettingsRow& row, double top, Color tint) {
    fill(cr, Rect{0, top, screen.width, row.height}, kWhite);
    Rect text{kMargin, top, screen.width - 2 * kMargin, row.height};
    if (row.kind == SettingsRow::Kind::switchCell) {
        constexpr double switchWidth = 51, switchHeight = 31;
        drawSwitch(cr, Rect{screen.width - kMargin - switchWidth, top + (row.height - switchHeight) / 2, switchWidth, switchHeight},
                   row.on, row.onTint.value_or(kSwitchOn));
        text.width -= switchWidth + 8;
    }
    if (!row.label.empty())
        drawText(cr, row.label, {kRegular, 17, row.kind == SettingsRow::Kind::button ? tint : kBlack}, text);
    for (const Label& label : row.labels)
        drawText(cr, label.text, {label.font, label.size, label.color, label.alignment},
                 Rect{label.frame.x, top + label.frame.y, label.frame.width, label.frame.height});
}

// The page's table, grouped as UIKit groups it: a gap before each group (its label at the gap's
// foot), the cells one under the other at the heights they asked for, and the footer below them.
void drawSettings(cairo_t* cr, const Screen& screen, const SettingsScreen& page) {
    Color tint = page.tint.value_or(kSystemTint);
    fill(cr, Rect{0, 0, screen.width, screen.height}, kGroupedBackground);
    double y = kBarsHeight;
    if (!page.headerImage.empty()) {
        cairo_surface_t* image = cairo_image_surface_create_from_png(page.headerImage.c_str());
        if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(image);
            throw std::runtime_error("cannot read the banner " + page.headerImage);
        }
        // Aspect fit: the whole image, as large as the view allows, centred.
        double imageWidth = cairo_image_surface_get_width(image), imageHeight = cairo_image_surface_get_height(image);
        double factor = std::min(page.header.width / imageWidth, page.header.height / imageHeight);
        cairo_save(cr);
        cairo_translate(cr, page.header.x + (page.header.width - imageWidth * factor) / 2,
                        y + page.header.y + (page.header.height - imageHeight * factor) / 2);
        cairo_scale(cr, factor, factor);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(image);
    }
    y += page.header.y + page.header.height;

    Text footerLook{kRegular, 13, kSecondaryText};
    double textWidth = screen.width - 2 * kMargin;
    const SettingsRow* group = nullptr;
    bool groupHasCells = false;
    auto closeGroup = [&] {
        if (groupHasCells) hairline(cr, screen, 0, y + 1 / screen.scale, screen.width, y + 1 / screen.scale, kSeparator);
        if (group && !group->footer.empty()) y += 7 + drawParagraph(cr, group->footer, footerLook, kMargin, y + 7, textWidth);
    };
    for (const SettingsRow& row : page.rows) {
        if (row.kind != SettingsRow::Kind::group) {
            // A line above the group's first cell across the table, between cells from the text's edge.
            hairline(cr, screen, groupHasCells ? kMargin : 0, y, screen.width, y, kSeparator);
            drawCell(cr, screen, row, y, tint);
            y += row.height;
            groupHasCells = true;
            continue;
        }
        closeGroup();
        y += group && !group->footer.empty() ? 17 : 35;
        if (!row.label.empty()) {
            std::string upper = row.label;
            std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return char(std::toupper(c)); });
            drawText(cr, upper, footerLook, Rect{kMargin, y, textWidth, 18});
            y += 25;
        }
        group = &row;
        groupHasCells = false;
    }
    closeGroup();
    drawNavigationBar(cr, screen, {page.title.value_or(""), "‹ Settings", page.rightButton.value_or(""), tint});
}

} // namespace

void writePicture(const Screen& screen, const std::string& path) {
    auto pixels = [&](double points) { return int(points * screen.scale + 0.5); };
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixels(screen.width), pixels(screen.height)), cairo_surface_destroy);
    {
        std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()), cairo_destroy);
        cairo_t* cr = context.get();
        cairo_scale(cr, screen.scale, screen.scale);
        fill(cr, Rect{0, 0, screen.width, screen.height}, kWhite);
        if (const auto* music = std::get_if<MusicScreen>(&screen.shown)) {
            drawMusic(cr, screen, *music);
            if (music->alert) drawAlert(cr, screen, *music->alert, kMusicTint);
        } else {
            drawSettings(cr, screen, std::get<SettingsScreen>(screen.shown));
        }
        drawStatusBar(cr, screen);
    }
    cairo_status_t written = cairo_surface_write_to_png(surface.get(), path.c_str());
    if (written != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot write the picture " + path + ": " + cairo_status_to_string(written));
}

} // namespace sim::screens
