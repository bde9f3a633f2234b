// The bridge: calls that cross between guest code and the host, with Apple's arm64 convention on
// the guest's side and libffi on the host's.
//
// guest -> host: each import is a trap entry. A C function crosses by its row in the table of
// imports (imports.cpp); objc_msgSend and objc_msgSendSuper by the type encoding of the method that
// the host runtime finds (a nil receiver gives zero result registers, as Apple's runtime does).
// host -> guest: a guest function pointer that reaches the host (an IMP, a callback, a block's
// invoke, copy and dispose helpers) crosses as a libffi closure that enters the guest; a host
// function handed back to the guest crosses as a trap entry. A guest block that reaches the host
// crosses as a copy whose helpers enter the guest, so that the host copies and disposes it with
// the guest's own helpers.
#pragma once

#include "sim/device_core/releases.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace sim::device {

// A library of the simulated device, as dyld sees it.
struct DeviceLibrary {
    // The OS that Apple's libraries were built for: the release that carries them.
    static constexpr Version ownRelease = 0;
    const char* installName;
    Version compatibility;
    Version current;
    Version minOS = ownRelease;
    std::vector<const char*> reexports = {};
};
extern const DeviceLibrary kLibraries[];
extern const size_t kLibraryCount;

// An import that the simulated device provides: a function with the type encoding of its C
// signature, or data.
struct Import {
    enum Kind { function, data, message, superMessage, lazyBinder, unreachable };
    const char* library; // install name, as the binary's load command names it
    const char* symbol;  // as the binary names it, with the leading underscore
    Kind kind = function;
    const char* types = nullptr; // of a function
    // The encoding of the function pointers among the arguments ("^?", and "^^?" for a slot that
    // the host fills), from the raw arguments; empty when the host will not call them.
    std::string (*callbackTypes)(const uint64_t* arguments) = nullptr;
    const char* hostName = nullptr; // when the host's symbol has another name
    Version since = 0;              // the first release that exports it
};
extern const Import kImports[];
extern const size_t kImportCount;

// The library of that install name, if the device has it.
const DeviceLibrary* deviceLibrary(const std::string& installName);
// What `library`, or a library it re-exports (depth first, as dyld follows them), exports under
// that name in `release`; null when none does.
const Import* exportOf(const DeviceLibrary& library, const std::string& symbol, Version release);
// The guest address that binds to the export: a bridge entry, or the host's data.
uint64_t importAddress(const Import& import);

// A host function pointer that calls the guest function at `address`, of that type encoding.
void* hostCallable(uint64_t address, const std::string& encoding);
// A guest address that calls the host function `function`, of that type encoding.
uint64_t guestCallable(void* function, const std::string& encoding);

} // namespace sim::device
