// The Mach-O structures and constants that the device's loader reads, under the names of Apple's
// <mach-o/loader.h>, <mach-o/fat.h>, <mach-o/nlist.h> and xnu's osfmk/kern/cs_blobs.h, and a
// bounds-checked view of a file's bytes to read them from.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace sim::device::macho {

// ---- headers ----

constexpr uint32_t MH_MAGIC_64 = 0xfeedfacf;
constexpr uint32_t FAT_MAGIC = 0xcafebabe; // big-endian on disk, as the whole fat header
constexpr uint32_t CPU_TYPE_ARM64 = 0x0100000c;
constexpr uint32_t CPU_SUBTYPE_MASK = 0xff000000; // capability bits
constexpr uint32_t CPU_SUBTYPE_ARM64E = 2;
constexpr uint32_t MH_EXECUTE = 0x2, MH_DYLIB = 0x6, MH_BUNDLE = 0x8;

struct mach_header_64 {
    uint32_t magic, cputype, cpusubtype, filetype, ncmds, sizeofcmds, flags, reserved;
};
struct fat_header {
    uint32_t magic, nfat_arch;
};
struct fat_arch {
    uint32_t cputype, cpusubtype, offset, size, align;
};

// ---- load commands ----

constexpr uint32_t LC_REQ_DYLD = 0x80000000;
constexpr uint32_t LC_SEGMENT = 0x1, LC_SYMTAB = 0x2, LC_DYSYMTAB = 0xb, LC_LOAD_DYLIB = 0xc, LC_ID_DYLIB = 0xd,
                   LC_LOAD_WEAK_DYLIB = 0x18 | LC_REQ_DYLD, LC_SEGMENT_64 = 0x19, LC_CODE_SIGNATURE = 0x1d,
                   LC_REEXPORT_DYLIB = 0x1f | LC_REQ_DYLD, LC_DYLD_INFO = 0x22, LC_DYLD_INFO_ONLY = 0x22 | LC_REQ_DYLD,
                   LC_LOAD_UPWARD_DYLIB = 0x23 | LC_REQ_DYLD,
                   LC_DYLD_CHAINED_FIXUPS = 0x34 | LC_REQ_DYLD;

struct load_command {
    uint32_t cmd, cmdsize;
};
struct segment_command_64 {
    uint32_t cmd, cmdsize;
    char segname[16];
    uint64_t vmaddr, vmsize, fileoff, filesize;
    uint32_t maxprot, initprot, nsects, flags;
};
struct section_64 {
    char sectname[16], segname[16];
    uint64_t addr, size;
    uint32_t offset, align, reloff, nreloc, flags, reserved1, reserved2, reserved3;
};
struct dylib_command {
    uint32_t cmd, cmdsize;
    uint32_t name_offset, timestamp, current_version, compatibility_version;
};
struct dyld_info_command {
    uint32_t cmd, cmdsize;
    uint32_t rebase_off, rebase_size, bind_off, bind_size, weak_bind_off, weak_bind_size, lazy_bind_off,
        lazy_bind_size, export_off, export_size;
};
struct symtab_command {
    uint32_t cmd, cmdsize, symoff, nsyms, stroff, strsize;
};
struct dysymtab_command {
    uint32_t cmd, cmdsize;
    uint32_t ilocalsym, nlocalsym, iextdefsym, nextdefsym, iundefsym, nundefsym, tocoff, ntoc, modtaboff, nmodtab,
        extrefsymoff, nextrefsyms, indirectsymoff, nindirectsyms, extreloff, nextrel, locreloff, nlocrel;
};
struct linkedit_data_command {
    uint32_t cmd, cmdsize, dataoff, datasize;
};
struct nlist_64 {
    uint32_t n_strx;
    uint8_t n_type, n_sect;
    uint16_t n_desc;
    uint64_t n_value;
};
constexpr uint8_t N_TYPE = 0x0e, N_SECT = 0x0e;

constexpr uint32_t VM_PROT_READ = 1, VM_PROT_WRITE = 2, VM_PROT_EXECUTE = 4;
constexpr uint32_t SECTION_TYPE = 0xff, S_MOD_INIT_FUNC_POINTERS = 0x9;

// ---- dyld's opcodes ----

constexpr uint8_t REBASE_OPCODE_MASK = 0xf0, REBASE_IMMEDIATE_MASK = 0x0f;
constexpr uint8_t REBASE_TYPE_POINTER = 1;
constexpr uint8_t REBASE_OPCODE_DONE = 0x00, REBASE_OPCODE_SET_TYPE_IMM = 0x10,
                  REBASE_OPCODE_SET_SEGMENT_AND_OFFSET_ULEB = 0x20, REBASE_OPCODE_ADD_ADDR_ULEB = 0x30,
                  REBASE_OPCODE_ADD_ADDR_IMM_SCALED = 0x40, REBASE_OPCODE_DO_REBASE_IMM_TIMES = 0x50,
                  REBASE_OPCODE_DO_REBASE_ULEB_TIMES = 0x60, REBASE_OPCODE_DO_REBASE_ADD_ADDR_ULEB = 0x70,
                  REBASE_OPCODE_DO_REBASE_ULEB_TIMES_SKIPPING_ULEB = 0x80;

constexpr uint8_t BIND_OPCODE_MASK = 0xf0, BIND_IMMEDIATE_MASK = 0x0f;
constexpr uint8_t BIND_TYPE_POINTER = 1;
constexpr uint8_t BIND_SYMBOL_FLAGS_WEAK_IMPORT = 0x1;
constexpr uint8_t BIND_OPCODE_DONE = 0x00, BIND_OPCODE_SET_DYLIB_ORDINAL_IMM = 0x10,
                  BIND_OPCODE_SET_DYLIB_ORDINAL_ULEB = 0x20, BIND_OPCODE_SET_DYLIB_SPECIAL_IMM = 0x30,
                  BIND_OPCODE_SET_SYMBOL_TRAILING_FLAGS_IMM = 0x40, BIND_OPCODE_SET_TYPE_IMM = 0x50,
                  BIND_OPCODE_SET_ADDEND_SLEB = 0x60, BIND_OPCODE_SET_SEGMENT_AND_OFFSET_ULEB = 0x70,
                  BIND_OPCODE_ADD_ADDR_ULEB = 0x80, BIND_OPCODE_DO_BIND = 0x90,
                  BIND_OPCODE_DO_BIND_ADD_ADDR_ULEB = 0xa0, BIND_OPCODE_DO_BIND_ADD_ADDR_IMM_SCALED = 0xb0,
                  BIND_OPCODE_DO_BIND_ULEB_TIMES_SKIPPING_ULEB = 0xc0;

// ---- code signatures (xnu's osfmk/kern/cs_blobs.h; big-endian on disk) ----

constexpr uint32_t CSMAGIC_EMBEDDED_SIGNATURE = 0xfade0cc0, CSMAGIC_CODEDIRECTORY = 0xfade0c02,
                   CSMAGIC_EMBEDDED_ENTITLEMENTS = 0xfade7171;
constexpr uint32_t CSSLOT_CODEDIRECTORY = 0, CSSLOT_ENTITLEMENTS = 5, CSSLOT_ALTERNATE_CODEDIRECTORIES = 0x1000,
                   CSSLOT_ALTERNATE_CODEDIRECTORY_LIMIT = 0x1005;
constexpr uint8_t CS_HASHTYPE_SHA1 = 1, CS_HASHTYPE_SHA256 = 2, CS_HASHTYPE_SHA256_TRUNCATED = 3,
                  CS_HASHTYPE_SHA384 = 4;
constexpr uint32_t CS_SUPPORTSSCATTER = 0x20100, CS_SUPPORTSTEAMID = 0x20200;

struct CS_GenericBlob {
    uint32_t magic, length;
};
struct CS_SuperBlob {
    uint32_t magic, length, count;
};
struct CS_BlobIndex {
    uint32_t type, offset;
};
struct CS_CodeDirectory {
    uint32_t magic, length, version, flags, hashOffset, identOffset, nSpecialSlots, nCodeSlots, codeLimit;
    uint8_t hashSize, hashType, platform, pageSize;
    uint32_t spare2, scatterOffset, teamOffset;
};

inline uint32_t fromBigEndian(uint32_t value) { return __builtin_bswap32(value); }

// A version packed as dyld packs it (xxxx.yy.zz in 16.8.8 bits).
inline std::string versionText(uint32_t packed) {
    return std::to_string(packed >> 16) + "." + std::to_string((packed >> 8) & 0xff) + "." +
           std::to_string(packed & 0xff);
}

// The structure at `at`, copied out as it lies (the bytes may be unaligned); for a range already
// checked.
template <class T> T valueAt(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The bytes of a file; every read is checked against its end.
struct Bytes {
    const uint8_t* data;
    size_t size;

    bool holds(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
    template <class T> std::optional<T> read(uint64_t offset) const {
        if (!holds(offset, sizeof(T))) return std::nullopt;
        return valueAt<T>(data + offset);
    }
};

} // namespace sim::device::macho
