// Zeroing weak references over GNU's runtime, through the binding's Weak: a reference reads its
// object while the object lives, keeps it alive while loaded, and reads nil once it is deallocated,
// copies included; a reference destroyed first is never written to again. A reference to a UIKit
// object is copied and loaded on the main thread only.
#include "sim/platform/runtime_services.hpp"
#include "sim/platform/weak_references.hpp"

#include "objc/class_builder.hpp"

#include "objc/object.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

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

TEST(WeakReferences, ToAUIKitObjectEndTheRunWhenCopiedOrLoadedOffTheMainThread) {
    NS::AutoreleasePool pool;
    Class view = objc::ClassBuilder("WeakView", objc::lookUpClass("NSObject")).registerClass();
    sim::keepWeakReferencesOnMainThread(view);
    Class subclass = objc::ClassBuilder("WeakSubview", view).registerClass();
    auto shown = Ref<Object>::adopt(objc::classObject(subclass).send<Object>(sel<"new">()));
    Ref<Object> plain = makeObject();
    Weak<Object> toView(shown), toPlain(plain), gone;
    std::thread([&] {
        sim::ForeignThread thread;
        EXPECT_EQ(Weak<Object>(toPlain).load().get(), plain.get());
        EXPECT_FALSE(Weak<Object>(gone).load());
    }).join();
    EXPECT_DEATH(std::thread([&] { Weak<Object> copy(toView); }).join(),
                 "UIKit used off the main thread: objc_copyWeak of a WeakSubview");
    EXPECT_DEATH(std::thread([&] { toView.load(); }).join(),
                 "UIKit used off the main thread: objc_loadWeakRetained of a WeakSubview");
}

} // namespace
