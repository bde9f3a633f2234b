// +[NSBundle bundleForClass:] as Apple's Foundation answers it. A class belongs to the bundle of the
// image that defines it; a class that no loaded image defines, and so every class built at run time
// with objc_allocateClassPair (the settings bundle's own, the simulated device's stand-ins), belongs
// to the main bundle: the app's, never the preference bundle that built it. So does nil. A class
// that a loaded image defines (GNUstep's own) keeps GNUstep's answer.
#pragma once

#include "objc/runtime.hpp"

namespace sim {

// Replaces the class method; makeFreshRoot() calls it once, with the other Foundation replacements.
void installBundleForClass();

// Whether a loaded image (the executable or a shared object) defines the class.
bool definedByLoadedImage(Class cls);

} // namespace sim
