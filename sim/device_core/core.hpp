// The emulated arm64 core: one Unicorn engine for each host thread that enters guest code, with a
// guest stack of its own. Guest addresses are host addresses: the guest's images, its stacks and the
// bridge's entries are host memory mapped into the engine at the same addresses, and other host
// memory is mapped on the guest's first touch and unmapped when the outermost guest call returns.
// Apple's rules that the host cannot show are checked here (the Objective-C ones in objc_rules.hpp),
// on every guest instruction that could break them: a jump out of guest text, an execution of
// data, an access to unmapped memory, a stack overflow, a crossing to the host with a misaligned
// stack. A broken rule ends the run with the guest pc and the instruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct uc_struct;

namespace sim::device {

// The arguments of a call into the guest, by Apple's arm64 convention.
struct Frame {
    uint64_t x[8] = {};
    uint64_t x8 = 0;
    uint64_t d[8] = {};
    const void* stackArguments = nullptr;
    size_t stackBytes = 0;
};

// What the guest left in the result registers.
struct Results {
    uint64_t x[2];
    uint64_t d[4];
};

// Runs the guest function at `address` on this thread's core to its return.
Results callGuest(uint64_t address, const Frame& frame);

// What this thread's core has run since it was made: guest instructions, and calls that crossed
// between guest and host, either way. Counts, not times: the same calls give the same counts.
struct Counts {
    uint64_t instructions = 0;
    uint64_t crossings = 0;
};
Counts counts();

// This thread's engine, for the bridge while it serves a trap, and its registers (Unicorn's
// UC_ARM64_REG_* numbers).
uc_struct* engine();
uint64_t readRegister(uc_struct* uc, int reg);
void writeRegister(uc_struct* uc, int reg, uint64_t value);

// The bridge's entries: each is one instruction of a page of guest text that the bridge serves;
// `serveTrap(index)` runs when the guest reaches entry `index`, leaves the result registers set and
// answers where the guest goes on (its return address, or a guest function that takes the call).
// Entry 0 is where every call into the guest returns to the host.
constexpr size_t kTrapCount = 1 << 16;
uint64_t trapAddress(size_t index);
uint64_t serveTrap(size_t index); // defined by the bridge
bool isTrap(uint64_t address);

// The device's virtual-memory page (arm64 iOS): images are mapped, touched and validated in these.
// The host's own pages (4 KB) are another size; the core maps other host memory in those.
constexpr uint64_t kDevicePageSize = 16384;
// The device page that holds `address`; a size or an address rounded up to a device page boundary.
constexpr uint64_t devicePageOf(uint64_t address) { return address & ~(kDevicePageSize - 1); }
constexpr uint64_t roundUpToDevicePage(uint64_t value) { return devicePageOf(value + kDevicePageSize - 1); }

// A loaded image's segments, which engines map a device page at a time, when the guest first
// touches it.
struct Segment {
    uint64_t address;
    size_t size;
    bool executable; // guest text; everything else is data, readable and writable
};
void addImageSegment(int image, const Segment& segment);
void removeImage(int image);
// Whether the address is in the text of a loaded image.
bool isGuestText(uint64_t address);

// The loader's check of a page of an image when the guest first touches it (its code signature).
void imagePageTouched(uint64_t address);

// An address or a size as the messages print it: 0x1f40.
std::string hex(uint64_t value);

// Ends the run for a broken rule, naming the guest pc and its instruction.
[[noreturn]] void fault(const std::string& what);

} // namespace sim::device
