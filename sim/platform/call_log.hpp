// Every stand-in implementation of a method that the tweak hooks writes its calls here, so a test
// can prove that a replacement called the implementation it replaced once, with the same receiver,
// selector and arguments.
#pragma once

#include "objc/runtime.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Call {
    // The implementation that ran, as Objective-C names it ("-[Class selector]", the class and
    // selector it was written for): a replacement that called another row's previous
    // implementation sends the right selector to the wrong code.
    std::string implementation;
    id receiver;
    std::string selector;
    // Object arguments as their addresses, BOOLs as 0 or 1.
    std::vector<std::uintptr_t> arguments;

    bool operator==(const Call&) const = default;
};

void logCall(const char* ownerClass, const char* method, id receiver, SEL sel,
             std::vector<std::uintptr_t> arguments = {});
const std::vector<Call>& callLog();
// The calls of one selector, in order.
std::vector<Call> callsOf(const std::string& selector);
void clearCallLog();
// Benchmarks call hooked methods millions of times: they turn the log off.
void setCallLogging(bool on);

inline std::uintptr_t argument(id object) { return reinterpret_cast<std::uintptr_t>(object); }
inline std::string implementationName(const std::string& ownerClass, const std::string& method) {
    return "-[" + ownerClass + " " + method + "]";
}

} // namespace sim
