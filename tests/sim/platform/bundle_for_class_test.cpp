// +[NSBundle bundleForClass:] as Apple's Foundation answers it: a class that no loaded image
// defines, such as one built at run time, belongs to the main bundle.
#include "sim/platform/bundle_for_class.hpp"

#include "objc/class_builder.hpp"
#include "objc/foundation.hpp"
#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"

#include <gtest/gtest.h>

namespace {

using objc::Object;
using objc::sel;

class BundleForClass : public ::testing::Test {
protected:
    void SetUp() override { sim::makeFreshRoot(); }
    void TearDown() override { sim::removeRoot(); }

    static Object bundleFor(Class cls) { return NS::classNamed("NSBundle").send<Object>(sel<"bundleForClass:">(), cls); }
    static Object mainBundle() { return NS::classNamed("NSBundle").send<Object>(sel<"mainBundle">()); }

    NS::AutoreleasePool pool;
};

TEST_F(BundleForClass, AClassBuiltAtRunTimeBelongsToTheMainBundle) {
    Class built = objc::ClassBuilder("BundleForClassTestBuilt", objc::lookUpClass("NSObject")).registerClass();
    ASSERT_NE(built, nullptr);
    EXPECT_FALSE(sim::definedByLoadedImage(built));
    EXPECT_EQ(bundleFor(built), mainBundle());
    // Its metaclass too, and nil.
    EXPECT_EQ(bundleFor(objc::classOf(reinterpret_cast<id>(built))), mainBundle());
    EXPECT_EQ(bundleFor(nullptr), mainBundle());
}

TEST_F(BundleForClass, AClassOfALoadedImageKeepsFoundationsAnswer) {
    Class string = objc::lookUpClass("NSString");
    EXPECT_TRUE(sim::definedByLoadedImage(string));
    EXPECT_TRUE(bundleFor(string));
}

} // namespace
