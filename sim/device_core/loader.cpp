#include "sim/device_core/loader.hpp"

#include "sim/device_core/bridge.hpp"
#include "sim/device_core/code_signing.hpp"
#include "sim/device_core/core.hpp"
#include "sim/device_core/fixups.hpp"
#include "sim/device_core/macho.hpp"
#include "sim/device_core/package.hpp"
#include "sim/device_core/releases.hpp"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace sim::device {

using namespace macho;

struct SegmentMap {
    std::string name;
    uint64_t address; // where it is mapped
    uint64_t vmsize, fileoff, filesize;
    uint32_t initprot;
};

struct Image {
    int id;
    Device device; // what it was loaded on, for its lazy binds
    std::string path;       // on the host
    std::string devicePath; // as dyld names it in its messages
    std::vector<uint8_t> file; // the slice
    uint8_t* base = nullptr;   // the reservation, aligned to the device's pages
    size_t size = 0;
    uint64_t slide = 0;
    std::vector<SegmentMap> segments;
    std::vector<const DeviceLibrary*> libraries; // by ordinal - 1; null for a weak one not loaded
    std::optional<CodeSignature> signature;
    std::set<uint64_t> validatedPages;
    dyld_info_command dyldInfo{};
    std::map<std::string, uint64_t> symbols;
    int opened = 0;
};

namespace {

// What dyld throws: its message, the loader's refusal.
[[noreturn]] void refuse(const std::string& message) { throw LoadError(message); }

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%" PRIx64, value);
    return text;
}

std::string shortName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// ---- every loaded image, for page faults and the lazy binder ----

std::mutex imagesGuard;
std::vector<Image*> loadedImages;
int nextImageId = 1;

Image* imageHolding(uint64_t address) {
    std::lock_guard<std::mutex> lock(imagesGuard);
    for (Image* image : loadedImages)
        if (address >= uint64_t(image->base) && address < uint64_t(image->base) + image->size) return image;
    return nullptr;
}

// ---- the slice (dyld.cpp, loadPhase6 and isCompatibleMachO, dyld-421.2) ----

void takeSlice(Image& image, const std::vector<uint8_t>& whole, bool arm64eProcess) {
    Bytes bytes{whole.data(), whole.size()};
    auto magic = bytes.read<uint32_t>(0);
    if (magic && fromBigEndian(*magic) == FAT_MAGIC) {
        uint32_t count = fromBigEndian(bytes.read<fat_header>(0)->nfat_arch);
        std::optional<fat_arch> chosen;
        for (uint32_t i = 0; i < count; ++i) {
            auto arch = bytes.read<fat_arch>(sizeof(fat_header) + uint64_t(i) * sizeof(fat_arch));
            if (!arch) break;
            uint32_t subtype = fromBigEndian(arch->cpusubtype) & ~CPU_SUBTYPE_MASK;
            if (fromBigEndian(arch->cputype) != CPU_TYPE_ARM64) continue;
            if (subtype == CPU_SUBTYPE_ARM64E && !arm64eProcess) continue;
            if (!chosen || subtype == CPU_SUBTYPE_ARM64E) chosen = arch;
        }
        if (!chosen) refuse("no matching architecture in universal wrapper");
        uint64_t offset = fromBigEndian(chosen->offset), size = fromBigEndian(chosen->size);
        if (!bytes.holds(offset, size))
            refuse("truncated fat file.  file length=" + std::to_string(whole.size()) + ", but needed slice goes to " +
                   std::to_string(offset + size));
        image.file.assign(whole.begin() + long(offset), whole.begin() + long(offset + size));
        return;
    }
    if (!magic || *magic != MH_MAGIC_64) {
        char text[96] = "unknown file type, first eight bytes:";
        for (size_t i = 0; i < 8; ++i)
            std::snprintf(text + strlen(text), sizeof text - strlen(text), " 0x%02X", i < whole.size() ? whole[i] : 0);
        refuse(text);
    }
    image.file = whole;
}

// ---- the load commands, as sniffLoadCommands checks them (ImageLoaderMachO.cpp, dyld-421.2; the
// same checks at every tag modelled; strictMachORequired holds on iOS) ----

struct Dependent {
    std::string name;
    bool weak;
    uint32_t compatibility;
};

struct LoadCommands {
    std::vector<segment_command_64> segments;
    std::vector<std::pair<uint64_t, uint64_t>> initializers; // address and size of each section
    std::vector<Dependent> dependents;
    std::optional<dyld_info_command> dyldInfo;
    std::optional<symtab_command> symtab;
    std::optional<dysymtab_command> dysymtab;
    std::optional<linkedit_data_command> codeSignature;
};

std::string segmentName(const segment_command_64& segment) { return std::string(segment.segname, strnlen(segment.segname, 16)); }

void checkSegment(const segment_command_64& segment, const mach_header_64& header, const std::string& path,
                  const segment_command_64*& linkedit, const segment_command_64*& startOfFile, bool& commandsFound) {
    std::string name = segmentName(segment);
    if (segment.filesize > segment.vmsize && segment.vmsize != 0)
        refuse("malformed mach-o image: segment load command " + name + " filesize (" + hex(segment.filesize) +
               ") is larger than vmsize (" + hex(segment.vmsize) + ")");
    if (segment.cmdsize != sizeof(segment_command_64) + segment.nsects * sizeof(section_64))
        refuse("malformed mach-o image: LC_SEGMENT size wrong for number of sections");
    if (name == "__LINKEDIT") {
        if (segment.fileoff == 0) refuse("malformed mach-o image: __LINKEDIT has fileoff==0 which overlaps mach_header");
        if (linkedit) refuse("malformed mach-o image: multiple __LINKEDIT segments");
        linkedit = &segment;
    } else {
        if (segment.initprot & 0xfffffff8 || segment.maxprot & 0xfffffff8)
            refuse("malformed mach-o image: " + name + " segment has invalid permission bits");
        if (segment.initprot != 0 && !(segment.initprot & VM_PROT_READ))
            refuse("malformed mach-o image: " + name + " segment is not mapped readable");
    }
    uint64_t commandsEnd = sizeof(mach_header_64) + header.sizeofcmds;
    if (segment.fileoff == 0 && segment.filesize != 0) {
        if (!(segment.initprot & VM_PROT_READ))
            refuse("malformed mach-o image: " + name + " segment maps start of file but is not readable");
        if (segment.initprot & VM_PROT_WRITE)
            refuse("malformed mach-o image: " + name + " segment maps start of file but is writable");
        if (segment.filesize < commandsEnd) refuse("malformed mach-o image: " + name + " segment does not map all of load commands");
        if (startOfFile)
            refuse("malformed mach-o image: multiple segments map start of file: " + segmentName(*startOfFile) + " " + name);
        startOfFile = &segment;
    }
    if (int64_t(segment.vmsize) < 0)
        refuse("malformed mach-o image: segment load command " + name + " vmsize too large in " + path);
    if (segment.vmaddr + segment.vmsize < segment.vmaddr)
        refuse("malformed mach-o image: segment load command " + name + " wraps around address space");
    if (segment.vmsize != segment.filesize) {
        if (segment.initprot == 0) {
            if (segment.filesize != 0 && segment.vmsize != 0)
                refuse("malformed mach-o image: unaccessable segment " + name + " has non-zero filesize and vmsize");
        } else {
            if (segment.vmsize < segment.filesize) refuse("malformed mach-o image: segment " + name + " has vmsize < filesize");
            if (segment.initprot & VM_PROT_EXECUTE)
                refuse("malformed mach-o image: segment " + name + " has vmsize != filesize and is executable");
        }
    }
    if (segment.fileoff < header.sizeofcmds && segment.filesize != 0) {
        if (segment.fileoff != 0 || segment.filesize < commandsEnd)
            refuse("malformed mach-o image: segment " + name + " does not span all load commands");
        if (segment.initprot != (VM_PROT_READ | VM_PROT_EXECUTE))
            refuse("malformed mach-o image: load commands found in segment " + name + " with wrong permissions");
        if (commandsFound) refuse("load commands in multiple segments");
        commandsFound = true;
    }
}

// Every segment apart from every other in memory and in the file, and __LINKEDIT last in the file.
void checkOverlaps(const std::vector<segment_command_64>& segments) {
    uint64_t lastFileStart = 0, linkeditFileStart = 0;
    for (const segment_command_64& one : segments) {
        lastFileStart = std::max(lastFileStart, one.fileoff);
        if (segmentName(one) == "__LINKEDIT") linkeditFileStart = one.fileoff;
        for (const segment_command_64& other : segments) {
            if (&one == &other) continue;
            auto overlap = [](uint64_t start1, uint64_t end1, uint64_t start2, uint64_t end2) {
                return (start2 <= start1 && end2 > start1 && end1 > start1) || (start2 >= start1 && start2 < end1 && end2 > start2);
            };
            if (overlap(one.vmaddr, one.vmaddr + one.vmsize, other.vmaddr, other.vmaddr + other.vmsize))
                refuse("malformed mach-o image: segment " + segmentName(one) + " vm overlaps segment " + segmentName(other));
            if (overlap(one.fileoff, one.fileoff + one.filesize, other.fileoff, other.fileoff + other.filesize))
                refuse("malformed mach-o image: segment " + segmentName(one) + " file content overlaps segment " +
                       segmentName(other));
        }
    }
    if (lastFileStart != linkeditFileStart) refuse("malformed mach-o image: __LINKEDIT must be last segment");
}

// The ranges inside __LINKEDIT: each within it, in dyld's order, none over the next.
void checkLinkedit(const LoadCommands& commands, const segment_command_64& linkedit) {
    uint64_t start = linkedit.fileoff, end = linkedit.fileoff + linkedit.filesize;
    if (commands.dyldInfo) {
        const dyld_info_command& info = *commands.dyldInfo;
        struct Range {
            const char* name;
            uint32_t offset, size;
        } ranges[] = {{"rebase", info.rebase_off, info.rebase_size},
                      {"bind", info.bind_off, info.bind_size},
                      {"weak bind", info.weak_bind_off, info.weak_bind_size},
                      {"lazy bind", info.lazy_bind_off, info.lazy_bind_size},
                      {"export", info.export_off, info.export_size}};
        uint64_t offset = start;
        const char* previous = nullptr;
        for (const Range& range : ranges) {
            if (range.size == 0) continue;
            std::string what = std::string("malformed mach-o image: dyld ") + range.name + " info ";
            if (uint64_t(range.offset) + range.size < range.offset) refuse(what + "size overflow");
            if (range.offset < offset)
                refuse(what + (previous ? std::string("overlaps ") + previous + " info" : "underruns __LINKEDIT"));
            if (uint64_t(range.offset) + range.size > end) refuse(what + "overruns __LINKEDIT");
            offset = uint64_t(range.offset) + range.size;
            previous = range.name;
        }
    }
    if (commands.symtab) {
        const symtab_command& symtab = *commands.symtab;
        uint64_t symbolsEnd = symtab.symoff + uint64_t(symtab.nsyms) * sizeof(nlist_64);
        if (symtab.nsyms && symtab.symoff < start) refuse("malformed mach-o image: symbol table underruns __LINKEDIT");
        if (symbolsEnd > end) refuse("malformed mach-o image: symbol table overruns __LINKEDIT");
        if (symtab.stroff < symbolsEnd && symtab.strsize) refuse("malformed mach-o image: symbol table overlaps symbol strings");
        if (uint64_t(symtab.stroff) + symtab.strsize > end) refuse("malformed mach-o image: symbol strings overrun __LINKEDIT");
    }
}

LoadCommands sniffLoadCommands(const Image& image, const mach_header_64& header) {
    Bytes bytes{image.file.data(), image.file.size()};
    if (header.ncmds > header.sizeofcmds / sizeof(load_command))
        refuse("malformed mach-o: ncmds (" + std::to_string(header.ncmds) + ") too large to fit in sizeofcmds (" +
               std::to_string(header.sizeofcmds) + ")");
    LoadCommands found;
    // Kept in place while the checks hold pointers to __LINKEDIT and the segment at the file's start.
    found.segments.reserve(header.ncmds);
    const segment_command_64* linkedit = nullptr;
    const segment_command_64* startOfFile = nullptr;
    bool commandsFound = false;
    uint64_t offset = sizeof(mach_header_64), end = sizeof(mach_header_64) + header.sizeofcmds;
    for (uint32_t i = 0; i < header.ncmds; ++i) {
        load_command command = *bytes.read<load_command>(offset);
        if (command.cmdsize < 8)
            refuse("malformed mach-o image: load command #" + std::to_string(i) + " length (" +
                   std::to_string(command.cmdsize) + ") too small in " + image.devicePath);
        if (offset + command.cmdsize > end)
            refuse("malformed mach-o image: load command #" + std::to_string(i) + " length (" +
                   std::to_string(command.cmdsize) + ") would exceed sizeofcmds (" + std::to_string(header.sizeofcmds) +
                   ") in " + image.devicePath);
        auto sized = [&](auto model, const char* what) {
            if (command.cmdsize != sizeof(model)) refuse(std::string("malformed mach-o image: ") + what + " size wrong");
            return *bytes.read<decltype(model)>(offset);
        };
        switch (command.cmd) {
        case LC_DYLD_INFO:
        case LC_DYLD_INFO_ONLY: found.dyldInfo = sized(dyld_info_command{}, "LC_DYLD_INFO"); break;
        case LC_SEGMENT_64: {
            if (command.cmdsize < sizeof(segment_command_64)) refuse("malformed mach-o image: LC_SEGMENT size too small");
            segment_command_64 segment = *bytes.read<segment_command_64>(offset);
            found.segments.push_back(segment);
            checkSegment(found.segments.back(), header, image.devicePath, linkedit, startOfFile, commandsFound);
            for (uint32_t s = 0; s < segment.nsects; ++s) {
                section_64 section = *bytes.read<section_64>(offset + sizeof(segment) + uint64_t(s) * sizeof(section_64));
                if (section.offset != 0 && uint64_t(section.offset) + section.size > segment.fileoff + segment.filesize)
                    refuse("malformed mach-o image: section " + std::string(section.segname, strnlen(section.segname, 16)) +
                           "," + std::string(section.sectname, strnlen(section.sectname, 16)) + " of '" +
                           image.devicePath + "' exceeds segment " + segmentName(segment) + " booundary");
                if ((section.flags & SECTION_TYPE) == S_MOD_INIT_FUNC_POINTERS)
                    found.initializers.push_back({section.addr, section.size});
            }
            break;
        }
        case LC_SEGMENT: refuse("malformed mach-o image: wrong LC_SEGMENT[_64] for architecture");
        case LC_LOAD_DYLIB:
        case LC_LOAD_WEAK_DYLIB:
        case LC_REEXPORT_DYLIB:
        case LC_LOAD_UPWARD_DYLIB:
        case LC_ID_DYLIB: {
            dylib_command dylib = *bytes.read<dylib_command>(offset);
            if (dylib.name_offset > command.cmdsize)
                refuse("malformed mach-o image: dylib load command #" + std::to_string(i) + " has offset (" +
                       std::to_string(dylib.name_offset) + ") outside its size (" + std::to_string(command.cmdsize) + ")");
            const char* name = reinterpret_cast<const char*>(image.file.data() + offset + dylib.name_offset);
            size_t length = strnlen(name, command.cmdsize - dylib.name_offset);
            if (dylib.name_offset + length + 1 > command.cmdsize)
                refuse("malformed mach-o image: dylib load command #" + std::to_string(i) +
                       " string extends beyond end of load command");
            if (command.cmd != LC_ID_DYLIB)
                found.dependents.push_back({std::string(name, length), command.cmd == LC_LOAD_WEAK_DYLIB,
                                            dylib.compatibility_version});
            break;
        }
        case LC_CODE_SIGNATURE:
            if (found.codeSignature) refuse("malformed mach-o image: multiple LC_CODE_SIGNATURE load commands");
            found.codeSignature = sized(linkedit_data_command{}, "LC_CODE_SIGNATURE");
            break;
        case LC_SYMTAB: found.symtab = sized(symtab_command{}, "LC_SYMTAB"); break;
        case LC_DYSYMTAB: found.dysymtab = sized(dysymtab_command{}, "LC_DYSYMTAB"); break;
        case LC_DYLD_CHAINED_FIXUPS: refuse("chained fixups are newer than every release modelled");
        }
        offset += command.cmdsize;
    }
    if (!commandsFound) refuse("load commands not in a segment");
    if (linkedit == nullptr) refuse("malformed mach-o image: missing __LINKEDIT segment");
    if (startOfFile == nullptr) refuse("malformed mach-o image: missing __TEXT segment that maps start of file");
    checkOverlaps(found.segments);
    if (!found.dyldInfo && !found.symtab) refuse("malformed mach-o image: missing LC_SYMTAB or LC_DYLD_INFO");
    if (!found.dysymtab) refuse("malformed mach-o image: missing LC_DYSYMTAB");
    checkLinkedit(found, *linkedit);
    if (!found.dyldInfo) refuse("missing LC_DYLD_INFO load command");
    if (found.dyldInfo->weak_bind_size) refuse("weak binds (coalescing) are not modelled by this loader");
    return found;
}

// ---- pages: each device page of an image is validated against the signature when first touched ----

// The kernel kills a process that touches a page whose hash is not the signature's
// (vm_fault.c, cs_invalid_page, xnu-3789.70.16 to xnu-7195.141.2).
[[noreturn]] void killForInvalidPage(const Image& image, uint64_t address, uint64_t fileOffset) {
    std::fflush(stdout);
    std::printf("  kernel: CODE SIGNING: process %d: rejecting invalid page at address %s from offset %s in file "
                "\"%s\"; the process is killed\n",
                int(getpid()), hex(address).c_str(), hex(fileOffset).c_str(), image.devicePath.c_str());
    std::fflush(stdout);
    std::raise(SIGKILL);
    std::abort();
}

void touchPage(Image& image, uint64_t address) {
    uint64_t page = address & ~(kDevicePageSize - 1);
    if (!image.validatedPages.insert(page).second) return;
    for (const SegmentMap& segment : image.segments) {
        if (page + kDevicePageSize <= segment.address || page >= segment.address + segment.filesize) continue;
        // The signing pages of the file that this device page holds.
        uint64_t from = std::max(page, segment.address), to = std::min(page + kDevicePageSize, segment.address + segment.filesize);
        for (uint64_t at = from; at < to;) {
            uint64_t fileOffset = segment.fileoff + (at - segment.address);
            uint32_t signingPage = uint32_t(fileOffset / image.signature->pageSize);
            if (fileOffset < image.signature->codeLimit &&
                !pageIsValid(*image.signature, signingPage, image.file.data(), image.file.size()))
                killForInvalidPage(image, at, uint64_t(signingPage) * image.signature->pageSize);
            at = segment.address + (uint64_t(signingPage) + 1) * image.signature->pageSize - segment.fileoff;
        }
    }
}

const SegmentMap& segmentAt(const Image& image, uint32_t index) {
    if (index >= image.segments.size())
        refuse("a fixup's segment " + std::to_string(index) + " is out of range (0.." +
               std::to_string(image.segments.size() - 1) + ")");
    return image.segments[index];
}

// The word that a fixup writes, within its segment; touching it validates its page.
uint64_t* fixupWord(Image& image, uint32_t segment, uint64_t offset, const char* kind) {
    const SegmentMap& in = segmentAt(image, segment);
    if (offset + 8 > in.vmsize || offset + 8 < offset)
        refuse(std::string("malformed ") + kind + " opcodes: address " + hex(in.address + offset) +
               " is outside of segment " + in.name);
    touchPage(image, in.address + offset);
    return reinterpret_cast<uint64_t*>(in.address + offset);
}

// ---- steps of a load ----

void loadCodeSignature(Image& image, const LoadCommands& commands) {
    // requireCodeSignature holds on iOS (dyld.cpp, dyld-421.2).
    if (!commands.codeSignature) refuse("required code signature missing for '" + image.devicePath + "'\n");
    const linkedit_data_command& command = *commands.codeSignature;
    Bytes bytes{image.file.data(), image.file.size()};
    if (bytes.holds(command.dataoff, command.datasize))
        image.signature = validateSignature(image.file.data() + command.dataoff, command.datasize);
    if (!image.signature) refuse("code signature invalid for '" + image.devicePath + "'\n");
    for (const segment_command_64& segment : commands.segments)
        if (segmentName(segment) == "__LINKEDIT" && segment.fileoff > image.signature->codeLimit)
            refuse("cannot load '" + shortName(image.devicePath) + "' (segment outside of code signature)");
}

void mapSegments(Image& image, const LoadCommands& commands) {
    uint64_t low = UINT64_MAX, high = 0;
    for (const segment_command_64& segment : commands.segments) {
        if (segment.vmsize == 0) continue;
        low = std::min(low, segment.vmaddr);
        high = std::max(high, segment.vmaddr + segment.vmsize);
    }
    // Reserved on a device page boundary, so that the device's pages are the host's pages here.
    size_t size = (high - low + kDevicePageSize - 1) / kDevicePageSize * kDevicePageSize;
    void* memory = mmap(nullptr, size + kDevicePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) refuse("no memory for the segments of " + image.devicePath);
    uint64_t aligned = (uint64_t(memory) + kDevicePageSize - 1) & ~(kDevicePageSize - 1);
    if (aligned > uint64_t(memory)) munmap(memory, aligned - uint64_t(memory));
    munmap(reinterpret_cast<void*>(aligned + size), uint64_t(memory) + kDevicePageSize - aligned);
    image.base = reinterpret_cast<uint8_t*>(aligned);
    image.size = size;
    image.slide = aligned - low;
    for (const segment_command_64& segment : commands.segments) {
        if (segment.vmsize == 0) continue;
        if (segment.filesize && segment.fileoff + segment.filesize > image.file.size())
            refuse("truncated mach-o error: segment " + segmentName(segment) + " extends to " +
                   std::to_string(segment.fileoff + segment.filesize) + " which is past end of file " +
                   std::to_string(image.file.size()));
        image.segments.push_back({segmentName(segment), segment.vmaddr + image.slide, segment.vmsize, segment.fileoff,
                                  segment.filesize, segment.initprot});
        std::memcpy(reinterpret_cast<void*>(segment.vmaddr + image.slide), image.file.data() + segment.fileoff,
                    segment.filesize);
    }
}

// dyld reads the header and load commands (validateFirstPages) and probes the first byte of every
// segment (crashIfInvalidCodeSignature): those pages are touched before anything else.
void probePages(Image& image) {
    for (const SegmentMap& segment : image.segments)
        if (segment.filesize) touchPage(image, segment.address);
}

// ImageLoader::recursiveLoadLibraries: each library that a load command names, in order.
void loadLibraries(Image& image, const LoadCommands& commands, const Device& device) {
    for (const Dependent& dependent : commands.dependents) {
        const DeviceLibrary* library = deviceLibrary(dependent.name);
        std::string reason = "image not found";
        if (library) {
            Version builtFor = library->minOS == DeviceLibrary::ownRelease ? device.release : library->minOS;
            bool enforced = !device.line->compatibilityOnlyForOldLibraries || builtFor < version(12);
            if (dependent.compatibility != 0xffffffff && library->compatibility < dependent.compatibility && enforced)
                reason = "Incompatible library version: " + shortName(image.devicePath) + " requires version " +
                         versionText(dependent.compatibility) + " or later, but " + shortName(library->installName) +
                         " provides version " + versionText(library->compatibility);
            else reason.clear();
        }
        if (!reason.empty() && !dependent.weak)
            refuse("Library not loaded: " + dependent.name + "\n  Referenced from: " + image.devicePath +
                   "\n  Reason: " + reason);
        image.libraries.push_back(reason.empty() ? library : nullptr);
    }
}

void rebase(Image& image) {
    const dyld_info_command& info = image.dyldInfo;
    const uint8_t* start = image.file.data() + info.rebase_off;
    for (const Rebase& rebase : decodeRebases(start, start + info.rebase_size))
        *fixupWord(image, rebase.segment, rebase.offset, "rebase") += image.slide;
}

// The address a bind writes: the export of the library its ordinal names, in this release.
uint64_t resolve(const Image& image, const Bind& bind, const Device& device) {
    // Self, main-executable and flat lookups: the package binds none, and this loader does not model them.
    if (bind.ordinal <= 0)
        refuse("a special library ordinal (" + std::to_string(bind.ordinal) + "), which this loader does not model, for "
               "symbol " + bind.symbol + " in " + image.devicePath);
    if (size_t(bind.ordinal) > image.libraries.size())
        refuse("bad mach-o binary, library ordinal (" + std::to_string(bind.ordinal) + ") too big (max " +
               std::to_string(image.libraries.size()) + ") for symbol " + bind.symbol + " in " + image.devicePath);
    const DeviceLibrary* library = image.libraries[size_t(bind.ordinal - 1)];
    if (library == nullptr) {
        if (bind.weakImport) return 0;
        refuse("can't resolve symbol " + bind.symbol + " in " + image.devicePath + " because dependent dylib #" +
               std::to_string(bind.ordinal) + " could not be loaded");
    }
    const Import* found = exportOf(*library, bind.symbol, device.release);
    if (found == nullptr) {
        if (bind.weakImport) return 0;
        refuse("Symbol not found: " + bind.symbol + "\n  Referenced from: " + image.devicePath +
               "\n  Expected in: " + library->installName + "\n");
    }
    return importAddress(*found) + uint64_t(bind.addend);
}

void bindAll(Image& image, const Device& device) {
    const dyld_info_command& info = image.dyldInfo;
    const uint8_t* start = image.file.data() + info.bind_off;
    for (const Bind& bind : decodeBinds(start, start + info.bind_size))
        *fixupWord(image, bind.segment, bind.offset, "binding") = resolve(image, bind, device);
}

void readSymbols(Image& image, const LoadCommands& commands) {
    if (!commands.symtab) return;
    const symtab_command& symtab = *commands.symtab;
    for (uint32_t i = 0; i < symtab.nsyms; ++i) {
        nlist_64 entry;
        std::memcpy(&entry, image.file.data() + symtab.symoff + uint64_t(i) * sizeof entry, sizeof entry);
        if ((entry.n_type & N_TYPE) != N_SECT || entry.n_strx >= symtab.strsize) continue;
        const char* text = reinterpret_cast<const char*>(image.file.data() + symtab.stroff + entry.n_strx);
        image.symbols[std::string(text, strnlen(text, symtab.strsize - entry.n_strx))] = entry.n_value + image.slide;
    }
}

void runInitializers(Image& image, const LoadCommands& commands) {
    for (const auto& [address, bytes] : commands.initializers)
        for (uint64_t at = address + image.slide; at < address + image.slide + bytes; at += 8) {
            touchPage(image, at);
            uint64_t function = *reinterpret_cast<const uint64_t*>(at);
            if (!isGuestText(function))
                refuse("initializer function " + hex(function) + " not in mapped image for " + image.devicePath + "\n");
            callGuest(function, Frame{});
        }
}

void release(Image* image) {
    {
        std::lock_guard<std::mutex> lock(imagesGuard);
        std::erase(loadedImages, image);
    }
    removeImage(image->id);
    if (image->base) munmap(image->base, image->size);
    delete image;
}

std::mutex libraryGuard;
std::map<std::string, Image*> loadedByPath;
std::vector<std::string> refusals;

} // namespace

bool isMachO(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint32_t magic = 0;
    in.read(reinterpret_cast<char*>(&magic), 4);
    return magic == MH_MAGIC_64 || fromBigEndian(magic) == FAT_MAGIC;
}

Image* loadImage(const std::string& path, const Device& device) {
    std::ifstream in(path, std::ios::binary);
    if (!in) refuse("image not found");
    std::vector<uint8_t> whole{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto image = new Image{};
    image->id = nextImageId++;
    image->device = device;
    image->path = path;
    image->devicePath = devicePathOf(path);
    try {
        takeSlice(*image, whole, device.model->arm64eSystemApps);
        Bytes bytes{image->file.data(), image->file.size()};
        auto header = bytes.read<mach_header_64>(0);
        if (!header || header->cputype != CPU_TYPE_ARM64) refuse("mach-o, but wrong architecture");
        if (header->filetype != MH_DYLIB && header->filetype != MH_BUNDLE && header->filetype != MH_EXECUTE)
            refuse("mach-o, but wrong filetype");
        uint64_t commandsSize = sizeof(mach_header_64) + uint64_t(header->sizeofcmds);
        if (commandsSize > 32 * 1024)
            refuse("malformed mach-o: load commands size (" + std::to_string(commandsSize) + ") > 32768");
        if (commandsSize > image->file.size())
            refuse("malformed mach-o: load commands size (" + std::to_string(commandsSize) + ") > mach-o file size (" +
                   std::to_string(image->file.size()) + ")");
        // dyld.cpp (dyld-635.2), dyld2.cpp (dyld-733.6, dyld-832.7.1): an arm64e process.
        if (device.line->arm64eRefusesArm64 && device.model->arm64eSystemApps &&
            (header->cpusubtype & ~CPU_SUBTYPE_MASK) != CPU_SUBTYPE_ARM64E)
            refuse("arm64 dylibs cannot be loaded into arm64e processes");
        LoadCommands commands = sniffLoadCommands(*image, *header);
        image->dyldInfo = *commands.dyldInfo;
        // ImageLoaderMachOCompressed::instantiateFromFile: the signature, then the mapping.
        loadCodeSignature(*image, commands);
        mapSegments(*image, commands);
        {
            std::lock_guard<std::mutex> lock(imagesGuard);
            loadedImages.push_back(image);
        }
        probePages(*image);
        loadLibraries(*image, commands, device);
        rebase(*image);
        bindAll(*image, device);
        readSymbols(*image, commands);
        for (const SegmentMap& segment : image->segments) {
            size_t length = (segment.vmsize + kDevicePageSize - 1) / kDevicePageSize * kDevicePageSize;
            bool executable = segment.initprot & VM_PROT_EXECUTE;
            // The host only reads the guest's text (disassembly, block signatures); it never runs it.
            if (executable) mprotect(reinterpret_cast<void*>(segment.address), length, PROT_READ);
            addImageSegment(image->id, Segment{segment.address, length, executable});
        }
        runInitializers(*image, commands);
    } catch (const FixupError& error) {
        release(image);
        throw LoadError(error.what());
    } catch (...) {
        release(image);
        throw;
    }
    return image;
}

void unloadImage(Image* image) { release(image); }

uint64_t symbolAddress(const Image* image, const std::string& name) {
    auto found = image->symbols.find(name);
    return found == image->symbols.end() ? 0 : found->second;
}

void imagePageTouched(uint64_t address) {
    if (Image* image = imageHolding(address)) touchPage(*image, address);
}

// dyld_stub_binder's work (dyld.cpp, fastBindLazySymbol): the lazy bind at that offset of the image
// whose cache slot the stub helper passed; a failure halts the process.
uint64_t bindLazyPointer(uint64_t imageCache, uint64_t lazyBindOffset) {
    Image* image = imageHolding(imageCache);
    if (image == nullptr) fault("dyld: lazy symbol binding failed: fast lazy binding from unknown image");
    const dyld_info_command& info = image->dyldInfo;
    try {
        if (lazyBindOffset >= info.lazy_bind_size) refuse("lazy bind offset out of range");
        const uint8_t* start = image->file.data() + info.lazy_bind_off;
        std::vector<Bind> binds = decodeLazyBinds(start + lazyBindOffset, start + info.lazy_bind_size);
        if (binds.empty()) refuse("no lazy bind at offset " + std::to_string(lazyBindOffset));
        uint64_t target = resolve(*image, binds.front(), image->device);
        *fixupWord(*image, binds.front().segment, binds.front().offset, "binding") = target;
        return target;
    } catch (const std::exception& error) {
        fault(std::string("dyld: lazy symbol binding failed: ") + error.what());
    }
}

Library openLibrary(const std::string& path, const Device& device) {
    Library library;
    if (isMachO(path)) {
        std::lock_guard<std::mutex> lock(libraryGuard);
        Image*& loaded = loadedByPath[path];
        try {
            // dlopen of a loaded image hands it back: its initializers ran once.
            if (loaded == nullptr) loaded = loadImage(path, device);
        } catch (const LoadError& error) {
            loadedByPath.erase(path);
            refusals.push_back(error.what());
            throw;
        }
        ++loaded->opened;
        library.guest = loaded;
        return library;
    }
    dlerror();
    library.host = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.host == nullptr) throw LoadError(dlerror());
    return library;
}

void closeLibrary(Library library) {
    if (library.host) dlclose(library.host);
    if (library.guest) {
        {
            std::lock_guard<std::mutex> lock(libraryGuard);
            if (--library.guest->opened > 0) return;
            loadedByPath.erase(library.guest->path);
        }
        unloadImage(library.guest);
    }
}

bool libraryLoaded(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(libraryGuard);
        if (loadedByPath.count(path)) return true;
    }
    void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (loaded) dlclose(loaded);
    return loaded != nullptr;
}

const std::vector<std::string>& refusedLoads() { return refusals; }

} // namespace sim::device
