// What dyld reads of a binary before it maps it, checked as dyld checks it and refused with dyld's
// messages: the slice for the process's architecture, its header, and its load commands.
#pragma once

#include "sim/device_core/macho.hpp"
#include "sim/device_core/releases.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::device {

// What dyld throws: its message, the loader's refusal (a LoadError).
[[noreturn]] void refuse(const std::string& message);

std::string segmentName(const macho::segment_command_64& segment);

// A library that a load command names.
struct Dependent {
    std::string name;
    bool weak;
    uint32_t compatibility;
};

struct LoadCommands {
    std::vector<macho::segment_command_64> segments;
    std::optional<size_t> linkedit; // the place of __LINKEDIT in `segments`; a read image has one
    std::vector<std::pair<uint64_t, uint64_t>> initializers; // address and size of each section
    std::vector<Dependent> dependents;
    std::optional<macho::dyld_info_command> dyldInfo;
    std::optional<macho::symtab_command> symtab;
    std::optional<macho::dysymtab_command> dysymtab;
    std::optional<macho::linkedit_data_command> codeSignature;
};

// The slice of the file (thin, or one of a universal file's) that a process of that kind loads; a
// thin file is its own slice, handed back without a copy.
std::vector<uint8_t> sliceOf(std::vector<uint8_t> whole, bool arm64eProcess);
// The slice's header and load commands, as that device's dyld reads them; `devicePath` names the
// binary in its messages.
LoadCommands readLoadCommands(const std::vector<uint8_t>& slice, const std::string& devicePath, const Device& device);

} // namespace sim::device
