#include "sim/uikit/controls.hpp"

#include "sim/platform/ivars.hpp"
#include "sim/platform/root.hpp"
#include "sim/uikit/main_thread.hpp"
#include "sim/uikit/png.hpp"
#include "sim/uikit/uikit.hpp"

namespace sim::settings {
namespace {

using objc::Object;
using objc::sel;

id imageInitWithContentsOfFile(id self, SEL, id path) {
    self = objc::sendSuper<id>(self, superclassOf("UIImage"), sel<"init">());
    auto text = sim::text(NS::String(path));
    auto pixels = text ? readPngSize(hostPath(*text)) : std::nullopt;
    if (!pixels) {
        Object(self).release();
        return nullptr;
    }
    *objc::ivarOf<CGSize>(Object(self), "_size") = CGSize{CGFloat(pixels->width), CGFloat(pixels->height)};
    return self;
}

id barButtonItemInit(id self, SEL, id title, NSInteger style, id target, SEL action) {
    self = objc::sendSuper<id>(self, superclassOf("UIBarButtonItem"), sel<"init">());
    assignObject(self, "_title", title);
    *objc::ivarOf<NSInteger>(Object(self), "_style") = style;
    objectField(self, "_target") = target;
    *objc::ivarOf<SEL>(Object(self), "_action") = action;
    return self;
}

// The frame UIKit gives a cell before its table lays it out.
constexpr CGRect kCellFrame{{0, 0}, {320, 44}};

id tableViewCellInit(id self, SEL, NSInteger style, id reuseIdentifier) {
    self = objc::sendSuper<id>(self, superclassOf("UITableViewCell"), sel<"initWithFrame:">(), kCellFrame);
    if (self == nullptr) return nullptr;
    *objc::ivarOf<NSInteger>(Object(self), "_style") = style;
    assignObject(self, "_reuseIdentifier", reuseIdentifier);
    Object view(NS::classNamed("UIView").send<id>(sel<"alloc">()));
    objc::Ref<UI::View> content = objc::Ref<UI::View>::adopt(view.send<UI::View>(sel<"initWithFrame:">(), kCellFrame));
    assignObject(self, "_contentView", content.get().raw);
    UI::View(self).addSubview(content);
    return self;
}

void tableViewSetTableHeaderView(id self, SEL, id header) {
    Object(objectField(self, "_tableHeaderView")).send(sel<"removeFromSuperview">());
    assignObject(self, "_tableHeaderView", header);
    UI::View(self).addSubview(UI::View(header));
}

} // namespace

void defineUIKitControls() {
    ClassNames none;
    defineClass("UIImage", "NSObject", none, [](objc::ClassBuilder& image) {
        image.ivar<CGSize>("_size")
            .method<imageInitWithContentsOfFile>(sel<"initWithContentsOfFile:">())
            .method<getValue<CGSize, "_size">>(sel<"size">());
    });
    ui::defineUIKitClass("UIImageView", "UIView", none, [](ui::UIKitClassBuilder& view) {
        view.ivar<id>("_image")
            .ivar<NSInteger>("_contentMode")
            .method<getObject<"_image">>(sel<"image">())
            .method<setObject<"_image">>(sel<"setImage:">())
            .method<getValue<NSInteger, "_contentMode">>(sel<"contentMode">())
            .method<setValue<NSInteger, "_contentMode">>(sel<"setContentMode:">())
            .method<deallocReleasing<"UIImageView", "_image">>(sel<"dealloc">());
    });
    ui::defineUIKitClass("UISwitch", "UIView", none, [](ui::UIKitClassBuilder& control) {
        control.ivar<BOOL>("_on")
            .ivar<id>("_onTintColor")
            .method<getValue<BOOL, "_on">>(sel<"isOn">())
            .method<setValue<BOOL, "_on">>(sel<"setOn:">())
            .method<getObject<"_onTintColor">>(sel<"onTintColor">())
            .method<setObject<"_onTintColor">>(sel<"setOnTintColor:">())
            .method<deallocReleasing<"UISwitch", "_onTintColor">>(sel<"dealloc">());
    });
    ui::defineUIKitClass("UIBarButtonItem", "NSObject", none, [](ui::UIKitClassBuilder& item) {
        item.ivar<id>("_title")
            .ivar<NSInteger>("_style")
            .ivar<id>("_target")
            .ivar<SEL>("_action")
            .method<barButtonItemInit>(sel<"initWithTitle:style:target:action:">())
            .method<getObject<"_title">>(sel<"title">())
            .method<getValue<NSInteger, "_style">>(sel<"style">())
            .method<getObject<"_target">>(sel<"target">())
            .method<getValue<SEL, "_action">>(sel<"action">())
            .method<deallocReleasing<"UIBarButtonItem", "_title">>(sel<"dealloc">());
    });
    ui::defineUIKitClass("UITableViewCell", "UIView", none, [](ui::UIKitClassBuilder& cell) {
        cell.ivar<NSInteger>("_style")
            .ivar<id>("_reuseIdentifier")
            .ivar<id>("_contentView")
            .method<tableViewCellInit>(sel<"initWithStyle:reuseIdentifier:">())
            .method<getValue<NSInteger, "_style">>(sel<"style">())
            .method<getObject<"_reuseIdentifier">>(sel<"reuseIdentifier">())
            .method<getObject<"_contentView">>(sel<"contentView">())
            .method<deallocReleasing<"UITableViewCell", "_reuseIdentifier", "_contentView">>(sel<"dealloc">());
    });
    ui::defineUIKitClass("UITableView", "UIView", none, [](ui::UIKitClassBuilder& table) {
        table.ivar<id>("_tableHeaderView")
            .method<getObject<"_tableHeaderView">>(sel<"tableHeaderView">())
            .method<tableViewSetTableHeaderView>(sel<"setTableHeaderView:">())
            .method<deallocReleasing<"UITableView", "_tableHeaderView">>(sel<"dealloc">());
    });
}

} // namespace sim::settings
