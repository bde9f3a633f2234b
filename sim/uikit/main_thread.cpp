#include "sim/uikit/main_thread.hpp"

#include "sim/platform/transcript.hpp"

#include <string>

namespace sim::ui {

void reportOffMainThread(id self, SEL cmd, bool classMethod) {
    Class cls = classMethod ? reinterpret_cast<Class>(self) : objc::classOf(self);
    endRun(std::string("UIKit used off the main thread: ") + (classMethod ? '+' : '-') + "[" + class_getName(cls) + " " +
           sel_getName(cmd) + "]");
}

} // namespace sim::ui
