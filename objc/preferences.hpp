// The Preferences framework of the Settings app: list controllers, specifiers and table cells, and
// the runtime's protocol adoption that custom cells need.
#pragma once

#include "uikit.hpp"

struct objc_protocol;

extern "C" {
objc_protocol* objc_getProtocol(const char* name);
BOOL class_addProtocol(Class cls, objc_protocol* protocol);
}

namespace PS {

using NS::String;
using objc::Object;
using objc::sel;

// Declares that the class adopts the named protocol; nothing happens when the runtime has no such protocol.
inline void adoptProtocol(Class cls, const char* name) {
    if (objc_protocol* protocol = objc_getProtocol(name)) class_addProtocol(cls, protocol);
}

// One row of a page, as its specifier list describes it.
struct Specifier : Object {
    using Object::Object;
    Object propertyForKey(String key) const { return send<Object>(sel<"propertyForKey:">(), key); }
};

struct ListController : UI::ViewController {
    using UI::ViewController::ViewController;
    // The rows of the property list of that name in the controller's `bundle`, their actions sent
    // to `target`; autoreleased.
    NS::Array loadSpecifiersFromPlistName(String name, Object target) const {
        return send<NS::Array>(sel<"loadSpecifiersFromPlistName:target:">(), name, target);
    }
    // The same from the bundle given; not every release of the framework has it (respondsToSelector:).
    NS::Array loadSpecifiersFromPlistName(String name, Object target, NS::Bundle bundle) const {
        return send<NS::Array>(sel<"loadSpecifiersFromPlistName:target:bundle:">(), name, target, bundle);
    }
    UI::TableView table() const { return send<UI::TableView>(sel<"table">()); }
};

struct SwitchTableCell : UI::View {
    using UI::View::View;
    UI::Switch control() const { return send<UI::Switch>(sel<"control">()); }
};

} // namespace PS
