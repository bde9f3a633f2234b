// Layer sim/device_core: the device's loader and CPU. It uses sim/platform, and what every other
// layer exports, only through the symbols that the device's libraries would export.
//
// The loader: it maps the arm64 slice of a Mach-O binary into host memory so that guest addresses
// are host addresses, applies its rebases, binds each import by the library ordinal that the binary
// names against what the simulated device exports for that library (bridge.hpp), and runs its
// `__mod_init_func` initializers in the emulated core (core.hpp), as dyld does on the device.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace sim::device {

// A binary that cannot be loaded: not an arm64 Mach-O, or an import that the simulated device does
// not provide for the library that the binary names.
struct LoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Image;

// Whether the file is a Mach-O binary (thin or fat), which only the device core can run.
bool isMachO(const std::string& path);
// Loads, binds and initializes the binary; throws LoadError.
Image* loadImage(const std::string& path);
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
// Throws LoadError with the loader's reason.
Library openLibrary(const std::string& path);
void closeLibrary(Library library);
// Whether the library at `path` is still loaded.
bool libraryLoaded(const std::string& path);

} // namespace sim::device
