// The binding's message layer on the GNU runtime, where a nil receiver's lookup returns a method
// that hands back its receiver: the binding itself must give zero for every return type. Super calls
// must name the method's compile-time superclass, or a subclass of a subclass would recurse.
#include "sim/platform/runtime_services.hpp"

#include "objc/class_builder.hpp"
#include "objc/uikit.hpp"

#include <vector>

#include <gtest/gtest.h>

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

double filledDouble(id, SEL) { return 2.5; }
// It asks its receiver, so that a send that hands it anything else shows.
CGRect filledRect(id self, SEL) { return CGRect{{objc::send<double>(self, sel<"real">()) - 1.5, 2}, {3, 4}}; }
long filledLong(id, SEL) { return 7; }
id filledPointer(id self, SEL) { return self; }

Class defineFilled() {
    objc::ClassBuilder builder("Filled", objc::lookUpClass("NSObject"));
    builder.method<filledRect>(sel<"rect">())
        .method<filledDouble>(sel<"real">())
        .method<filledLong>(sel<"integer">())
        .method<filledPointer>(sel<"pointer">());
    return builder.registerClass();
}

TEST(Messaging, NilReceiversGiveZeroForEveryReturnType) {
    Class filled = defineFilled();
    auto object = Ref<Object>::adopt(objc::classObject(filled).send<Object>(sel<"new">()));
    // The same messages to a live object fill every register and the struct memory first.
    EXPECT_EQ(object->send<CGRect>(sel<"rect">()).size.height, 4);
    EXPECT_EQ(object->send<double>(sel<"real">()), 2.5);

    Object nil;
    CGRect rect = nil.send<CGRect>(sel<"rect">());
    EXPECT_EQ(rect.origin.x, 0);
    EXPECT_EQ(rect.origin.y, 0);
    EXPECT_EQ(rect.size.width, 0);
    EXPECT_EQ(rect.size.height, 0);
    EXPECT_EQ(nil.send<double>(sel<"real">()), 0.0);
    EXPECT_EQ(nil.send<long>(sel<"integer">()), 0);
    EXPECT_EQ(nil.send<id>(sel<"pointer">()), nullptr);
    EXPECT_EQ(nil.send<BOOL>(sel<"isEqual:">(), object.get()), NO);
}

int baseDepth(id, SEL) { return 1; }
int middleDepth(id self, SEL cmd) { return 10 + objc::sendSuper<int>(self, objc::lookUpClass("SuperBase"), cmd); }
int leafDepth(id self, SEL cmd) { return 100 + objc::sendSuper<int>(self, objc::lookUpClass("SuperMiddle"), cmd); }

TEST(Messaging, SuperCallsNameTheCompileTimeSuperclassAndDoNotRecurse) {
    objc::ClassBuilder base("SuperBase", objc::lookUpClass("NSObject"));
    Class baseClass = base.method<baseDepth>(sel<"depth">()).registerClass();
    objc::ClassBuilder middle("SuperMiddle", baseClass);
    Class middleClass = middle.method<middleDepth>(sel<"depth">()).registerClass();
    objc::ClassBuilder leaf("SuperLeaf", middleClass);
    Class leafClass = leaf.method<leafDepth>(sel<"depth">()).registerClass();
    // A subclass that inherits the middle override runs it once, calling up into the base.
    Class inheriting = objc::ClassBuilder("SuperInheriting", middleClass).registerClass();

    auto depthOf = [](Class cls) {
        auto object = Ref<Object>::adopt(objc::classObject(cls).send<Object>(sel<"new">()));
        return object->send<int>(sel<"depth">());
    };
    EXPECT_EQ(depthOf(middleClass), 11);
    EXPECT_EQ(depthOf(leafClass), 111);
    EXPECT_EQ(depthOf(inheriting), 11);
}

// Every argument register, integer and floating point, arrives as sent, and a struct comes back
// through memory from a super send too (the sanitizer build sends through objc_msgSend).
double weighed(id, SEL, long a, long b, long c, long d, double e, double f, double g, double h, double i, double j,
               double k, double l) {
    return double(a + 2 * b + 3 * c + 4 * d) + 5 * e + 6 * f + 7 * g + 8 * h + 9 * i + 10 * j + 11 * k + 12 * l;
}
CGRect widerRect(id self, SEL cmd) {
    CGRect rect = objc::sendSuper<CGRect>(self, objc::lookUpClass("Filled"), cmd);
    rect.size.width += 10;
    return rect;
}

TEST(Messaging, ArgumentsAndStructResultsPassThroughSendsAndSuperSends) {
    Class filled = objc::lookUpClass("Filled");
    objc::ClassBuilder builder("Wider", filled ? filled : defineFilled());
    Class wider = builder.method<weighed>(sel<"weigh">()).method<widerRect>(sel<"rect">()).registerClass();
    auto object = Ref<Object>::adopt(objc::classObject(wider).send<Object>(sel<"new">()));
    EXPECT_EQ(object->send<double>(sel<"weigh">(), 1L, 2L, 3L, 4L, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0),
              30.0 + 5 + 12 + 21 + 32 + 45 + 60 + 77 + 96);
    CGRect rect = object->send<CGRect>(sel<"rect">());
    EXPECT_EQ((std::vector{rect.origin.x, rect.origin.y, rect.size.width, rect.size.height}),
              (std::vector<CGFloat>{1, 2, 13, 4}));
}

NSUInteger retainCount(Object object) { return object.send<NSUInteger>(sel<"retainCount">()); }

TEST(Ref, RetainsOnCopyAndReleasesOnDestruction) {
    auto owner = Ref<Object>::adopt(NS::classNamed("NSObject").send<Object>(sel<"new">()));
    EXPECT_EQ(retainCount(owner), 1u);
    {
        Ref<Object> copy = owner;
        EXPECT_EQ(retainCount(owner), 2u);
        Ref<Object> moved = std::move(copy);
        EXPECT_EQ(retainCount(owner), 2u);
        EXPECT_FALSE(copy);
        Ref<Object> assigned;
        assigned = moved;
        EXPECT_EQ(retainCount(owner), 3u);
    }
    EXPECT_EQ(retainCount(owner), 1u);
    auto borrowed = Ref<Object>::retain(owner.get());
    EXPECT_EQ(retainCount(owner), 2u);
}

TEST(Ref, LetsTheObjectGoWithTheLastReference) {
    int before = sim::liveInstances("NSObject");
    {
        auto owner = Ref<Object>::adopt(NS::classNamed("NSObject").send<Object>(sel<"new">()));
        Ref<Object> copy = owner;
        EXPECT_EQ(sim::liveInstances("NSObject"), before + 1);
    }
    EXPECT_EQ(sim::liveInstances("NSObject"), before);
}

} // namespace
