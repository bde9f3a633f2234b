#include "sim/platform/gnu_runtime.hpp"

#include <cstdlib>

extern "C" void __objc_update_dispatch_table_for_class(Class cls);

namespace sim {

namespace {

// GNU's module ABI 8 (GCC's objc-private/module-abi-8.h): the fields up to the method lists.
struct GnuMethod {
    SEL name;
    const char* types;
    IMP imp;
};
struct GnuMethodList {
    GnuMethodList* next;
    int count;
    GnuMethod methods[1];
};
struct GnuClass {
    Class metaclass;
    Class superclass;
    const char* name;
    long version;
    unsigned long info;
    long instanceSize;
    void* ivars;
    GnuMethodList* methods;
};

GnuClass* layout(Class cls) { return reinterpret_cast<GnuClass*>(cls); }

} // namespace

MethodsMark markMethods(Class cls) { return {cls, layout(cls)->methods}; }

void restoreMethods(const MethodsMark& mark) {
    GnuClass* cls = layout(mark.cls);
    GnuMethodList* at = cls->methods;
    while (at != mark.head && at != nullptr) at = at->next;
    if (cls->methods == mark.head || at != mark.head) return;
    while (cls->methods != mark.head) {
        GnuMethodList* added = cls->methods;
        cls->methods = added->next;
        std::free(added);
    }
    __objc_update_dispatch_table_for_class(mark.cls);
}

void removeAddedMethod(Class cls, SEL sel) {
    for (GnuMethodList** link = &layout(cls)->methods; *link != nullptr; link = &(*link)->next) {
        GnuMethodList* list = *link;
        if (list->count == 1 && sel_isEqual(list->methods[0].name, sel)) {
            *link = list->next;
            std::free(list);
            __objc_update_dispatch_table_for_class(cls);
            return;
        }
    }
}

Method ownMethod(Class cls, SEL sel) {
    Method method = class_getInstanceMethod(cls, sel);
    Class superclass = class_getSuperclass(cls);
    if (method == nullptr || (superclass && class_getInstanceMethod(superclass, sel) == method)) return nullptr;
    return method;
}

IMP replaceOwnMethod(Class cls, SEL sel, IMP replacement) {
    Method own = ownMethod(cls, sel);
    return own ? method_setImplementation(own, replacement) : nullptr;
}

} // namespace sim
