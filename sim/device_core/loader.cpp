#include "sim/device_core/loader.hpp"

#include "sim/device_core/bridge.hpp"
#include "sim/device_core/code_signing.hpp"
#include "sim/device_core/core.hpp"
#include "sim/device_core/fixups.hpp"
#include "sim/device_core/load_commands.hpp"
#include "sim/device_core/package.hpp"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <utility>
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
    Device device; // what it was loaded on: its libraries and binds are that release's
    std::string path;       // on the host
    std::string devicePath; // as dyld names it in its messages
    std::vector<uint8_t> file; // the slice
    uint8_t* base = nullptr;   // the reservation, aligned to the device's pages
    size_t size = 0;
    uint64_t slide = 0;
    std::vector<SegmentMap> segments;
    std::vector<const DeviceLibrary*> libraries; // by ordinal - 1; null for a weak one not loaded
    std::optional<CodeSignature> signature;
    // The guest touches pages from any thread's engine (a completion on MediaPlayer's queue), and
    // no page may be taken as valid before its check is over: one lock over the check and the record.
    std::mutex pagesGuard;
    std::set<uint64_t> validatedPages;
    dyld_info_command dyldInfo{};
    std::map<std::string, uint64_t> symbols;
    int opened = 0;
};

namespace {

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
    uint64_t page = devicePageOf(address);
    std::lock_guard<std::mutex> lock(image.pagesGuard);
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
    if (commands.segments[*commands.linkedit].fileoff > image.signature->codeLimit)
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
    size_t size = roundUpToDevicePage(high - low);
    void* memory = mmap(nullptr, size + kDevicePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) refuse("no memory for the segments of " + image.devicePath);
    uint64_t aligned = roundUpToDevicePage(uint64_t(memory));
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
void loadLibraries(Image& image, const LoadCommands& commands) {
    const Device& device = image.device;
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
uint64_t resolve(const Image& image, const Bind& bind) {
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
    const Import* found = exportOf(*library, bind.symbol, image.device.release);
    if (found == nullptr) {
        if (bind.weakImport) return 0;
        refuse("Symbol not found: " + bind.symbol + "\n  Referenced from: " + image.devicePath +
               "\n  Expected in: " + library->installName + "\n");
    }
    return importAddress(*found) + uint64_t(bind.addend);
}

void bindAll(Image& image) {
    const dyld_info_command& info = image.dyldInfo;
    const uint8_t* start = image.file.data() + info.bind_off;
    for (const Bind& bind : decodeBinds(start, start + info.bind_size))
        *fixupWord(image, bind.segment, bind.offset, "binding") = resolve(image, bind);
}

void readSymbols(Image& image, const LoadCommands& commands) {
    if (!commands.symtab) return;
    const symtab_command& symtab = *commands.symtab;
    for (uint32_t i = 0; i < symtab.nsyms; ++i) {
        auto entry = valueAt<nlist_64>(image.file.data() + symtab.symoff + uint64_t(i) * sizeof(nlist_64));
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

// Whether the file is a Mach-O binary (thin or fat), which only the device core can run.
bool isMachO(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint32_t magic = 0;
    in.read(reinterpret_cast<char*>(&magic), 4);
    return magic == MH_MAGIC_64 || fromBigEndian(magic) == FAT_MAGIC;
}

std::mutex libraryGuard;
std::map<std::string, Image*> loadedByPath;
std::vector<std::string> refusals;

} // namespace

void unloadImage(Image* image) {
    {
        std::lock_guard<std::mutex> lock(imagesGuard);
        std::erase(loadedImages, image);
    }
    removeImage(image->id);
    if (image->base) munmap(image->base, image->size);
    delete image;
}

Image* loadImage(const std::string& path, const Device& device) {
    std::ifstream in(path, std::ios::binary);
    if (!in) refuse("image not found");
    std::vector<uint8_t> whole{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto image = new Image{.id = nextImageId++, .device = device, .path = path, .devicePath = devicePathOf(path)};
    try {
        image->file = sliceOf(std::move(whole), device.model->arm64eSystemApps);
        LoadCommands commands = readLoadCommands(image->file, image->devicePath, device);
        image->dyldInfo = *commands.dyldInfo;
        // ImageLoaderMachOCompressed::instantiateFromFile: the signature, then the mapping.
        loadCodeSignature(*image, commands);
        mapSegments(*image, commands);
        {
            std::lock_guard<std::mutex> lock(imagesGuard);
            loadedImages.push_back(image);
        }
        probePages(*image);
        loadLibraries(*image, commands);
        rebase(*image);
        bindAll(*image);
        readSymbols(*image, commands);
        for (const SegmentMap& segment : image->segments) {
            size_t length = roundUpToDevicePage(segment.vmsize);
            bool executable = segment.initprot & VM_PROT_EXECUTE;
            // The host only reads the guest's text (disassembly, block signatures); it never runs it.
            if (executable) mprotect(reinterpret_cast<void*>(segment.address), length, PROT_READ);
            addImageSegment(image->id, Segment{segment.address, length, executable});
        }
        runInitializers(*image, commands);
    } catch (...) {
        unloadImage(image);
        throw;
    }
    return image;
}

uint64_t symbolAddress(const Image* image, const std::string& name) {
    auto found = image->symbols.find(name);
    return found == image->symbols.end() ? 0 : found->second;
}

void imagePageTouched(uint64_t address) {
    if (Image* image = imageHolding(address)) touchPage(*image, address);
}

// As dyld.cpp's fastBindLazySymbol does it (dyld-421.2).
uint64_t bindLazyPointer(uint64_t imageCache, uint64_t lazyBindOffset) {
    Image* image = imageHolding(imageCache);
    if (image == nullptr) fault("dyld: lazy symbol binding failed: fast lazy binding from unknown image");
    const dyld_info_command& info = image->dyldInfo;
    try {
        if (lazyBindOffset >= info.lazy_bind_size) refuse("lazy bind offset out of range");
        const uint8_t* start = image->file.data() + info.lazy_bind_off;
        std::vector<Bind> binds = decodeLazyBinds(start + lazyBindOffset, start + info.lazy_bind_size);
        if (binds.empty()) refuse("no lazy bind at offset " + std::to_string(lazyBindOffset));
        uint64_t target = resolve(*image, binds.front());
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
