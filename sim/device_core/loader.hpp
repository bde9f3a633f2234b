// Layer sim/device_core: the device's loader and CPU, the bottom layer. It includes no other layer,
// and reaches what the others export only through the symbols that the device's libraries would
// export.
//
// The loader: dyld's steps, in dyld's order and with dyld's messages, for the model and release it
// is given (releases.hpp): the slice against the process's architecture, the load commands as
// sniffLoadCommands checks them, the code signature as the kernel validates it (and each page's
// hashes when the page is first touched), each library that a load command names with its
// compatibility version, the rebases, every bind against what that library (or one it re-exports)
// exports in that release, lazy binds at their first call, and the `__mod_init_func` initializers in
// the emulated core (core.hpp). Segments go into host memory so that guest addresses are host
// addresses.
#pragma once

#include "sim/device_core/releases.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim::device {

// A binary that dyld refuses, with dyld's message.
struct LoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Image;

// Loads, binds and initializes the binary as that device's loader does; throws LoadError.
Image* loadImage(const std::string& path, const Device& device);
// Takes the image's memory away; the guest code it held can no longer run.
void unloadImage(Image* image);
// The address of a symbol that the binary defines (its symbol table), or 0.
uint64_t symbolAddress(const Image* image, const std::string& name);

// A product library loaded as the apps load it: an ELF shared object with dlopen (the host build),
// a Mach-O binary with the device core (the package's bytes).
struct Library {
    void* host = nullptr;
    Image* guest = nullptr;
    explicit operator bool() const { return host || guest; }
};
// As dlopen: a binary already open is handed back, its initializers not run again. Throws LoadError
// with dyld's message, which refusedLoads() keeps for the run.
Library openLibrary(const std::string& path, const Device& device);
void closeLibrary(Library library);
// Whether the library at `path` is still loaded.
bool libraryLoaded(const std::string& path);
// The messages of every load refused in this process, in order.
const std::vector<std::string>& refusedLoads();

// dyld_stub_binder's work: binds the lazy pointer of the lazy bind at `lazyBindOffset` in the image
// whose cache slot is `imageCache`, and answers its target; a symbol the release lacks halts the
// process with dyld's message.
uint64_t bindLazyPointer(uint64_t imageCache, uint64_t lazyBindOffset);

} // namespace sim::device
