#include "sim/platform/bundle_for_class.hpp"

#include "objc/foundation.hpp"
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/objects.hpp"

#include <dlfcn.h>

namespace sim {
namespace {

IMP originalBundleForClass;

// The main bundle is made first in any case: GNUstep's own lookup by class raises (NSMapGet on a
// null table) in a process that has not made it yet.
id bundleForClass(id self, SEL cmd, Class cls) {
    id main = Object(self).send<id>(sel<"mainBundle">());
    if (!definedByLoadedImage(cls)) return main;
    return objc::sendTo<id>(originalBundleForClass, self, cmd, cls);
}

} // namespace

// GNU's runtime keeps the class structure of compiled code in the image's data, and allocates that
// of a class built at run time on the heap, which lies in no image.
bool definedByLoadedImage(Class cls) {
    Dl_info info;
    return cls != nullptr && dladdr(reinterpret_cast<const void*>(cls), &info) != 0;
}

void installBundleForClass() {
    originalBundleForClass = replaceOwnMethod(metaclassOf(objc::lookUpClass("NSBundle")), sel<"bundleForClass:">(),
                                              reinterpret_cast<IMP>(bundleForClass));
}

} // namespace sim
