// Apple's NSString compares literally, UTF-16 code unit by code unit; GNUstep's treats canonically
// equivalent strings (a composed "é" and "e" followed by a combining accent) as equal. The tweak
// relies on the literal rule, so every string class of GNUstep's cluster is given it.
#include "objc/foundation.hpp"
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/objects.hpp"

#include <vector>

extern "C" int objc_getClassList(Class* buffer, int capacity);

namespace sim {

namespace {

struct Range {
    NSUInteger location, length;
};

std::vector<unsigned short> codeUnitsOf(Object string, NSUInteger length) {
    std::vector<unsigned short> units(length);
    string.send(sel<"getCharacters:range:">(), units.data(), Range{0, length});
    return units;
}

bool literallyEqual(Object a, Object b) {
    NSUInteger length = a.send<NSUInteger>(sel<"length">());
    return length == b.send<NSUInteger>(sel<"length">()) && codeUnitsOf(a, length) == codeUnitsOf(b, length);
}

BOOL isEqualToString(id self, SEL, id other) {
    if (self == other) return YES;
    return other != nullptr && literallyEqual(Object(self), Object(other));
}

BOOL isEqual(id self, SEL, id other) {
    if (self == other) return YES;
    return Object(other).isKindOfClass(objc::lookUpClass("NSString")) && literallyEqual(Object(self), Object(other));
}

bool isStringClass(Class cls, Class string) {
    for (; cls; cls = class_getSuperclass(cls))
        if (cls == string) return true;
    return false;
}

__attribute__((constructor)) void makeStringEqualityLiteral() {
    Class string = objc::lookUpClass("NSString");
    std::vector<Class> classes(objc_getClassList(nullptr, 0));
    classes.resize(objc_getClassList(classes.data(), int(classes.size())));
    for (Class cls : classes) {
        if (!isStringClass(cls, string)) continue;
        replaceOwnMethod(cls, sel<"isEqualToString:">(), reinterpret_cast<IMP>(isEqualToString));
        replaceOwnMethod(cls, sel<"isEqual:">(), reinterpret_cast<IMP>(isEqual));
    }
}

} // namespace

} // namespace sim
