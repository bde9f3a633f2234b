#include "sim/platform/stand_in_classes.hpp"

namespace sim {

namespace {
std::vector<Class>& classes() {
    static std::vector<Class> list;
    return list;
}
} // namespace

const std::vector<Class>& definedClasses() { return classes(); }

void recordDefinedClass(Class cls) { classes().push_back(cls); }

std::optional<std::string> text(NS::String string) {
    if (!string) return std::nullopt;
    return std::string(string.UTF8String());
}

} // namespace sim
