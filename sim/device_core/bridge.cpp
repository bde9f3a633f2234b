#include "sim/device_core/bridge.hpp"

#include "objc/runtime.hpp"
#include "sim/device_core/abi.hpp"
#include "sim/device_core/core.hpp"
#include "sim/device_core/loader.hpp"
#include "sim/device_core/objc_rules.hpp"

#include <unicorn/unicorn.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

extern "C" const char* method_getTypeEncoding(Method method);

namespace sim::device {
namespace {

// ---- blocks, as clang lays them out on both targets ----

constexpr int32_t kBlockHasCopyDispose = 1 << 25;
constexpr int32_t kBlockHasSignature = 1 << 30;

struct BlockLiteral {
    void* isa;
    int32_t flags;
    int32_t reserved;
    void* invoke;
    struct Descriptor* descriptor;
};
struct Descriptor {
    uint64_t reserved;
    uint64_t size;
    void* rest[4]; // copy and dispose when the block has them, then signature and layout
};

const char* blockSignature(const BlockLiteral* block) {
    if (!(block->flags & kBlockHasSignature)) return nullptr;
    return static_cast<const char*>(block->descriptor->rest[(block->flags & kBlockHasCopyDispose) ? 2 : 0]);
}

// The invoke function's encoding: the block's own, with the block itself passed as a plain pointer.
std::string invokeEncoding(const char* blockTypes) {
    const Signature& signature = signatureOf(blockTypes);
    std::string encoding = signature.result.encoding + "^v";
    for (size_t i = 1; i < signature.arguments.size(); ++i) encoding += signature.arguments[i].encoding;
    return encoding;
}

// ---- the trap entries ----

struct Entry {
    Import::Kind kind;
    void* host = nullptr;
    const Signature* signature = nullptr;
    const Import* import = nullptr;
};

std::mutex bridgeGuard;
std::vector<Entry> entries{Entry{Import::unreachable}}; // entry 0 returns to the host
std::map<std::pair<void*, std::string>, uint64_t> guestCallables;
std::map<std::pair<uint64_t, std::string>, void*> hostCallables;
std::map<void*, uint64_t> closureTargets; // host closure -> the guest function it enters
std::map<const Descriptor*, Descriptor*> hostDescriptors;
std::map<const Descriptor*, const Descriptor*> guestDescriptors;

uint64_t addEntry(const Entry& entry) {
    std::lock_guard<std::mutex> lock(bridgeGuard);
    if (entries.size() == kTrapCount) fault("the bridge has no trap entries left");
    entries.push_back(entry);
    return trapAddress(entries.size() - 1);
}

Entry entryAt(size_t index) {
    std::lock_guard<std::mutex> lock(bridgeGuard);
    if (index >= entries.size()) fault("a call of an unused bridge entry");
    return entries[index];
}

uint64_t guestFunctionOf(void* hostFunction) {
    std::lock_guard<std::mutex> lock(bridgeGuard);
    auto found = closureTargets.find(hostFunction);
    return found == closureTargets.end() ? 0 : found->second;
}

// ---- registers ----

// A float aggregate between its memory and consecutive d-registers, each element in the low bytes
// of its register.
size_t floatElementSize(const Type& type) { return type.floatElement == 'd' ? 8 : 4; }

void floatsToRegisters(const Type& type, const void* from, uint64_t* registers) {
    size_t element = floatElementSize(type);
    for (int k = 0; k < type.floatCount; ++k) {
        registers[k] = 0;
        std::memcpy(&registers[k], static_cast<const char*>(from) + element * size_t(k), element);
    }
}

void floatsFromRegisters(const Type& type, const uint64_t* registers, void* to) {
    size_t element = floatElementSize(type);
    for (int k = 0; k < type.floatCount; ++k)
        std::memcpy(static_cast<char*>(to) + element * size_t(k), &registers[k], element);
}

uint64_t extend(uint64_t raw, const Type& type) {
    if (type.size >= 8) return raw;
    unsigned bits = unsigned(type.size) * 8;
    uint64_t mask = (uint64_t(1) << bits) - 1;
    raw &= mask;
    if (type.isSigned && (raw >> (bits - 1))) raw |= ~mask;
    return raw;
}

// An integer of fewer than 64 bits as arm64 code on Apple's platform may find it in a register:
// extended to 32 bits (Apple's convention has caller and callee extend what is narrower), and the
// upper 32 bits undefined. They hold junk here, so that guest code that reads more of a register
// than the type it declared fails on this core as it may on a device.
uint64_t toGuestRegister(uint64_t raw, const Type& type) {
    if (type.size >= 8) return raw;
    return (extend(raw, type) & 0xffffffff) | 0x5a5a5a5a00000000;
}

// Blocks made to cross for the length of one call, freed when it returns.
struct Crossing {
    std::vector<void*> shadows;
    ~Crossing() {
        for (void* shadow : shadows) std::free(shadow);
    }
    BlockLiteral* shadowOf(const BlockLiteral* block) {
        auto* shadow = static_cast<BlockLiteral*>(std::malloc(block->descriptor->size));
        std::memcpy(shadow, block, block->descriptor->size);
        shadows.push_back(shadow);
        return shadow;
    }
};

// The host's descriptor of a guest block's descriptor: its copy and dispose helpers enter the guest.
Descriptor* hostDescriptorOf(const BlockLiteral* block) {
    const Descriptor* guest = block->descriptor;
    {
        std::lock_guard<std::mutex> lock(bridgeGuard);
        auto found = hostDescriptors.find(guest);
        if (found != hostDescriptors.end()) return found->second;
    }
    auto* made = new Descriptor(*guest);
    if (block->flags & kBlockHasCopyDispose) {
        made->rest[0] = hostCallable(reinterpret_cast<uint64_t>(guest->rest[0]), "v^v^v");
        made->rest[1] = hostCallable(reinterpret_cast<uint64_t>(guest->rest[1]), "v^v");
    }
    std::lock_guard<std::mutex> lock(bridgeGuard);
    hostDescriptors[guest] = made;
    guestDescriptors[made] = guest;
    return made;
}

// A guest block handed to the host: a copy whose invoke and helpers enter the guest.
void* blockToHost(void* value, Crossing& crossing) {
    auto* block = static_cast<BlockLiteral*>(value);
    if (block == nullptr || !isGuestText(reinterpret_cast<uint64_t>(block->invoke))) return value;
    const char* types = blockSignature(block);
    if (types == nullptr) fault("a guest block without a signature crosses to the host");
    BlockLiteral* shadow = crossing.shadowOf(block);
    shadow->invoke = hostCallable(reinterpret_cast<uint64_t>(block->invoke), invokeEncoding(types));
    shadow->descriptor = hostDescriptorOf(block);
    return shadow;
}

// A host block handed to the guest: one whose invoke the guest can call.
void* blockToGuest(void* value, Crossing& crossing) {
    auto* block = static_cast<BlockLiteral*>(value);
    if (block == nullptr || isGuestText(reinterpret_cast<uint64_t>(block->invoke))) return value;
    BlockLiteral* shadow = crossing.shadowOf(block);
    if (uint64_t guest = guestFunctionOf(block->invoke)) {
        // The host's copy of a guest block: the guest's own invoke and helpers.
        shadow->invoke = reinterpret_cast<void*>(guest);
        std::lock_guard<std::mutex> lock(bridgeGuard);
        auto original = guestDescriptors.find(block->descriptor);
        if (original != guestDescriptors.end()) shadow->descriptor = const_cast<Descriptor*>(original->second);
        return shadow;
    }
    const char* types = blockSignature(block);
    if (types == nullptr) fault("a host block without a signature crosses to the guest");
    shadow->invoke = reinterpret_cast<void*>(guestCallable(block->invoke, invokeEncoding(types)));
    return shadow;
}

// ---- guest -> host ----

// Reads the arguments of a call that the guest made, by Apple's arm64 convention, into values
// that libffi can pass: each argument's bytes, or a pointer to a struct that went by reference.
struct HostArguments {
    std::vector<uint64_t> storage; // four words for each argument
    std::vector<void*> pointers;
    std::vector<uint64_t> raw; // the first word of each, for callbackTypes
};

void readArguments(uc_engine* uc, const Signature& signature, HostArguments& out) {
    size_t count = signature.arguments.size();
    out.storage.assign(count * 4, 0);
    out.pointers.assign(count, nullptr);
    out.raw.assign(count, 0);
    uint64_t sp = readRegister(uc, UC_ARM64_REG_SP);
    for (size_t i = 0; i < count; ++i) {
        const Type& type = signature.arguments[i];
        const Place& place = signature.places[i];
        uint64_t* slot = &out.storage[i * 4];
        void* value = slot;
        if (place.where == Place::x) {
            int words = type.isStruct() ? int((type.size + 7) / 8) : 1;
            for (int w = 0; w < words; ++w) slot[w] = readRegister(uc, UC_ARM64_REG_X0 + place.index + w);
            if (place.byReference) value = reinterpret_cast<void*>(slot[0]);
        } else if (place.where == Place::d) {
            uint64_t registers[4];
            for (int k = 0; k < type.floatCount; ++k) registers[k] = readRegister(uc, UC_ARM64_REG_D0 + place.index + k);
            floatsFromRegisters(type, registers, slot);
        } else {
            const void* at = reinterpret_cast<const void*>(sp + uint64_t(place.index));
            if (place.byReference) std::memcpy(&value, at, 8);
            else if (type.size <= 32) std::memcpy(slot, at, type.size);
            else value = const_cast<void*>(at);
        }
        out.pointers[i] = value;
        out.raw[i] = *static_cast<uint64_t*>(value);
    }
}

// Gives the host what it can use of each argument: a host block for a guest block, a host
// callable for a guest function pointer.
void translateToHost(const Signature& signature, HostArguments& arguments, const Import* import, Crossing& crossing) {
    std::string callbackTypes;
    bool askedForTypes = false;
    for (size_t i = 0; i < signature.arguments.size(); ++i) {
        const Type& type = signature.arguments[i];
        auto* word = static_cast<void**>(arguments.pointers[i]);
        if (type.code == '@' || type.code == '#') noteObject(*word);
        else if (type.code == 'b') *word = blockToHost(*word, crossing);
        else if (type.code == '?' && *word) {
            if (!askedForTypes && import && import->callbackTypes) callbackTypes = import->callbackTypes(arguments.raw.data());
            askedForTypes = true;
            if (callbackTypes.empty()) {
                // The host is not going to call it (a hook of nothing): it gets the pointer as it is.
                if (!import) fault("a function pointer of unknown type crosses to the host");
                continue;
            }
            uint64_t guest = reinterpret_cast<uint64_t>(*word);
            if (!isTrap(guest)) *word = hostCallable(guest, callbackTypes);
        }
    }
}

// After the call: a slot of a function pointer ("^^?") that the host filled now holds something
// that the guest can call.
void translateSlots(const Signature& signature, const HostArguments& arguments, const Import* import) {
    for (size_t i = 0; i < signature.arguments.size(); ++i) {
        if (signature.arguments[i].encoding != "^^?") continue;
        auto* slot = *static_cast<void***>(arguments.pointers[i]);
        if (slot == nullptr || *slot == nullptr || isGuestText(reinterpret_cast<uint64_t>(*slot))) continue;
        std::string types = import->callbackTypes(arguments.raw.data());
        if (types.empty()) fault(std::string("the host filled a function slot of ") + import->symbol + " without a known type");
        *slot = reinterpret_cast<void*>(guestCallable(*slot, types));
    }
}

void writeResult(uc_engine* uc, const Type& type, const void* value) {
    if (type.code == 'v') return;
    if (type.isHfa()) {
        uint64_t registers[4];
        floatsToRegisters(type, value, registers);
        for (int k = 0; k < type.floatCount; ++k) writeRegister(uc, UC_ARM64_REG_D0 + k, registers[k]);
    } else if (type.isStruct()) {
        uint64_t words[2] = {};
        std::memcpy(words, value, type.size);
        writeRegister(uc, UC_ARM64_REG_X0, words[0]);
        writeRegister(uc, UC_ARM64_REG_X1, words[1]);
    } else {
        uint64_t raw = 0;
        // libffi widens an integer result to a whole register.
        std::memcpy(&raw, value, type.size < sizeof(ffi_arg) ? sizeof(ffi_arg) : type.size);
        if (type.code == '@' || type.code == '#') noteObject(reinterpret_cast<void*>(raw));
        writeRegister(uc, UC_ARM64_REG_X0, toGuestRegister(raw, type));
    }
}

void callHost(uc_engine* uc, void* function, const Signature& signature, const Import* import, const void* receiver = nullptr) {
    HostArguments arguments;
    readArguments(uc, signature, arguments);
    if (receiver) std::memcpy(arguments.pointers[0], &receiver, sizeof receiver);
    Crossing crossing;
    translateToHost(signature, arguments, import, crossing);
    alignas(16) uint64_t result[4] = {};
    void* resultMemory = signature.resultInMemory ? reinterpret_cast<void*>(readRegister(uc, UC_ARM64_REG_X8)) : result;
    ffi_call(const_cast<ffi_cif*>(&signature.cif), reinterpret_cast<void (*)()>(function), resultMemory,
             arguments.pointers.data());
    if (import) translateSlots(signature, arguments, import);
    if (!signature.resultInMemory) writeResult(uc, signature.result, result);
}

// objc_msgSend and objc_msgSendSuper: the method that the host runtime finds gives the types. A
// method that the guest itself implements takes the call in the guest, registers untouched.
uint64_t serveMessage(uc_engine* uc, bool toSuper) {
    uint64_t returnAddress = readRegister(uc, UC_ARM64_REG_LR);
    auto first = reinterpret_cast<id>(readRegister(uc, UC_ARM64_REG_X0));
    auto sel = reinterpret_cast<SEL>(readRegister(uc, UC_ARM64_REG_X1));
    id receiver = first;
    Class cls = nullptr;
    if (toSuper) {
        auto* super = reinterpret_cast<objc_super*>(first);
        receiver = super->self;
        cls = super->super_class;
    } else if (receiver) {
        cls = objc::classOf(receiver);
    }
    if (receiver == nullptr) {
        // As Apple's objc_msgSend for nil: zero integer and floating-point result registers.
        for (int i = 0; i < 2; ++i) writeRegister(uc, UC_ARM64_REG_X0 + i, 0);
        for (int i = 0; i < 4; ++i) writeRegister(uc, UC_ARM64_REG_D0 + i, 0);
        return returnAddress;
    }
    Method method = class_getInstanceMethod(cls, sel);
    if (method == nullptr)
        fault(std::string("the guest sent ") + sel_getName(sel) + " to an instance of " + class_getName(cls) +
              ", which does not answer it");
    IMP imp = method_getImplementation(method);
    if (uint64_t guest = guestFunctionOf(reinterpret_cast<void*>(imp))) {
        if (toSuper) writeRegister(uc, UC_ARM64_REG_X0, reinterpret_cast<uint64_t>(receiver));
        return guest;
    }
    callHost(uc, reinterpret_cast<void*>(imp), signatureOf(method_getTypeEncoding(method)), nullptr,
             toSuper ? receiver : nullptr);
    return returnAddress;
}

// dyld_stub_binder: the stub helper pushed the lazy bind's offset (x16) and the image's cache slot
// (x17); the binder pops both, binds the pointer and jumps to its target with the caller's
// arguments untouched (dyld_stub_binder.s, dyld-421.2).
uint64_t serveLazyBinder(uc_engine* uc) {
    uint64_t sp = readRegister(uc, UC_ARM64_REG_SP);
    uint64_t pushed[2];
    std::memcpy(pushed, reinterpret_cast<const void*>(sp), sizeof pushed);
    uint64_t target = bindLazyPointer(pushed[1], pushed[0]);
    writeRegister(uc, UC_ARM64_REG_SP, sp + sizeof pushed);
    writeRegister(uc, UC_ARM64_REG_X16, target);
    return target;
}

// ---- host -> guest ----

struct GuestFunction {
    uint64_t address;
    const Signature* signature;
};

void enterGuest(ffi_cif*, void* result, void** values, void* data) {
    const auto& function = *static_cast<GuestFunction*>(data);
    const Signature& signature = *function.signature;
    Frame frame;
    std::vector<uint8_t> stack(signature.stackBytes);
    std::vector<std::vector<uint8_t>> copies; // structs over 16 bytes go by reference to a copy
    Crossing crossing;
    for (size_t i = 0; i < signature.arguments.size(); ++i) {
        const Type& type = signature.arguments[i];
        const Place& place = signature.places[i];
        const void* value = values[i];
        uint64_t word = 0;
        if (type.code == '@' || type.code == '#') noteObject(*static_cast<void* const*>(value));
        if (type.code == 'b') {
            void* block = blockToGuest(*static_cast<void* const*>(value), crossing);
            std::memcpy(&word, &block, 8);
            value = &word;
        }
        if (place.byReference) {
            copies.emplace_back(static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + type.size);
            word = reinterpret_cast<uint64_t>(copies.back().data());
            value = &word;
        }
        if (place.where == Place::x) {
            if (type.isStruct() && !place.byReference) std::memcpy(&frame.x[place.index], value, type.size);
            else {
                uint64_t raw = 0;
                std::memcpy(&raw, value, place.byReference ? 8 : type.size);
                frame.x[place.index] = place.byReference ? raw : toGuestRegister(raw, type);
            }
        } else if (place.where == Place::d) {
            floatsToRegisters(type, value, &frame.d[place.index]);
        } else {
            std::memcpy(stack.data() + place.index, value, place.byReference ? 8 : type.size);
        }
    }
    frame.stackArguments = stack.data();
    frame.stackBytes = stack.size();
    if (signature.resultInMemory) frame.x8 = reinterpret_cast<uint64_t>(result);
    Results results = callGuest(function.address, frame);
    const Type& type = signature.result;
    if (type.code == 'v' || signature.resultInMemory) return;
    if (type.isHfa()) {
        floatsFromRegisters(type, results.d, result);
    } else if (type.isStruct()) {
        std::memcpy(result, results.x, type.size);
    } else {
        // libffi wants an integer result widened to a whole register.
        uint64_t value = extend(results.x[0], type);
        if (type.code == '@' || type.code == '#') noteObject(reinterpret_cast<void*>(value));
        std::memcpy(result, &value, type.size < sizeof(ffi_arg) ? sizeof(ffi_arg) : type.size);
    }
}

} // namespace

void* hostCallable(uint64_t address, const std::string& encoding) {
    if (address == 0) return nullptr;
    if (isTrap(address)) {
        Entry entry = entryAt(size_t(address - trapAddress(0)) / 4);
        if (entry.kind == Import::function && entry.host) return entry.host;
    }
    std::lock_guard<std::mutex> lock(bridgeGuard);
    void*& made = hostCallables[{address, encoding}];
    if (made) return made;
    void* code = nullptr;
    auto* closure = static_cast<ffi_closure*>(ffi_closure_alloc(sizeof(ffi_closure), &code));
    auto* function = new GuestFunction{address, &signatureOf(encoding)};
    if (closure == nullptr ||
        ffi_prep_closure_loc(closure, const_cast<ffi_cif*>(&function->signature->cif), enterGuest, function, code) != FFI_OK)
        fault("libffi cannot make a closure for " + encoding);
    closureTargets[code] = address;
    made = code;
    return made;
}

uint64_t guestCallable(void* function, const std::string& encoding) {
    if (function == nullptr) return 0;
    if (uint64_t guest = guestFunctionOf(function)) return guest;
    const Signature* signature = &signatureOf(encoding);
    {
        std::lock_guard<std::mutex> lock(bridgeGuard);
        auto found = guestCallables.find({function, encoding});
        if (found != guestCallables.end()) return found->second;
    }
    uint64_t address = addEntry(Entry{Import::function, function, signature, nullptr});
    std::lock_guard<std::mutex> lock(bridgeGuard);
    guestCallables[{function, encoding}] = address;
    return address;
}

uint64_t serveTrap(size_t index) {
    Entry entry = entryAt(index);
    uc_engine* uc = engine();
    switch (entry.kind) {
    case Import::message: return serveMessage(uc, false);
    case Import::superMessage: return serveMessage(uc, true);
    case Import::function:
        callHost(uc, entry.host, *entry.signature, entry.import);
        return readRegister(uc, UC_ARM64_REG_LR);
    case Import::lazyBinder: return serveLazyBinder(uc);
    case Import::data:
    case Import::unreachable: break;
    }
    fault(std::string("the guest called ") + (entry.import ? entry.import->symbol : "a bridge entry") +
          ", which no guest code may call");
}

const DeviceLibrary* deviceLibrary(const std::string& installName) {
    for (size_t i = 0; i < kLibraryCount; ++i)
        if (installName == kLibraries[i].installName) return &kLibraries[i];
    return nullptr;
}

const Import* exportOf(const DeviceLibrary& library, const std::string& symbol, Version release) {
    for (size_t i = 0; i < kImportCount; ++i)
        if (symbol == kImports[i].symbol && std::strcmp(library.installName, kImports[i].library) == 0)
            return kImports[i].since <= release ? &kImports[i] : nullptr;
    for (const char* reexported : library.reexports)
        if (const DeviceLibrary* inner = deviceLibrary(reexported))
            if (const Import* found = exportOf(*inner, symbol, release)) return found;
    return nullptr;
}

uint64_t importAddress(const Import& import) {
    void* host = nullptr;
    if (import.kind == Import::function || import.kind == Import::data) {
        host = dlsym(RTLD_DEFAULT, import.hostName ? import.hostName : import.symbol + 1);
        if (host == nullptr) throw LoadError(std::string("the simulator lacks the host side of ") + import.symbol);
    }
    if (import.kind == Import::data) return reinterpret_cast<uint64_t>(host);
    static std::map<const Import*, uint64_t> bound;
    static std::mutex guard;
    std::lock_guard<std::mutex> lock(guard);
    uint64_t& address = bound[&import];
    if (address == 0)
        address = addEntry(Entry{import.kind, host, import.types ? &signatureOf(import.types) : nullptr, &import});
    return address;
}

} // namespace sim::device
