// The heading row and the switch rows of the settings page.
#include "bundle.hpp"

namespace prefs {
namespace {

using NS::literal;
using objc::Object;
using objc::sel;

Class tableCellClass;
Class switchTableCellClass;
// The heading cell's labels, found once on the class it builds.
objc::InstanceVariable<id> labelField, subLabelField, subSubLabelField;

constexpr NSInteger kTextAlignmentCenter = 1;

struct LabelLook {
    const objc::InstanceVariable<id>& field;
    CGFloat y;
    CGFloat height;
    CGFloat fontSize;
    NS::String text;
    UI::Color textColor;
};

// The labels span the screen's width, not the cell's: the page is as wide as the screen.
void addLabel(Object cell, const LabelLook& look) {
    objc::Ref<UI::Label> label = UI::Label::make(CGRect{{0, look.y}, {CGFloat(width), look.height}});
    *look.field.in(cell) = label.get().retain();
    label->setNumberOfLines(1);
    label->setFont(UI::Font::fontWithName(literal<"HelveticaNeue-UltraLight">(), look.fontSize));
    label->setText(look.text);
    label->setBackgroundColor(UI::Color::clearColor());
    label->setTextColor(look.textColor);
    label->setTextAlignment(kTextAlignmentCenter);
    objc::as<UI::View>(cell).addSubview(label);
}

// The heading looks the same for every row that shows it, so the specifier is not read.
id headingCellInitWithSpecifier(id self, SEL, id) {
    Object cell(objc::sendSuper<id>(self, tableCellClass, sel<"initWithStyle:reuseIdentifier:">(), NSInteger(0),
                                    literal<"Cell">()));
    if (!cell) return nullptr;
    CGFloat grey = CGFloat(65) / 255;
    addLabel(cell, {labelField, -10, 60, 42, literal<"Twinly 2">(), UI::Color::blackColor()});
    addLabel(cell, {subLabelField, 45, 20, 14, literal<"by Ostrova">(), UI::Color::blackColor()});
    addLabel(cell, {subSubLabelField, 70, 20, 16, literal<"Stop adding duplicate songs to playlists">(),
                    UI::Color::colorWithRGBA(grey, grey, grey, 1)});
    return cell.raw;
}

CGFloat headingCellPreferredHeightForWidth(id, SEL, CGFloat) { return 100; }

// The cell owns its labels for as long as it lives, and lets them go with it.
void headingCellDealloc(id self, SEL selector) {
    static const objc::InstanceVariable<id>* const labels[] = {&labelField, &subLabelField, &subSubLabelField};
    for (const objc::InstanceVariable<id>* field : labels) Object(*field->in(Object(self))).release();
    objc::sendSuper<void>(self, tableCellClass, selector);
}

// The style is a UITableViewCellStyle, an NSInteger: as an int, the register's upper half that the
// framework passed would go on to the superclass undefined.
id switchCellInitWithStyleReuseIdentifierSpecifier(id self, SEL selector, NSInteger style, id reuseIdentifier,
                                                   id specifier) {
    PS::SwitchTableCell cell(objc::sendSuper<id>(self, switchTableCellClass, selector, style, reuseIdentifier, specifier));
    if (!cell) return nullptr;
    cell.control().setOnTintColor(TWTintColor());
    return cell.raw;
}

} // namespace

void registerCells() {
    tableCellClass = objc::lookUpClass("PSTableCell");
    Class heading = objc::ClassBuilder("TWHeadingCell", tableCellClass)
                        .ivar<id>("_label")
                        .ivar<id>("_subLabel")
                        .ivar<id>("_subSubLabel")
                        .method<headingCellInitWithSpecifier>(sel<"initWithSpecifier:">())
                        .method<headingCellPreferredHeightForWidth>(sel<"preferredHeightForWidth:">())
                        .method<headingCellDealloc>(sel<"dealloc">())
                        .registerClass();
    // The framework asks a custom cell for its height, and makes it with its specifier, only when it adopts this.
    PS::adoptProtocol(heading, "PreferencesTableCustomView");
    labelField.bind(heading, "_label");
    subLabelField.bind(heading, "_subLabel");
    subSubLabelField.bind(heading, "_subSubLabel");

    switchTableCellClass = objc::lookUpClass("PSSwitchTableCell");
    objc::ClassBuilder("TWSwitchTableCell", switchTableCellClass)
        .method<switchCellInitWithStyleReuseIdentifierSpecifier>(sel<"initWithStyle:reuseIdentifier:specifier:">())
        .registerClass();
}

} // namespace prefs
