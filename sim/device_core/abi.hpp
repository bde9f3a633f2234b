// Objective-C type encodings read as the two calling conventions that meet in the device core:
// libffi's description of the host's (x86_64), and where Apple's arm64 convention puts each value
// in the guest's registers and stack.
#pragma once

#include <ffi.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim::device {

struct Type {
    // The encoding's type code after qualifiers: 'i', 'd', '@', '{', '^', 'v', ...; '?' for '^?'
    // (a function pointer), 'b' for '@?' (a block).
    char code = 'v';
    std::string encoding;
    size_t size = 0;
    size_t align = 1;
    bool isSigned = false;
    // A homogeneous floating-point aggregate (CGPoint, CGSize, CGRect; a lone float or double is
    // one): the element's code ('f' or 'd') and how many, which arm64 passes in d-registers.
    char floatElement = 0;
    int floatCount = 0;
    ffi_type* ffi = nullptr;

    bool isStruct() const { return code == '{'; }
    bool isHfa() const { return floatCount > 0; }
};

// Where Apple's arm64 convention puts one argument.
struct Place {
    enum Where { x, d, stack } where;
    int index;       // first x- or d-register, or the byte offset from sp
    bool byReference; // a struct over 16 bytes (not a float aggregate) goes as a pointer to a copy
};

struct Signature {
    Type result;
    std::vector<Type> arguments;
    std::vector<Place> places;
    size_t stackBytes = 0;
    // A result over 16 bytes that is no float aggregate is written to memory at x8.
    bool resultInMemory = false;
    ffi_cif cif;
    std::vector<ffi_type*> ffiArguments;
};

// The signature of a method or function of that encoding ("v24@0:8B16", "@?", "{CGRect=...}@:"),
// made once and kept for the life of the process. Throws std::runtime_error for an encoding it
// cannot read.
const Signature& signatureOf(const std::string& encoding);

} // namespace sim::device
