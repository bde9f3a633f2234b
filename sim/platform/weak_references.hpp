// Apple's zeroing weak references over GNU's runtime (`objc_initWeak`, `objc_loadWeakRetained`,
// `objc_copyWeak`, ..., exported with C linkage for the product), and UIKit's rule for them: a
// weak reference to a UIKit object is copied or loaded on the main thread only. Either retains the
// object on the calling thread, which could then drop its last reference and deallocate it there;
// off the main thread the run ends with `UIKit used off the main thread: FUNCTION of a Class`.
#pragma once

#include "objc/runtime.hpp"

namespace sim {

// Objects of this class and of its subclasses are UIKit's, for the rule above.
void keepWeakReferencesOnMainThread(Class cls);

} // namespace sim
