#include "sim/device_core/objc_rules.hpp"

#include "sim/device_core/core.hpp"

#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

extern "C" int objc_getClassList(void** buffer, int capacity);

namespace sim::device {
namespace {

std::mutex notedGuard;
std::unordered_set<uint64_t> notedObjects;

bool isClass(uint64_t word) {
    static std::mutex guard;
    static std::unordered_set<uint64_t> classes;
    static int listed = -1;
    std::lock_guard<std::mutex> lock(guard);
    int count = objc_getClassList(nullptr, 0);
    if (count != listed) {
        std::vector<void*> list(size_t(count) + 1);
        listed = objc_getClassList(list.data(), count);
        classes.clear();
        for (int i = 0; i < listed; ++i) {
            classes.insert(reinterpret_cast<uint64_t>(list[size_t(i)]));
            // GNU's class_pointer of a class is its metaclass.
            classes.insert(*static_cast<uint64_t*>(list[size_t(i)]));
        }
    }
    return classes.count(word) != 0;
}

} // namespace

void noteObject(const void* object) {
    if (object == nullptr) return;
    std::lock_guard<std::mutex> lock(notedGuard);
    notedObjects.insert(reinterpret_cast<uint64_t>(object));
}

void checkObjectRead(uint64_t address) {
    uint64_t word = address & ~uint64_t(7);
    {
        std::lock_guard<std::mutex> lock(notedGuard);
        if (notedObjects.count(word) == 0) return;
    }
    // A noted address that no longer holds a class pointer has been freed and reused.
    if (!isClass(*reinterpret_cast<const uint64_t*>(word))) return;
    fault("a load of the isa of the object at " + hex(word) +
          " (on arm64 an object's first word is a non-pointer isa, not its class; ask object_getClass)");
}

} // namespace sim::device
