#include "sim/device_core/core.hpp"

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
#include <sstream>
#include <unordered_set>
#include <vector>

extern "C" int objc_getClassList(void** buffer, int capacity);

namespace sim::device {
namespace {

constexpr uint64_t kPage = 4096;
constexpr size_t kStackBytes = 1 << 20;
constexpr size_t kGuardBytes = 64 << 10;
// Apple's arm64 leaves 128 bytes below sp to the function that runs: a nested call starts beneath.
constexpr uint64_t kRedZone = 128;
constexpr uint32_t kReturnInstruction = 0xd65f03c0;

uint64_t pageOf(uint64_t address) { return address & ~(kPage - 1); }

// ---- what every engine shares ----

std::mutex sharedGuard;
std::map<int, std::vector<Segment>> imageSegments;
std::unordered_set<uint64_t> notedObjects;

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
                msync(reinterpret_cast<void*>(page), kPage, MS_ASYNC) == 0)
                return region.prot;
        hostRegions = readHostRegions();
    }
    return 0;
}

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

// ---- one engine per thread ----

struct Core {
    uc_engine* uc = nullptr;
    uint8_t* stack = nullptr; // the guard, then the stack
    int depth = 0;
    uint64_t pc = 0; // the guest instruction running now
    Counts counted;
    std::vector<uint64_t> hostPages;
    std::map<int, std::vector<Segment>> mappedImages;

    Core();
    ~Core();
    uint64_t stackTop() const { return reinterpret_cast<uint64_t>(stack) + kGuardBytes + kStackBytes; }
    bool inGuard(uint64_t address) const {
        uint64_t guard = reinterpret_cast<uint64_t>(stack);
        return address >= guard && address < guard + kGuardBytes;
    }
    void forgetUnloadedImages();
    bool mapImage(uint64_t address, bool fetch);
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


std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%" PRIx64, value);
    return text;
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
    // Resume where the bridge says, never at the trap: a nested run left pc elsewhere, and the trap
    // must not run twice.
    writeRegister(uc, UC_ARM64_REG_PC, serveTrap(size_t(address - base) / 4));
}

void onRead(uc_engine*, uc_mem_type, uint64_t address, int, int64_t, void*) {
    uint64_t word = address & ~uint64_t(7);
    {
        std::lock_guard<std::mutex> lock(sharedGuard);
        if (notedObjects.count(word) == 0) return;
    }
    if (isClass(*reinterpret_cast<const uint64_t*>(word)))
        fault("a load of the isa of the object at " + hex(word) +
              " (on arm64 an object's first word is a non-pointer isa, not its class; ask object_getClass)");
}

bool onUnmapped(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void*) {
    Core& self = *current;
    bool fetch = type == UC_MEM_FETCH_UNMAPPED;
    if (self.mapImage(address, fetch)) return true;
    if (fetch) fault("a call of, or jump to, " + hex(address) + ", which is neither guest text nor a bridge entry");
    if (self.inGuard(address)) fault("guest stack overflow (an access at " + hex(address) + ")");
    uint64_t page = pageOf(address);
    int prot = hostProtection(page);
    if (prot == 0)
        fault(std::string("an access to ") + hex(address) + " (" + std::to_string(size) +
              " bytes), memory that the host has not allocated");
    if (uc_mem_map_ptr(self.uc, page, kPage, uint32_t(prot), reinterpret_cast<void*>(page)) != UC_ERR_OK)
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
    if (uc_open(UC_ARCH_ARM64, UC_MODE_ARM, &uc) != UC_ERR_OK) {
        std::fprintf(stderr, "device core: Unicorn cannot make an arm64 engine\n");
        std::abort();
    }
    current = this;
    writeRegister(uc, UC_ARM64_REG_CPACR_EL1, 3 << 20); // FP and SIMD on
    uc_mem_map_ptr(uc, trapBase(), kTrapCount * 4, UC_PROT_READ | UC_PROT_EXEC, trapPage());
    void* memory = mmap(nullptr, kGuardBytes + kStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) std::abort();
    stack = static_cast<uint8_t*>(memory);
    mprotect(stack, kGuardBytes, PROT_NONE);
    uc_mem_map_ptr(uc, reinterpret_cast<uint64_t>(stack) + kGuardBytes, kStackBytes, UC_PROT_READ | UC_PROT_WRITE,
                   stack + kGuardBytes);
    uc_hook hook;
    uc_hook_add(uc, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(onCode), nullptr, 1, 0);
    uc_hook_add(uc, &hook, UC_HOOK_MEM_READ, reinterpret_cast<void*>(onRead), nullptr, 1, 0);
    uc_hook_add(uc, &hook, UC_HOOK_MEM_UNMAPPED, reinterpret_cast<void*>(onUnmapped), nullptr, 1, 0);
    uc_hook_add(uc, &hook, UC_HOOK_MEM_PROT, reinterpret_cast<void*>(onProtection), nullptr, 1, 0);
    uc_hook_add(uc, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(onInterrupt), nullptr, 1, 0);
}

Core::~Core() {
    uc_close(uc);
    munmap(stack, kGuardBytes + kStackBytes);
}

void Core::forgetUnloadedImages() {
    std::lock_guard<std::mutex> lock(sharedGuard);
    for (auto image = mappedImages.begin(); image != mappedImages.end();) {
        if (imageSegments.count(image->first)) {
            ++image;
            continue;
        }
        for (const Segment& segment : image->second) uc_mem_unmap(uc, segment.address, segment.size);
        image = mappedImages.erase(image);
    }
}

bool Core::mapImage(uint64_t address, bool fetch) {
    std::lock_guard<std::mutex> lock(sharedGuard);
    for (const auto& [image, segments] : imageSegments)
        for (const Segment& segment : segments) {
            if (address < segment.address || address >= segment.address + segment.size) continue;
            if (fetch && !segment.executable) return false;
            uint32_t prot = segment.executable ? UC_PROT_READ | UC_PROT_EXEC : UC_PROT_READ | UC_PROT_WRITE;
            if (uc_mem_map_ptr(uc, segment.address, segment.size, prot, reinterpret_cast<void*>(segment.address)) != UC_ERR_OK)
                return false;
            mappedImages[image].push_back(segment);
            return true;
        }
    return false;
}

void Core::unmapHostPages() {
    for (uint64_t page : hostPages) uc_mem_unmap(uc, page, kPage);
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
    uint64_t sp = outermost ? self.stackTop() : (before[0] - kRedZone) & ~uint64_t(15);
    sp -= (frame.stackBytes + 15) & ~size_t(15);
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

uc_struct* engine() { return core().uc; }

uint64_t readRegister(uc_struct* uc, int reg) {
    uint64_t value = 0;
    uc_reg_read(uc, reg, &value);
    return value;
}

void writeRegister(uc_struct* uc, int reg, uint64_t value) { uc_reg_write(uc, reg, &value); }

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
    std::lock_guard<std::mutex> lock(sharedGuard);
    for (const auto& [image, segments] : imageSegments)
        for (const Segment& segment : segments)
            if (segment.executable && address >= segment.address && address < segment.address + segment.size) return true;
    return false;
}

void noteObject(const void* object) {
    if (object == nullptr) return;
    std::lock_guard<std::mutex> lock(sharedGuard);
    notedObjects.insert(reinterpret_cast<uint64_t>(object));
}

void fault(const std::string& what) {
    uint64_t pc = current ? current->pc : 0;
    std::fprintf(stderr, "device core: %s, at guest pc %s: %s\n", what.c_str(), hex(pc).c_str(),
                 pc ? instructionAt(pc).c_str() : "(no guest instruction)");
    std::fflush(stderr);
    std::abort();
}

} // namespace sim::device
