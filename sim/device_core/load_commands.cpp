#include "sim/device_core/load_commands.hpp"

#include "sim/device_core/core.hpp"
#include "sim/device_core/loader.hpp"

#include <cstdio>
#include <cstring>

namespace sim::device {

using namespace macho;

void refuse(const std::string& message) { throw LoadError(message); }

std::string segmentName(const segment_command_64& segment) { return std::string(segment.segname, strnlen(segment.segname, 16)); }

// The slice (dyld.cpp, loadPhase6 and isCompatibleMachO, dyld-421.2).
std::vector<uint8_t> sliceOf(std::vector<uint8_t> whole, bool arm64eProcess) {
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
        return std::vector<uint8_t>(whole.begin() + long(offset), whole.begin() + long(offset + size));
    }
    if (!magic || *magic != MH_MAGIC_64) {
        char text[96] = "unknown file type, first eight bytes:";
        for (size_t i = 0; i < 8; ++i)
            std::snprintf(text + strlen(text), sizeof text - strlen(text), " 0x%02X", i < whole.size() ? whole[i] : 0);
        refuse(text);
    }
    return whole;
}

namespace {

// ---- the load commands, as sniffLoadCommands checks them (ImageLoaderMachO.cpp, dyld-421.2; the
// same checks at every tag modelled; strictMachORequired holds on iOS) ----

// The segment just read, the last of `segments`; `linkedit` and `startOfFile` are places in them.
void checkSegment(const std::vector<segment_command_64>& segments, const mach_header_64& header, const std::string& path,
                  std::optional<size_t>& linkedit, std::optional<size_t>& startOfFile, bool& commandsFound) {
    const segment_command_64& segment = segments.back();
    std::string name = segmentName(segment);
    if (segment.filesize > segment.vmsize && segment.vmsize != 0)
        refuse("malformed mach-o image: segment load command " + name + " filesize (" + hex(segment.filesize) +
               ") is larger than vmsize (" + hex(segment.vmsize) + ")");
    if (segment.cmdsize != sizeof(segment_command_64) + segment.nsects * sizeof(section_64))
        refuse("malformed mach-o image: LC_SEGMENT size wrong for number of sections");
    if (name == "__LINKEDIT") {
        if (segment.fileoff == 0) refuse("malformed mach-o image: __LINKEDIT has fileoff==0 which overlaps mach_header");
        if (linkedit) refuse("malformed mach-o image: multiple __LINKEDIT segments");
        linkedit = segments.size() - 1;
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
            refuse("malformed mach-o image: multiple segments map start of file: " + segmentName(segments[*startOfFile]) +
                   " " + name);
        startOfFile = segments.size() - 1;
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
void checkOverlaps(const std::vector<segment_command_64>& segments, size_t linkedit) {
    uint64_t lastFileStart = 0;
    for (const segment_command_64& one : segments) {
        lastFileStart = std::max(lastFileStart, one.fileoff);
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
    if (lastFileStart != segments[linkedit].fileoff) refuse("malformed mach-o image: __LINKEDIT must be last segment");
}

// The ranges inside __LINKEDIT: each within it, in dyld's order, none over the next.
void checkLinkedit(const LoadCommands& commands) {
    const segment_command_64& linkedit = commands.segments[*commands.linkedit];
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

LoadCommands sniffLoadCommands(const std::vector<uint8_t>& file, const std::string& devicePath, const mach_header_64& header) {
    Bytes bytes{file.data(), file.size()};
    if (header.ncmds > header.sizeofcmds / sizeof(load_command))
        refuse("malformed mach-o: ncmds (" + std::to_string(header.ncmds) + ") too large to fit in sizeofcmds (" +
               std::to_string(header.sizeofcmds) + ")");
    LoadCommands found;
    std::optional<size_t> startOfFile;
    bool commandsFound = false;
    uint64_t offset = sizeof(mach_header_64), end = sizeof(mach_header_64) + header.sizeofcmds;
    for (uint32_t i = 0; i < header.ncmds; ++i) {
        load_command command = *bytes.read<load_command>(offset);
        if (command.cmdsize < 8)
            refuse("malformed mach-o image: load command #" + std::to_string(i) + " length (" +
                   std::to_string(command.cmdsize) + ") too small in " + devicePath);
        if (offset + command.cmdsize > end)
            refuse("malformed mach-o image: load command #" + std::to_string(i) + " length (" +
                   std::to_string(command.cmdsize) + ") would exceed sizeofcmds (" + std::to_string(header.sizeofcmds) +
                   ") in " + devicePath);
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
            checkSegment(found.segments, header, devicePath, found.linkedit, startOfFile, commandsFound);
            for (uint32_t s = 0; s < segment.nsects; ++s) {
                section_64 section = *bytes.read<section_64>(offset + sizeof(segment) + uint64_t(s) * sizeof(section_64));
                if (section.offset != 0 && uint64_t(section.offset) + section.size > segment.fileoff + segment.filesize)
                    refuse("malformed mach-o image: section " + std::string(section.segname, strnlen(section.segname, 16)) +
                           "," + std::string(section.sectname, strnlen(section.sectname, 16)) + " of '" +
                           devicePath + "' exceeds segment " + segmentName(segment) + " booundary");
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
            const char* name = reinterpret_cast<const char*>(file.data() + offset + dylib.name_offset);
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
    if (!found.linkedit) refuse("malformed mach-o image: missing __LINKEDIT segment");
    if (!startOfFile) refuse("malformed mach-o image: missing __TEXT segment that maps start of file");
    checkOverlaps(found.segments, *found.linkedit);
    if (!found.dyldInfo && !found.symtab) refuse("malformed mach-o image: missing LC_SYMTAB or LC_DYLD_INFO");
    if (!found.dysymtab) refuse("malformed mach-o image: missing LC_DYSYMTAB");
    checkLinkedit(found);
    if (!found.dyldInfo) refuse("missing LC_DYLD_INFO load command");
    if (found.dyldInfo->weak_bind_size) refuse("weak binds (coalescing) are not modelled by this loader");
    return found;
}

} // namespace

LoadCommands readLoadCommands(const std::vector<uint8_t>& slice, const std::string& devicePath, const Device& device) {
    Bytes bytes{slice.data(), slice.size()};
    auto header = bytes.read<mach_header_64>(0);
    if (!header || header->cputype != CPU_TYPE_ARM64) refuse("mach-o, but wrong architecture");
    if (header->filetype != MH_DYLIB && header->filetype != MH_BUNDLE && header->filetype != MH_EXECUTE)
        refuse("mach-o, but wrong filetype");
    uint64_t commandsSize = sizeof(mach_header_64) + uint64_t(header->sizeofcmds);
    if (commandsSize > 32 * 1024)
        refuse("malformed mach-o: load commands size (" + std::to_string(commandsSize) + ") > 32768");
    if (commandsSize > slice.size())
        refuse("malformed mach-o: load commands size (" + std::to_string(commandsSize) + ") > mach-o file size (" +
               std::to_string(slice.size()) + ")");
    // dyld.cpp (dyld-635.2), dyld2.cpp (dyld-733.6, dyld-832.7.1): an arm64e process.
    if (device.line->arm64eRefusesArm64 && device.model->arm64eSystemApps &&
        (header->cpusubtype & ~CPU_SUBTYPE_MASK) != CPU_SUBTYPE_ARM64E)
        refuse("arm64 dylibs cannot be loaded into arm64e processes");
    return sniffLoadCommands(slice, devicePath, *header);
}

} // namespace sim::device
