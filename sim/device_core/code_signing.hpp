// The kernel's side of code signing, as xnu checks it for the releases modelled (bsd/kern/ubc_subr.c
// and osfmk/vm/vm_fault.c, xnu-3789.70.16 to xnu-7195.141.2): the signature blob when dyld
// registers it (F_ADDFILESIGS_RETURN), and each page's hash against the file's bytes when the page
// is first touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace sim::device {

// What the kernel keeps of a valid signature: the code directory of the best hash, which it
// validates every page with.
struct CodeSignature {
    const uint8_t* hashes; // the directory's hash of each page, within the file's bytes, which outlive it
    uint32_t pageSize;
    uint64_t codeLimit; // the bytes of the file that the signature covers
    uint8_t hashType;
    uint32_t hashSize;
    uint32_t pageCount;
};

// cs_validate_csblob: the embedded signature's blobs and code directories lie within it and name
// a hash the kernel knows; with several directories, the best hash wins. Nothing for a blob that
// the kernel refuses (EBADEXEC).
std::optional<CodeSignature> validateSignature(const uint8_t* blob, size_t size);

// Whether the signing page `page` of the file hashes as the directory says (cs_validate_page).
bool pageIsValid(const CodeSignature& signature, uint32_t page, const uint8_t* file, size_t fileSize);

} // namespace sim::device
