// UIKit's colours, fonts and images, which Apple documents as safe to use on any thread.
#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "sim/uikit/png.hpp"
#include "sim/uikit/uikit.hpp"

namespace sim::ui {

namespace {

// ---- UIColor ----

struct ColorState {
    Rgba rgba{};
};
Rgba& rgbaOf(id self) { return state<ColorState>(self).rgba; }

id colorWithRGBA(id cls, SEL, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    return autoreleasedWithState(cls, ColorState{{red, green, blue, alpha}});
}
id colorClear(id cls, SEL) { return colorWithRGBA(cls, nullptr, 0, 0, 0, 0); }
id colorBlack(id cls, SEL) { return colorWithRGBA(cls, nullptr, 0, 0, 0, 1); }
BOOL colorIsEqual(id self, SEL, id other) {
    return other && Object(other).isKindOfClass(objc::lookUpClass("UIColor")) && rgbaOf(self) == rgbaOf(other);
}
NSUInteger colorHash(id self, SEL) {
    const Rgba& rgba = rgbaOf(self);
    return NSUInteger(rgba.red * 255) << 24 | NSUInteger(rgba.green * 255) << 16 | NSUInteger(rgba.blue * 255) << 8 |
           NSUInteger(rgba.alpha * 255);
}

const StandIn<ColorState> kUIColor{classes, "UIColor", "NSObject",
                                   {classMethod<colorWithRGBA>("colorWithRed:green:blue:alpha:"),
                                    classMethod<colorClear>("clearColor"),
                                    classMethod<colorBlack>("blackColor"),
                                    method<colorIsEqual>("isEqual:"),
                                    method<colorHash>("hash")},
                                   Threads::any};

// ---- UIFont ----

struct FontState {
    Ref<String> name;
    CGFloat size = 0;
};

id fontWithNameSize(id cls, SEL, id name, CGFloat size) {
    return autoreleasedWithState(cls, FontState{copyOf(String(name)), size});
}

const StandIn<FontState> kUIFont{classes, "UIFont", "NSObject",
                                 {classMethod<fontWithNameSize>("fontWithName:size:"),
                                  getter<&FontState::name>("fontName"),
                                  getter<&FontState::size>("pointSize")},
                                 Threads::any};

// ---- UIImage ----

struct ImageState {
    CGSize size{};
};

// A PNG; its size in points is its pixel size, read from the header. Nil for a missing file or one
// that is not a PNG.
id imageInitWithContentsOfFile(id self, SEL, id path) {
    self = objc::sendSuper<id>(self, objc::lookUpClass("NSObject"), sel<"init">());
    auto file = text(String(path));
    auto pixels = file ? readPngSize(hostPath(*file)) : std::nullopt;
    if (!pixels) {
        Object(self).release();
        return nullptr;
    }
    state<ImageState>(self).size = CGSize{CGFloat(pixels->width), CGFloat(pixels->height)};
    return self;
}

const StandIn<ImageState> kUIImage{classes, "UIImage", "NSObject",
                                   {method<imageInitWithContentsOfFile>("initWithContentsOfFile:"),
                                    getter<&ImageState::size>("size")},
                                   Threads::any};

} // namespace

std::optional<Rgba> componentsOf(Object color) {
    if (!color) return std::nullopt;
    return rgbaOf(color.raw);
}

} // namespace sim::ui
