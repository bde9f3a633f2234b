// dyld's opcode streams decoded into the fixups they describe, apart from applying them: rebases
// and binds name a segment by index and an offset in it, as the opcodes do
// (ImageLoaderMachOCompressed.cpp, rebase and eachBind, dyld-421.2). Opcodes that dyld would refuse
// throw LoadError with its message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::device {

struct Rebase {
    uint32_t segment;
    uint64_t offset;
};

struct Bind {
    uint32_t segment;
    uint64_t offset;
    int64_t ordinal; // 1 for the first library that the load commands name; 0 and below are special
    std::string symbol;
    bool weakImport;
    int64_t addend;
};

std::vector<Rebase> decodeRebases(const uint8_t* begin, const uint8_t* end);
// Binds run to the first done opcode; lazy binds hold one entry after another, each ending with
// one, and `begin` may point at any entry.
std::vector<Bind> decodeBinds(const uint8_t* begin, const uint8_t* end);
std::vector<Bind> decodeLazyBinds(const uint8_t* begin, const uint8_t* end);

} // namespace sim::device
