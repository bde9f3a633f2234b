#include "classes.hpp"

namespace sim {

namespace {
std::vector<Class>& classes() {
    static std::vector<Class> list;
    return list;
}
} // namespace

const std::vector<Class>& definedClasses() { return classes(); }

void recordDefinedClass(Class cls) { classes().push_back(cls); }

} // namespace sim
