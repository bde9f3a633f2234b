#include "sim/platform/call_log.hpp"

namespace sim {

namespace {
bool logging = true;

std::vector<Call>& calls() {
    static std::vector<Call> log;
    return log;
}
} // namespace

void logCall(const char* ownerClass, const char* method, id receiver, SEL sel,
             std::vector<std::uintptr_t> arguments) {
    if (!logging) return;
    calls().push_back({implementationName(ownerClass, method), receiver, sel_getName(sel), std::move(arguments)});
}

const std::vector<Call>& callLog() { return calls(); }

std::vector<Call> callsOf(const std::string& selector) {
    std::vector<Call> found;
    for (const Call& call : calls())
        if (call.selector == selector) found.push_back(call);
    return found;
}

void clearCallLog() { calls().clear(); }

void setCallLogging(bool on) { logging = on; }

} // namespace sim
