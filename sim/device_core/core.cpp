#include "sim/device_core/core.hpp"

#include "sim/device_core/objc_rules.hpp"

#include <unicorn/unicorn.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace sim::device {
namespace {

// The host's page (x86_64 Linux): other host memory is mapped into an engine in these.
constexpr uint64_t kHostPageSize = 4096;
constexpr size_t kStackBytes = 1 << 20;
constexpr size_t kGuardBytes = 64 << 10;
// Apple's arm64 leaves 128 bytes below sp to the function that runs: a nested call starts beneath.
constexpr uint64_t kRedZone = 128;
// Apple's arm64 keeps sp 16-byte aligned at every call (and the CPU checks it on each sp-based access).
constexpr uint64_t kStackAlignment = 16;
constexpr uint32_t kReturnInstruction = 0xd65f03c0;

// An engine that Unicorn cannot set up or run is the simulator's defect, not the guest's.
void check(uc_err error, const char* what) {
    if (error == UC_ERR_OK) return;
    std::fprintf(stderr, "device core: Unicorn cannot %s: %s\n", what, uc_strerror(error));
    std::abort();
}

// ---- what every engine shares ----

std::mutex sharedGuard;
std::map<int, std::vector<Segment>> imageSegments;

// The loaded image's segment that holds `address`, and which image it is.
struct HeldSegment {
    int image;
    Segment segment;
};
std::optional<HeldSegment> segmentHolding(uint64_t address) {
    std::lock_guard<std::mutex> lock(sharedGuard);
    for (const auto& [image, segments] : imageSegments)
        for (const Segment& segment : segments)
            if (address >= segment.address && address < segment.address + segment.size)
                return HeldSegment{image, segment};
    return std::nullopt;
}

uint32_t* trapPage() {
    static uint32_t* page = [] {
        void* memory = mmap(nullptr, kTrapCount * 4, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) std::abort();
        auto* words = static_cast<uint32_t*>(memory);
        std::fill(words, words + kTrapCount, kReturnInstruction);
        mprotect(memory, kTrapCount * 4, PROT_READ);
        return words;
    }();
    return page;
}
uint64_t trapBase() { return reinterpret_cast<uint64_t>(trapPage()); }
// Entry 0 is where guest code returns to the host: every call into the guest ends there.
uint64_t returnAddress() { return trapBase(); }

// The host's mappings, as /proc/self/maps lists them; read again whenever a page is not found
// accessible in them (a malloc arena grows by making its reserved pages accessible).
struct Region {
    uint64_t start, end;
    int prot;
};
std::vector<Region> hostRegions;

std::vector<Region> readHostRegions() {
    std::vector<Region> regions;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        Region region{};
        char permissions[5] = {};
        if (std::sscanf(line.c_str(), "%" SCNx64 "-%" SCNx64 " %4s", &region.start, &region.end, permissions) != 3) continue;
        region.prot = (permissions[0] == 'r' ? UC_PROT_READ : 0) | (permissions[1] == 'w' ? UC_PROT_WRITE : 0);
        regions.push_back(region);
    }
    return regions;
}

// The protection of a page that the host has mapped, or 0 for one it has not (or has made
// inaccessible, as a guard page).
int hostProtection(uint64_t page) {
    std::lock_guard<std::mutex> lock(sharedGuard);
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const Region& region : hostRegions)
            if (page >= region.start && page < region.end && region.prot &&
                msync(reinterpret_cast<void*>(page), kHostPageSize, MS_ASYNC) == 0)
                return region.prot;
        hostRegions = readHostRegions();
    }
    return 0;
}

// ---- one engine per thread ----

struct Core {
    uc_engine* uc = nullptr;
    uint8_t* stack = nullptr; // the guard, then the stack
    int depth = 0;
    uint64_t pc = 0; // the guest instruction running now
    Counts counted;
    std::vector<uint64_t> hostPages;
    std::map<int, std::vector<uint64_t>> mappedImagePages; // device pages, by image

    Core();
    ~Core();
    uint64_t stackTop() const { return reinterpret_cast<uint64_t>(stack) + kGuardBytes + kStackBytes; }
    bool inGuard(uint64_t address) const {
        uint64_t guard = reinterpret_cast<uint64_t>(stack);
        return address >= guard && address < guard + kGuardBytes;
    }
    void forgetUnloadedImages();
    bool mapImagePage(uint64_t address, bool fetch);
    void unmapHostPages();
};

thread_local Core* current = nullptr;
thread_local struct CoreOwner {
    ~CoreOwner() { delete current; }
} owner;

Core& core() {
    (void)owner;
    if (current == nullptr) current = new Core();
    return *current;
}

// The instruction at `pc`, as llvm-mc reads it (the word alone if it cannot).
std::string instructionAt(uint64_t pc) {
    uint8_t bytes[4];
    std::memcpy(bytes, reinterpret_cast<const void*>(pc), 4);
    char command[160];
    std::snprintf(command, sizeof command,
                  "echo '0x%02x 0x%02x 0x%02x 0x%02x' | llvm-mc --disassemble -triple=arm64-apple-ios 2>/dev/null",
                  bytes[0], bytes[1], bytes[2], bytes[3]);
    std::string text;
    if (FILE* pipe = popen(command, "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, pipe))
            if (line[0] == '\t' && line[1] != '.') text = line;
        pclose(pipe);
    }
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t\n") + 1);
    std::replace(text.begin(), text.end(), '\t', ' ');
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    char raw[16];
    std::snprintf(raw, sizeof raw, "%08x", word);
    return text.empty() ? std::string(".word 0x") + raw : text + " (" + raw + ")";
}

void onCode(uc_engine* uc, uint64_t address, uint32_t, void*) {
    Core& self = *current;
    self.pc = address;
    uint64_t base = trapBase();
    if (address < base || address >= base + kTrapCount * 4) {
        ++self.counted.instructions;
        return;
    }
    if (address == returnAddress()) return;
    ++self.counted.crossings;
    uint64_t sp = readRegister(uc, UC_ARM64_REG_SP);
    if (sp % kStackAlignment)
        fault("a call to the host with the stack pointer at " + hex(sp) + ", which is not 16-byte aligned");
    // Resume where the bridge says, never at the trap: a nested run left pc elsewhere, and the trap
    // must not run twice.
    writeRegister(uc, UC_ARM64_REG_PC, serveTrap(size_t(address - base) / 4));
}

void onRead(uc_engine*, uc_mem_type, uint64_t address, int, int64_t, void*) { checkObjectRead(address); }

bool onUnmapped(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void*) {
    Core& self = *current;
    bool fetch = type == UC_MEM_FETCH_UNMAPPED;
    if (self.mapImagePage(address, fetch)) return true;
    if (fetch) fault("a call of, or jump to, " + hex(address) + ", which is neither guest text nor a bridge entry");
    if (self.inGuard(address)) fault("guest stack overflow (an access at " + hex(address) + ")");
    uint64_t page = address & ~(kHostPageSize - 1);
    int prot = hostProtection(page);
    if (prot == 0)
        fault(std::string("an access to ") + hex(address) + " (" + std::to_string(size) +
              " bytes), memory that the host has not allocated");
    if (uc_mem_map_ptr(self.uc, page, kHostPageSize, uint32_t(prot), reinterpret_cast<void*>(page)) != UC_ERR_OK)
        fault("the core cannot map the host page " + hex(page));
    self.hostPages.push_back(page);
    return true;
}

bool onProtection(uc_engine*, uc_mem_type type, uint64_t address, int, int64_t, void*) {
    if (type == UC_MEM_FETCH_PROT)
        fault("a call of, or jump to, " + hex(address) + ", which is neither guest text nor a bridge entry");
    fault(std::string(type == UC_MEM_WRITE_PROT ? "a write to " : "a read of ") + hex(address) +
          (type == UC_MEM_WRITE_PROT ? ", which is not writable" : ", which is not readable"));
}

void onInterrupt(uc_engine*, uint32_t number, void*) {
    fault("the guest raised exception " + std::to_string(number) + " (a brk, svc or undefined instruction)");
}

Core::Core() {
    check(uc_open(UC_ARCH_ARM64, UC_MODE_ARM, &uc), "make an arm64 engine");
    current = this;
    writeRegister(uc, UC_ARM64_REG_CPACR_EL1, 3 << 20); // FP and SIMD on
    check(uc_mem_map_ptr(uc, trapBase(), kTrapCount * 4, UC_PROT_READ | UC_PROT_EXEC, trapPage()), "map the bridge");
    void* memory = mmap(nullptr, kGuardBytes + kStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) std::abort();
    stack = static_cast<uint8_t*>(memory);
    mprotect(stack, kGuardBytes, PROT_NONE);
    check(uc_mem_map_ptr(uc, reinterpret_cast<uint64_t>(stack) + kGuardBytes, kStackBytes, UC_PROT_READ | UC_PROT_WRITE,
                         stack + kGuardBytes),
          "map the guest stack");
    uc_hook hook;
    check(uc_hook_add(uc, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(onCode), nullptr, 1, 0), "hook code");
    check(uc_hook_add(uc, &hook, UC_HOOK_MEM_READ, reinterpret_cast<void*>(onRead), nullptr, 1, 0), "hook reads");
    check(uc_hook_add(uc, &hook, UC_HOOK_MEM_UNMAPPED, reinterpret_cast<void*>(onUnmapped), nullptr, 1, 0),
          "hook unmapped accesses");
    check(uc_hook_add(uc, &hook, UC_HOOK_MEM_PROT, reinterpret_cast<void*>(onProtection), nullptr, 1, 0),
          "hook protection faults");
    check(uc_hook_add(uc, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(onInterrupt), nullptr, 1, 0), "hook exceptions");
}

Core::~Core() {
    check(uc_close(uc), "close an engine");
    munmap(stack, kGuardBytes + kStackBytes);
}

void Core::forgetUnloadedImages() {
    std::lock_guard<std::mutex> lock(sharedGuard);
    for (auto image = mappedImagePages.begin(); image != mappedImagePages.end();) {
        if (imageSegments.count(image->first)) {
            ++image;
            continue;
        }
        for (uint64_t page : image->second) check(uc_mem_unmap(uc, page, kDevicePageSize), "unmap an image page");
        image = mappedImagePages.erase(image);
    }
}

// The device page of an image segment that holds `address`, mapped as its segment allows; the
// loader validates the page first, as the kernel does when a page is first touched. Data is never
// executable.
bool Core::mapImagePage(uint64_t address, bool fetch) {
    std::optional<HeldSegment> held = segmentHolding(address);
    if (!held || (fetch && !held->segment.executable)) return false;
    uint64_t page = devicePageOf(address);
    imagePageTouched(page);
    uint32_t prot = held->segment.executable ? UC_PROT_READ | UC_PROT_EXEC : UC_PROT_READ | UC_PROT_WRITE;
    check(uc_mem_map_ptr(uc, page, kDevicePageSize, prot, reinterpret_cast<void*>(page)), "map an image page");
    std::lock_guard<std::mutex> lock(sharedGuard);
    mappedImagePages[held->image].push_back(page);
    return true;
}

void Core::unmapHostPages() {
    for (uint64_t page : hostPages) check(uc_mem_unmap(uc, page, kHostPageSize), "unmap a host page");
    hostPages.clear();
}

} // namespace

Results callGuest(uint64_t address, const Frame& frame) {
    Core& self = core();
    uc_engine* uc = self.uc;
    bool outermost = self.depth == 0;
    if (outermost) self.forgetUnloadedImages();
    static const int saved[] = {UC_ARM64_REG_SP, UC_ARM64_REG_LR, UC_ARM64_REG_FP, UC_ARM64_REG_PC};
    uint64_t before[4];
    for (int i = 0; i < 4; ++i) before[i] = readRegister(uc, saved[i]);
    uint64_t sp = outermost ? self.stackTop() : (before[0] - kRedZone) & ~(kStackAlignment - 1);
    sp -= (frame.stackBytes + kStackAlignment - 1) & ~(kStackAlignment - 1);
    if (sp < self.stackTop() - kStackBytes) fault("guest stack overflow (a call needs more than the stack holds)");
    if (frame.stackBytes) std::memcpy(reinterpret_cast<void*>(sp), frame.stackArguments, frame.stackBytes);
    writeRegister(uc, UC_ARM64_REG_SP, sp);
    for (int i = 0; i < 8; ++i) {
        writeRegister(uc, UC_ARM64_REG_X0 + i, frame.x[i]);
        writeRegister(uc, UC_ARM64_REG_D0 + i, frame.d[i]);
    }
    writeRegister(uc, UC_ARM64_REG_X8, frame.x8);
    writeRegister(uc, UC_ARM64_REG_LR, returnAddress());
    ++self.counted.crossings;
    ++self.depth;
    uc_err error = uc_emu_start(uc, address, returnAddress(), 0, 0);
    --self.depth;
    if (error != UC_ERR_OK) fault(std::string("the core stopped: ") + uc_strerror(error));
    Results results;
    for (int i = 0; i < 2; ++i) results.x[i] = readRegister(uc, UC_ARM64_REG_X0 + i);
    for (int i = 0; i < 4; ++i) results.d[i] = readRegister(uc, UC_ARM64_REG_D0 + i);
    if (outermost) self.unmapHostPages();
    else
        for (int i = 0; i < 4; ++i) writeRegister(uc, saved[i], before[i]);
    return results;
}

Counts counts() { return core().counted; }

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%" PRIx64, value);
    return text;
}

uc_struct* engine() { return core().uc; }

uint64_t readRegister(uc_struct* uc, int reg) {
    uint64_t value = 0;
    check(uc_reg_read(uc, reg, &value), "read a register");
    return value;
}

void writeRegister(uc_struct* uc, int reg, uint64_t value) { check(uc_reg_write(uc, reg, &value), "write a register"); }

uint64_t trapAddress(size_t index) { return trapBase() + index * 4; }

void addImageSegment(int image, const Segment& segment) {
    std::lock_guard<std::mutex> lock(sharedGuard);
    imageSegments[image].push_back(segment);
}

void removeImage(int image) {
    std::lock_guard<std::mutex> lock(sharedGuard);
    imageSegments.erase(image);
}

bool isTrap(uint64_t address) { return address > trapBase() && address < trapBase() + kTrapCount * 4; }

bool isGuestText(uint64_t address) {
    std::optional<HeldSegment> held = segmentHolding(address);
    return held && held->segment.executable;
}

void fault(const std::string& what) {
    uint64_t pc = current ? current->pc : 0;
    std::fflush(stdout); // the transcript so far
    std::fprintf(stderr, "device core: %s, at guest pc %s: %s\n", what.c_str(), hex(pc).c_str(),
                 pc ? instructionAt(pc).c_str() : "(no guest instruction)");
    std::fflush(stderr);
    std::abort();
}

} // namespace sim::device
