#include "sim/device_core/loader.hpp"

#include "sim/device_core/bridge.hpp"
#include "sim/device_core/core.hpp"

#include <dlfcn.h>
#include <sys/mman.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

namespace sim::device {

struct Image {
    int id;
    std::string path;
    uint8_t* base = nullptr;
    size_t size = 0;
    std::map<std::string, uint64_t> symbols;
};

namespace {

constexpr uint32_t kMachO64 = 0xfeedfacf;
constexpr uint32_t kFatMagic = 0xcafebabe; // big-endian on disk
constexpr uint32_t kArm64 = 0x0100000c;
constexpr uint32_t kSegment64 = 0x19, kSymtab = 0x2, kLoadDylib = 0xc, kLoadWeakDylib = 0x80000018,
                   kReexportDylib = 0x8000001f, kLoadUpwardDylib = 0x80000023, kDyldInfo = 0x22,
                   kDyldInfoOnly = 0x80000022, kChainedFixups = 0x80000034;
constexpr uint32_t kModInitFuncPointers = 0x9;
constexpr uint32_t kProtExecute = 4;
constexpr size_t kPageSize = 16384;

uint32_t bigEndian(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

struct SegmentCommand {
    char name[17] = {};
    uint64_t vmaddr, vmsize, fileoff, filesize;
    uint32_t initprot;
};

struct Dylib {
    std::string name;
    bool weak;
};

// The parts of an arm64 Mach-O that loading needs, read from its load commands.
struct MachO {
    std::vector<uint8_t> file;
    size_t slice = 0; // where the arm64 slice starts in the file
    std::vector<SegmentCommand> segments;
    std::vector<Dylib> dylibs;
    std::vector<std::pair<uint64_t, uint64_t>> initializers; // section address and size
    uint32_t rebaseOff = 0, rebaseSize = 0, bindOff = 0, bindSize = 0, lazyOff = 0, lazySize = 0, weakSize = 0;
    uint32_t symOff = 0, symCount = 0, strOff = 0, strSize = 0;

    const uint8_t* at(size_t offset, size_t length) const {
        if (slice + offset + length > file.size() || slice + offset + length < offset)
            throw LoadError("the binary is cut short");
        return file.data() + slice + offset;
    }
    template <class T> T read(size_t offset) const {
        T value;
        std::memcpy(&value, at(offset, sizeof value), sizeof value);
        return value;
    }
};

void findSlice(MachO& macho) {
    if (macho.file.size() < 8) throw LoadError("the file is too short to be a Mach-O binary");
    if (bigEndian(macho.file.data()) != kFatMagic) return;
    uint32_t count = bigEndian(macho.file.data() + 4);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* arch = macho.at(8 + size_t(i) * 20, 20);
        if (bigEndian(arch) == kArm64) {
            macho.slice = bigEndian(arch + 8);
            return;
        }
    }
    throw LoadError("the binary has no arm64 slice");
}

MachO readMachO(const std::string& path) {
    MachO macho;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LoadError(path + ": cannot be read");
    macho.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    findSlice(macho);
    if (macho.read<uint32_t>(0) != kMachO64 || macho.read<uint32_t>(4) != kArm64)
        throw LoadError(path + ": not an arm64 Mach-O binary");
    uint32_t commands = macho.read<uint32_t>(16);
    size_t offset = 32;
    for (uint32_t i = 0; i < commands; ++i) {
        uint32_t cmd = macho.read<uint32_t>(offset), size = macho.read<uint32_t>(offset + 4);
        if (size < 8) throw LoadError(path + ": a load command of no size");
        if (cmd == kSegment64) {
            SegmentCommand segment;
            std::memcpy(segment.name, macho.at(offset + 8, 16), 16);
            segment.vmaddr = macho.read<uint64_t>(offset + 24);
            segment.vmsize = macho.read<uint64_t>(offset + 32);
            segment.fileoff = macho.read<uint64_t>(offset + 40);
            segment.filesize = macho.read<uint64_t>(offset + 48);
            segment.initprot = macho.read<uint32_t>(offset + 60);
            uint32_t sections = macho.read<uint32_t>(offset + 64);
            for (uint32_t s = 0; s < sections; ++s) {
                size_t section = offset + 72 + size_t(s) * 80;
                if ((macho.read<uint32_t>(section + 64) & 0xff) == kModInitFuncPointers)
                    macho.initializers.push_back({macho.read<uint64_t>(section + 32), macho.read<uint64_t>(section + 40)});
            }
            if (segment.vmsize) macho.segments.push_back(segment);
        } else if (cmd == kLoadDylib || cmd == kLoadWeakDylib || cmd == kReexportDylib || cmd == kLoadUpwardDylib) {
            uint32_t name = macho.read<uint32_t>(offset + 8);
            const char* text = reinterpret_cast<const char*>(macho.at(offset + name, size - name));
            macho.dylibs.push_back({std::string(text, strnlen(text, size - name)), cmd == kLoadWeakDylib});
        } else if (cmd == kDyldInfo || cmd == kDyldInfoOnly) {
            macho.rebaseOff = macho.read<uint32_t>(offset + 8);
            macho.rebaseSize = macho.read<uint32_t>(offset + 12);
            macho.bindOff = macho.read<uint32_t>(offset + 16);
            macho.bindSize = macho.read<uint32_t>(offset + 20);
            macho.weakSize = macho.read<uint32_t>(offset + 28);
            macho.lazyOff = macho.read<uint32_t>(offset + 32);
            macho.lazySize = macho.read<uint32_t>(offset + 36);
        } else if (cmd == kSymtab) {
            macho.symOff = macho.read<uint32_t>(offset + 8);
            macho.symCount = macho.read<uint32_t>(offset + 12);
            macho.strOff = macho.read<uint32_t>(offset + 16);
            macho.strSize = macho.read<uint32_t>(offset + 20);
        } else if (cmd == kChainedFixups) {
            throw LoadError(path + ": chained fixups are not read by this loader");
        }
        offset += size;
    }
    if (macho.segments.empty()) throw LoadError(path + ": no segments");
    return macho;
}

// dyld's opcode streams: rebases, binds and lazy binds.
struct Opcodes {
    const uint8_t* next;
    const uint8_t* end;

    uint64_t uleb() {
        uint64_t value = 0;
        for (int shift = 0; next < end; shift += 7) {
            uint8_t byte = *next++;
            if (shift < 64) value |= uint64_t(byte & 0x7f) << shift;
            if (!(byte & 0x80)) return value;
        }
        throw LoadError("a number runs past the end of the dyld information");
    }
    int64_t sleb() {
        int64_t value = 0;
        int shift = 0;
        uint8_t byte = 0x80;
        while (byte & 0x80) {
            if (next >= end) throw LoadError("a number runs past the end of the dyld information");
            byte = *next++;
            if (shift < 64) value |= int64_t(byte & 0x7f) << shift;
            shift += 7;
        }
        if (shift < 64 && (byte & 0x40)) value |= -(int64_t(1) << shift);
        return value;
    }
};

struct Loaded {
    Image& image;
    const MachO& macho;
    uint64_t slide;
    uint64_t low, high; // guest addresses that the image occupies

    uint64_t segmentAddress(uint64_t segment, uint64_t offset) const {
        if (segment >= macho.segments.size()) throw LoadError(image.path + ": a fixup in a segment that does not exist");
        return macho.segments[segment].vmaddr + slide + offset;
    }
    uint64_t* word(uint64_t address) const {
        if (address < low || address + 8 > high) throw LoadError(image.path + ": a fixup outside the image");
        return reinterpret_cast<uint64_t*>(address);
    }
};

void rebase(const Loaded& loaded) {
    const MachO& macho = loaded.macho;
    Opcodes op{macho.at(macho.rebaseOff, macho.rebaseSize), macho.at(macho.rebaseOff, macho.rebaseSize) + macho.rebaseSize};
    uint64_t address = 0;
    auto rebaseAt = [&](uint64_t times, uint64_t skip) {
        for (uint64_t i = 0; i < times; ++i, address += 8 + skip) *loaded.word(address) += loaded.slide;
    };
    while (op.next < op.end) {
        uint8_t byte = *op.next++;
        uint8_t immediate = byte & 0x0f;
        switch (byte & 0xf0) {
        case 0x00: return;                                         // done
        case 0x10: if (immediate != 1) throw LoadError(loaded.image.path + ": a rebase that is not a pointer"); break;
        case 0x20: address = loaded.segmentAddress(immediate, op.uleb()); break;
        case 0x30: address += op.uleb(); break;
        case 0x40: address += uint64_t(immediate) * 8; break;
        case 0x50: rebaseAt(immediate, 0); break;
        case 0x60: rebaseAt(op.uleb(), 0); break;
        case 0x70: rebaseAt(1, op.uleb()); break;
        case 0x80: {
            uint64_t times = op.uleb();
            rebaseAt(times, op.uleb());
            break;
        }
        default: throw LoadError(loaded.image.path + ": an unknown rebase opcode");
        }
    }
}

// Binds (lazy ones too, at load: dyld's binder then never runs) by library ordinal.
void bind(const Loaded& loaded, uint32_t offset, uint32_t size, bool lazy) {
    const MachO& macho = loaded.macho;
    if (size == 0) return;
    Opcodes op{macho.at(offset, size), macho.at(offset, size) + size};
    uint64_t address = 0;
    int64_t ordinal = 0, addend = 0;
    std::string symbol;
    bool weakImport = false;
    auto bindHere = [&] {
        if (ordinal <= 0 || size_t(ordinal) > macho.dylibs.size())
            throw LoadError(loaded.image.path + ": " + symbol + " is bound to library ordinal " + std::to_string(ordinal) +
                            ", which the loader does not serve");
        const Dylib& library = macho.dylibs[size_t(ordinal - 1)];
        uint64_t target = bindImport(library.name, symbol, weakImport || library.weak);
        *loaded.word(address) = target ? target + uint64_t(addend) : 0;
        address += 8;
    };
    while (op.next < op.end) {
        uint8_t byte = *op.next++;
        uint8_t immediate = byte & 0x0f;
        switch (byte & 0xf0) {
        case 0x00: if (!lazy) return; break; // done; lazy binds end each entry with it
        case 0x10: ordinal = immediate; break;
        case 0x20: ordinal = int64_t(op.uleb()); break;
        case 0x30: ordinal = immediate ? int64_t(int8_t(0xf0 | immediate)) : 0; break;
        case 0x40: {
            const uint8_t* text = op.next;
            while (op.next < op.end && *op.next) ++op.next;
            if (op.next >= op.end) throw LoadError(loaded.image.path + ": a symbol name runs past the bind information");
            symbol.assign(reinterpret_cast<const char*>(text), size_t(op.next - text));
            ++op.next;
            weakImport = immediate & 1;
            break;
        }
        case 0x50: if (immediate != 1) throw LoadError(loaded.image.path + ": a bind that is not a pointer"); break;
        case 0x60: addend = op.sleb(); break;
        case 0x70: address = loaded.segmentAddress(immediate, op.uleb()); break;
        case 0x80: address += op.uleb(); break;
        case 0x90: bindHere(); break;
        case 0xa0: bindHere(); address += op.uleb(); break;
        case 0xb0: bindHere(); address += uint64_t(immediate) * 8; break;
        case 0xc0: {
            uint64_t times = op.uleb(), skip = op.uleb();
            for (uint64_t i = 0; i < times; ++i) {
                bindHere();
                address += skip;
            }
            break;
        }
        default: throw LoadError(loaded.image.path + ": an unknown bind opcode");
        }
    }
}

void readSymbols(Image& image, const MachO& macho, uint64_t slide) {
    for (uint32_t i = 0; i < macho.symCount; ++i) {
        size_t entry = macho.symOff + size_t(i) * 16;
        uint32_t name = macho.read<uint32_t>(entry);
        uint8_t type = macho.read<uint8_t>(entry + 4);
        uint64_t value = macho.read<uint64_t>(entry + 8);
        if ((type & 0x0e) != 0x0e || name >= macho.strSize) continue; // defined in a section
        const char* text = reinterpret_cast<const char*>(macho.at(macho.strOff + name, 1));
        image.symbols[std::string(text, strnlen(text, macho.strSize - name))] = value + slide;
    }
}

int nextImageId = 1;
std::mutex libraryGuard;
std::map<std::string, Image*> loadedByPath;

} // namespace

bool isMachO(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t magic[4] = {};
    in.read(reinterpret_cast<char*>(magic), 4);
    uint32_t little = uint32_t(magic[0]) | uint32_t(magic[1]) << 8 | uint32_t(magic[2]) << 16 | uint32_t(magic[3]) << 24;
    return little == kMachO64 || bigEndian(magic) == kFatMagic;
}

Image* loadImage(const std::string& path) {
    MachO macho = readMachO(path);
    if (macho.weakSize) throw LoadError(path + ": weak binds are not served by this loader");
    uint64_t low = UINT64_MAX, high = 0;
    for (const SegmentCommand& segment : macho.segments) {
        low = std::min(low, segment.vmaddr);
        high = std::max(high, segment.vmaddr + segment.vmsize);
    }
    size_t size = (high - low + kPageSize - 1) / kPageSize * kPageSize;
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw LoadError(path + ": no memory for its segments");
    auto* image = new Image{nextImageId++, path, static_cast<uint8_t*>(memory), size, {}};
    uint64_t slide = reinterpret_cast<uint64_t>(memory) - low;
    try {
        for (const SegmentCommand& segment : macho.segments) {
            if (segment.filesize > segment.vmsize) throw LoadError(path + ": a segment larger on file than in memory");
            std::memcpy(reinterpret_cast<void*>(segment.vmaddr + slide), macho.at(segment.fileoff, segment.filesize),
                        segment.filesize);
        }
        Loaded loaded{*image, macho, slide, low + slide, high + slide};
        if (macho.rebaseSize) rebase(loaded);
        bind(loaded, macho.bindOff, macho.bindSize, false);
        bind(loaded, macho.lazyOff, macho.lazySize, true);
        readSymbols(*image, macho, slide);
    } catch (...) {
        munmap(memory, size);
        delete image;
        throw;
    }
    for (const SegmentCommand& segment : macho.segments) {
        uint64_t start = segment.vmaddr + slide;
        size_t length = (segment.vmsize + kPageSize - 1) / kPageSize * kPageSize;
        bool executable = segment.initprot & kProtExecute;
        // The host only reads the guest's text (disassembly, block signatures); it never runs it.
        if (executable) mprotect(reinterpret_cast<void*>(start), length, PROT_READ);
        addImageSegment(image->id, Segment{start, length, executable});
    }
    for (const auto& [address, bytes] : macho.initializers)
        for (uint64_t at = address + slide; at < address + slide + bytes; at += 8)
            callGuest(*reinterpret_cast<const uint64_t*>(at), Frame{});
    return image;
}

void unloadImage(Image* image) {
    removeImage(image->id);
    munmap(image->base, image->size);
    delete image;
}

uint64_t symbolAddress(const Image* image, const std::string& name) {
    auto found = image->symbols.find(name);
    return found == image->symbols.end() ? 0 : found->second;
}

Library openLibrary(const std::string& path) {
    Library library;
    if (isMachO(path)) {
        library.guest = loadImage(path);
        std::lock_guard<std::mutex> lock(libraryGuard);
        loadedByPath[path] = library.guest;
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
            for (auto loaded = loadedByPath.begin(); loaded != loadedByPath.end(); ++loaded)
                if (loaded->second == library.guest) {
                    loadedByPath.erase(loaded);
                    break;
                }
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

} // namespace sim::device
