#include "sim/device_core/fixups.hpp"

#include "sim/device_core/load_commands.hpp"

namespace sim::device {
namespace {

using namespace macho;

struct Reader {
    const uint8_t* next;
    const uint8_t* end;

    bool atEnd() const { return next >= end; }
    uint8_t byte() { return *next++; }
    uint64_t uleb() {
        uint64_t value = 0;
        for (int shift = 0; next < end; shift += 7) {
            uint8_t part = *next++;
            if (shift >= 64) refuse("uleb128 too big for uint64");
            value |= uint64_t(part & 0x7f) << shift;
            if (!(part & 0x80)) return value;
        }
        refuse("malformed uleb128");
    }
    int64_t sleb() {
        int64_t value = 0;
        int shift = 0;
        uint8_t part = 0x80;
        while (part & 0x80) {
            if (next >= end) refuse("malformed sleb128");
            part = *next++;
            if (shift < 64) value |= int64_t(part & 0x7f) << shift;
            shift += 7;
        }
        if (shift < 64 && (part & 0x40)) value |= -(int64_t(1) << shift);
        return value;
    }
    std::string text() {
        const uint8_t* start = next;
        while (next < end && *next) ++next;
        if (next >= end) refuse("malformed binding opcodes: a symbol name runs past the bind information");
        return std::string(reinterpret_cast<const char*>(start), size_t(next++ - start));
    }
};

// Where the next fixup goes: a segment and an offset, set by the opcodes.
struct Cursor {
    bool placed = false;
    uint32_t segment = 0;
    uint64_t offset = 0;
};

std::vector<Bind> decode(const uint8_t* begin, const uint8_t* end, bool lazy) {
    Reader in{begin, end};
    Cursor at;
    Bind next{0, 0, 0, {}, false, 0};
    bool named = false, ordinalSet = false;
    std::vector<Bind> binds;
    auto bindHere = [&](const char* opcode) {
        if (!named) refuse(std::string(opcode) + " missing preceding BIND_OPCODE_SET_SYMBOL_TRAILING_FLAGS_IMM");
        if (!at.placed) refuse(std::string(opcode) + " missing preceding BIND_OPCODE_SET_SEGMENT_AND_OFFSET_ULEB");
        if (!ordinalSet) refuse(std::string(opcode) + " missing preceding BIND_OPCODE_SET_DYLIB_ORDINAL*");
        next.segment = at.segment;
        next.offset = at.offset;
        binds.push_back(next);
        at.offset += 8;
    };
    while (!in.atEnd()) {
        uint8_t byte = in.byte();
        uint8_t immediate = byte & BIND_IMMEDIATE_MASK;
        switch (byte & BIND_OPCODE_MASK) {
        case BIND_OPCODE_DONE:
            if (!lazy) return binds;
            break; // each lazy entry ends with it
        case BIND_OPCODE_SET_DYLIB_ORDINAL_IMM: next.ordinal = immediate; ordinalSet = true; break;
        case BIND_OPCODE_SET_DYLIB_ORDINAL_ULEB: next.ordinal = int64_t(in.uleb()); ordinalSet = true; break;
        case BIND_OPCODE_SET_DYLIB_SPECIAL_IMM:
            next.ordinal = immediate ? int64_t(int8_t(BIND_OPCODE_MASK | immediate)) : 0;
            ordinalSet = true;
            break;
        case BIND_OPCODE_SET_SYMBOL_TRAILING_FLAGS_IMM:
            next.weakImport = immediate & BIND_SYMBOL_FLAGS_WEAK_IMPORT;
            next.symbol = in.text();
            named = true;
            break;
        case BIND_OPCODE_SET_TYPE_IMM:
            if (immediate != BIND_TYPE_POINTER) refuse("bad bind type " + std::to_string(immediate));
            break;
        case BIND_OPCODE_SET_ADDEND_SLEB: next.addend = in.sleb(); break;
        case BIND_OPCODE_SET_SEGMENT_AND_OFFSET_ULEB: at = Cursor{true, immediate, in.uleb()}; break;
        case BIND_OPCODE_ADD_ADDR_ULEB: at.offset += in.uleb(); break;
        case BIND_OPCODE_DO_BIND: bindHere("BIND_OPCODE_DO_BIND"); break;
        case BIND_OPCODE_DO_BIND_ADD_ADDR_ULEB:
            bindHere("BIND_OPCODE_DO_BIND_ADD_ADDR_ULEB");
            at.offset += in.uleb();
            break;
        case BIND_OPCODE_DO_BIND_ADD_ADDR_IMM_SCALED:
            bindHere("BIND_OPCODE_DO_BIND_ADD_ADDR_IMM_SCALED");
            at.offset += uint64_t(immediate) * 8;
            break;
        case BIND_OPCODE_DO_BIND_ULEB_TIMES_SKIPPING_ULEB: {
            uint64_t times = in.uleb(), skip = in.uleb();
            for (uint64_t i = 0; i < times; ++i) {
                bindHere("BIND_OPCODE_DO_BIND_ULEB_TIMES_SKIPPING_ULEB");
                at.offset += skip;
            }
            break;
        }
        default: refuse("bad bind opcode " + std::to_string(byte));
        }
    }
    return binds;
}

} // namespace

std::vector<Rebase> decodeRebases(const uint8_t* begin, const uint8_t* end) {
    Reader in{begin, end};
    Cursor at;
    std::vector<Rebase> rebases;
    auto rebaseHere = [&](uint64_t times, uint64_t skip) {
        if (!at.placed) refuse("a rebase before REBASE_OPCODE_SET_SEGMENT_AND_OFFSET_ULEB");
        for (uint64_t i = 0; i < times; ++i, at.offset += 8 + skip) rebases.push_back({at.segment, at.offset});
    };
    while (!in.atEnd()) {
        uint8_t byte = in.byte();
        uint8_t immediate = byte & REBASE_IMMEDIATE_MASK;
        switch (byte & REBASE_OPCODE_MASK) {
        case REBASE_OPCODE_DONE: return rebases;
        case REBASE_OPCODE_SET_TYPE_IMM:
            if (immediate != REBASE_TYPE_POINTER) refuse("bad rebase type " + std::to_string(immediate));
            break;
        case REBASE_OPCODE_SET_SEGMENT_AND_OFFSET_ULEB: at = Cursor{true, immediate, in.uleb()}; break;
        case REBASE_OPCODE_ADD_ADDR_ULEB: at.offset += in.uleb(); break;
        case REBASE_OPCODE_ADD_ADDR_IMM_SCALED: at.offset += uint64_t(immediate) * 8; break;
        case REBASE_OPCODE_DO_REBASE_IMM_TIMES: rebaseHere(immediate, 0); break;
        case REBASE_OPCODE_DO_REBASE_ULEB_TIMES: rebaseHere(in.uleb(), 0); break;
        case REBASE_OPCODE_DO_REBASE_ADD_ADDR_ULEB: rebaseHere(1, in.uleb()); break;
        case REBASE_OPCODE_DO_REBASE_ULEB_TIMES_SKIPPING_ULEB: {
            uint64_t times = in.uleb();
            rebaseHere(times, in.uleb());
            break;
        }
        default: refuse("bad rebase opcode " + std::to_string(byte));
        }
    }
    return rebases;
}

std::vector<Bind> decodeBinds(const uint8_t* begin, const uint8_t* end) { return decode(begin, end, false); }
std::vector<Bind> decodeLazyBinds(const uint8_t* begin, const uint8_t* end) { return decode(begin, end, true); }

} // namespace sim::device
