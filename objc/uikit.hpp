// UIKit: views, cells, touches, alerts, windows, colours, images and the application object.
#pragma once

#include "foundation.hpp"

struct CGPoint {
    CGFloat x, y;
};
struct CGSize {
    CGFloat width, height;
};
struct CGRect {
    CGPoint origin;
    CGSize size;
};

namespace UI {

using NS::classNamed;
using NS::String;
using objc::Object;
using objc::Ref;
using objc::sel;

// A block that an alert action runs with the action.
using ActionHandler = void (^)(id action);
using Completion = void (^)();

struct ViewController;

struct View : Object {
    using Object::Object;
    CGFloat alpha() const { return send<CGFloat>(sel<"alpha">()); }
    void setAlpha(CGFloat alpha) const { send(sel<"setAlpha:">(), alpha); }
    BOOL isUserInteractionEnabled() const { return send<BOOL>(sel<"isUserInteractionEnabled">()); }
    void setUserInteractionEnabled(BOOL enabled) const { send(sel<"setUserInteractionEnabled:">(), enabled); }
    CGRect bounds() const { return send<CGRect>(sel<"bounds">()); }
    CGRect frame() const { return send<CGRect>(sel<"frame">()); }
    void addSubview(View view) const { send(sel<"addSubview:">(), view); }
    void setBackgroundColor(Object color) const { send(sel<"setBackgroundColor:">(), color); }
    void setAutoresizingMask(NSUInteger mask) const { send(sel<"setAutoresizingMask:">(), mask); }
    // The nearest view controller that owns the view (private UIKit).
    ViewController viewControllerForAncestor() const;
};

struct Label : View {
    using View::View;
    static Ref<Label> make(CGRect frame) {
        Object allocated(classNamed("UILabel").send<id>(sel<"alloc">()));
        return Ref<Label>::adopt(allocated.send<Label>(sel<"initWithFrame:">(), frame));
    }
    String text() const { return send<String>(sel<"text">()); }
    void setText(String text) const { send(sel<"setText:">(), text); }
    void setNumberOfLines(NSInteger lines) const { send(sel<"setNumberOfLines:">(), lines); }
    void setFont(Object font) const { send(sel<"setFont:">(), font); }
    void setTextColor(Object color) const { send(sel<"setTextColor:">(), color); }
    void setTextAlignment(NSInteger alignment) const { send(sel<"setTextAlignment:">(), alignment); }
};

inline Class labelClass() { return objc::lookUpClass("UILabel"); }
inline Class stackViewClass() { return objc::lookUpClass("UIStackView"); }

struct StackView : View {
    using View::View;
    NS::Array arrangedSubviews() const { return send<NS::Array>(sel<"arrangedSubviews">()); }
};

struct Touch : Object {
    using Object::Object;
    CGPoint locationInView(View view) const { return send<CGPoint>(sel<"locationInView:">(), view); }
};

struct Event : Object {
    using Object::Object;
    NS::Set allTouches() const { return send<NS::Set>(sel<"allTouches">()); }
};

struct CollectionView : View {
    using View::View;
    Object indexPathForItemAtPoint(CGPoint point) const { return send<Object>(sel<"indexPathForItemAtPoint:">(), point); }
    View cellForItemAtIndexPath(Object indexPath) const { return send<View>(sel<"cellForItemAtIndexPath:">(), indexPath); }
    void selectItemAtIndexPath(Object indexPath, BOOL animated, NSUInteger scrollPosition) const {
        send(sel<"selectItemAtIndexPath:animated:scrollPosition:">(), indexPath, animated, scrollPosition);
    }
};

struct AlertAction : Object {
    using Object::Object;
    static AlertAction actionWithTitle(String title, NSInteger style, ActionHandler handler) {
        return classNamed("UIAlertAction").send<AlertAction>(sel<"actionWithTitle:style:handler:">(), title, style, handler);
    }
};

struct ViewController : Object {
    using Object::Object;
    View view() const { return send<View>(sel<"view">()); }
    Object navigationItem() const { return send<Object>(sel<"navigationItem">()); }
    void presentViewController(ViewController controller, BOOL animated, Completion completion) const {
        send(sel<"presentViewController:animated:completion:">(), controller, animated, completion);
    }
    // What this controller or its nearest ancestor presents, or nil.
    ViewController presentedViewController() const { return send<ViewController>(sel<"presentedViewController">()); }
};

inline ViewController View::viewControllerForAncestor() const {
    return send<ViewController>(sel<"_viewControllerForAncestor">());
}

struct AlertController : ViewController {
    using ViewController::ViewController;
    static constexpr NSInteger kStyleAlert = 1;
    static AlertController alertControllerWithTitle(String title, String message, NSInteger style) {
        return classNamed("UIAlertController")
            .send<AlertController>(sel<"alertControllerWithTitle:message:preferredStyle:">(), title, message, style);
    }
    void addAction(AlertAction action) const { send(sel<"addAction:">(), action); }
    void setPreferredAction(AlertAction action) const { send(sel<"setPreferredAction:">(), action); }
};

struct Color : Object {
    using Object::Object;
    static Color colorWithRGBA(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
        return classNamed("UIColor").send<Color>(sel<"colorWithRed:green:blue:alpha:">(), red, green, blue, alpha);
    }
    static Color clearColor() { return classNamed("UIColor").send<Color>(sel<"clearColor">()); }
    static Color blackColor() { return classNamed("UIColor").send<Color>(sel<"blackColor">()); }
};

struct Font : Object {
    using Object::Object;
    static Font fontWithName(String name, CGFloat size) {
        return classNamed("UIFont").send<Font>(sel<"fontWithName:size:">(), name, size);
    }
};

struct Window : View {
    using View::View;
    void setTintColor(Color color) const { send(sel<"setTintColor:">(), color); }
};

struct Application : Object {
    using Object::Object;
    static Application sharedApplication() { return classNamed("UIApplication").send<Application>(sel<"sharedApplication">()); }
    Window keyWindow() const { return send<Window>(sel<"keyWindow">()); }
    BOOL openURL(NS::URL url) const { return send<BOOL>(sel<"openURL:">(), url); }
};

struct Screen : Object {
    using Object::Object;
    static Screen mainScreen() { return classNamed("UIScreen").send<Screen>(sel<"mainScreen">()); }
    CGRect bounds() const { return send<CGRect>(sel<"bounds">()); }
};

struct Image : Object {
    using Object::Object;
    static Ref<Image> withContentsOfFile(String path) {
        Object allocated(classNamed("UIImage").send<id>(sel<"alloc">()));
        return Ref<Image>::adopt(allocated.send<Image>(sel<"initWithContentsOfFile:">(), path));
    }
    CGSize size() const { return send<CGSize>(sel<"size">()); }
};

struct ImageView : View {
    using View::View;
    static constexpr NSInteger kContentModeScaleAspectFit = 1;
    static constexpr NSUInteger kFlexibleWidth = 2;
    static Ref<ImageView> make(CGRect frame) {
        Object allocated(classNamed("UIImageView").send<id>(sel<"alloc">()));
        return Ref<ImageView>::adopt(allocated.send<ImageView>(sel<"initWithFrame:">(), frame));
    }
    void setImage(Image image) const { send(sel<"setImage:">(), image); }
    void setContentMode(NSInteger mode) const { send(sel<"setContentMode:">(), mode); }
};

struct TableView : View {
    using View::View;
    void setTableHeaderView(View view) const { send(sel<"setTableHeaderView:">(), view); }
};

struct Switch : View {
    using View::View;
    void setOnTintColor(Color color) const { send(sel<"setOnTintColor:">(), color); }
};

struct BarButtonItem : Object {
    using Object::Object;
    static constexpr NSInteger kStyleBordered = 1;
    static Ref<BarButtonItem> make(String title, NSInteger style, Object target, SEL action) {
        Object allocated(classNamed("UIBarButtonItem").send<id>(sel<"alloc">()));
        return Ref<BarButtonItem>::adopt(
            allocated.send<BarButtonItem>(sel<"initWithTitle:style:target:action:">(), title, style, target, action));
    }
};

inline void setRightBarButtonItem(Object navigationItem, BarButtonItem item) {
    navigationItem.send(sel<"setRightBarButtonItem:">(), item);
}

} // namespace UI
