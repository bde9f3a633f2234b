// Zeroing weak references over GNU's runtime, through the binding's Weak: a reference reads its
// object while the object lives, keeps it alive while loaded, and reads nil once it is deallocated,
// copies included; a reference destroyed first is never written to again.
#include "sim/platform/runtime_services.hpp"

#include "objc/object.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace {

using objc::Object;
using objc::Ref;
using objc::Weak;
using objc::sel;

Ref<Object> makeObject() { return Ref<Object>::adopt(NS::classNamed("NSObject").send<Object>(sel<"new">())); }

TEST(WeakReferences, ReadTheObjectWhileItLivesAndNilOnceItIsDeallocated) {
    NS::AutoreleasePool pool;
    int before = sim::liveInstances("NSObject");
    Ref<Object> owner = makeObject();
    Weak<Object> weak(owner);
    Weak<Object> copy(weak);
    auto destroyedFirst = std::make_unique<Weak<Object>>(owner);
    destroyedFirst.reset();
    {
        Ref<Object> loaded = weak.load();
        EXPECT_EQ(loaded.get(), owner.get());
        owner = Ref<Object>();
        EXPECT_EQ(sim::liveInstances("NSObject"), before + 1) << "a loaded reference keeps the object";
        EXPECT_EQ(copy.load().get(), loaded.get());
    }
    EXPECT_EQ(sim::liveInstances("NSObject"), before);
    EXPECT_FALSE(weak.load());
    EXPECT_FALSE(copy.load());
    EXPECT_FALSE(Weak<Object>(weak).load());
    EXPECT_FALSE(Weak<Object>().load());
}

} // namespace
