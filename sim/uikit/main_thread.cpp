#include "sim/uikit/main_thread.hpp"

#include <cstdio>
#include <cstdlib>

namespace sim::ui {

void reportOffMainThread(id self, SEL cmd, bool classMethod) {
    Class cls = classMethod ? reinterpret_cast<Class>(self) : objc::classOf(self);
    std::fprintf(stderr, "UIKit used off the main thread: %c[%s %s]\n", classMethod ? '+' : '-', class_getName(cls),
                 sel_getName(cmd));
    std::fflush(stderr);
    std::abort();
}

} // namespace sim::ui
