// The library's only entry point: the loader runs this once when the substrate loads it.
#include "tweak.hpp"

__attribute__((constructor)) static void loadTweak() { startTweak(); }
