#include "sim/device_core/code_signing.hpp"

#include "sim/device_core/macho.hpp"

#include <openssl/sha.h>

#include <algorithm>
#include <cstring>

namespace sim::device {
namespace {

using namespace macho;

// The hashes the kernel knows, worst first: a directory's rank is its place here (ubc_subr.c,
// cs_supported_hash and hash_rank).
struct Hash {
    uint8_t type;
    uint32_t size; // of the digest kept in the directory
    void (*digest)(const uint8_t* data, size_t size, uint8_t* out);
};
const Hash kHashes[] = {
    {CS_HASHTYPE_SHA1, SHA_DIGEST_LENGTH, [](const uint8_t* d, size_t n, uint8_t* o) { SHA1(d, n, o); }},
    {CS_HASHTYPE_SHA256_TRUNCATED, 20, [](const uint8_t* d, size_t n, uint8_t* o) { SHA256(d, n, o); }},
    {CS_HASHTYPE_SHA256, SHA256_DIGEST_LENGTH, [](const uint8_t* d, size_t n, uint8_t* o) { SHA256(d, n, o); }},
    {CS_HASHTYPE_SHA384, SHA384_DIGEST_LENGTH, [](const uint8_t* d, size_t n, uint8_t* o) { SHA384(d, n, o); }},
};

const Hash* hashOf(uint8_t type) {
    for (const Hash& hash : kHashes)
        if (hash.type == type) return &hash;
    return nullptr;
}

int rankOf(uint8_t type) { return int(hashOf(type) - kHashes) + 1; }

// The largest code-directory page the kernel takes: its own page (16 KB on arm64 iOS).
constexpr uint8_t kPageShift4K = 12, kKernelPageShift = 14;

// cs_validate_codedirectory: every offset and count within the directory's length.
bool directoryIsValid(const uint8_t* cdBytes, size_t length) {
    if (length < sizeof(CS_CodeDirectory)) return false;
    auto cd = valueAt<CS_CodeDirectory>(cdBytes);
    if (fromBigEndian(cd.magic) != CSMAGIC_CODEDIRECTORY) return false;
    if (cd.pageSize < kPageShift4K || cd.pageSize > kKernelPageShift) return false;
    const Hash* hash = hashOf(cd.hashType);
    if (hash == nullptr || cd.hashSize != hash->size) return false;
    uint32_t hashOffset = fromBigEndian(cd.hashOffset);
    if (length < hashOffset) return false;
    if (hashOffset / hash->size < fromBigEndian(cd.nSpecialSlots)) return false;
    if ((length - hashOffset) / hash->size < fromBigEndian(cd.nCodeSlots)) return false;
    if (fromBigEndian(cd.version) >= CS_SUPPORTSSCATTER && cd.scatterOffset) {
        // Scatter entries (count, base, target offset, spare) up to one of count 0, all within.
        uint64_t at = fromBigEndian(cd.scatterOffset), pages = 0;
        for (;; at += 24) {
            if (at + 24 > length) return false;
            uint32_t count = fromBigEndian(valueAt<uint32_t>(cdBytes + at));
            if (count == 0) break;
            if (pages + count < pages) return false;
            pages += count;
        }
    }
    uint32_t ident = fromBigEndian(cd.identOffset);
    if (length < ident) return false;
    if (ident && std::memchr(cdBytes + ident, 0, length - ident) == nullptr) return false;
    uint32_t team = fromBigEndian(cd.teamOffset);
    if (fromBigEndian(cd.version) >= CS_SUPPORTSTEAMID && team) {
        if (length < team || std::memchr(cdBytes + team, 0, length - team) == nullptr) return false;
    }
    return true;
}

// cs_validate_blob: a blob's stated length within what holds it.
bool blobFits(const uint8_t* at, size_t length) {
    return length >= sizeof(CS_GenericBlob) && length >= fromBigEndian(valueAt<CS_GenericBlob>(at).length);
}

} // namespace

std::optional<CodeSignature> validateSignature(const uint8_t* blob, size_t size) {
    if (!blobFits(blob, size)) return std::nullopt;
    size_t length = fromBigEndian(valueAt<CS_GenericBlob>(blob).length);
    const uint8_t* best = nullptr;
    if (fromBigEndian(valueAt<CS_GenericBlob>(blob).magic) == CSMAGIC_EMBEDDED_SIGNATURE) {
        if (length < sizeof(CS_SuperBlob)) return std::nullopt;
        uint32_t count = fromBigEndian(valueAt<CS_SuperBlob>(blob).count);
        if ((length - sizeof(CS_SuperBlob)) / sizeof(CS_BlobIndex) < count) return std::nullopt;
        bool entitled = false;
        for (uint32_t n = 0; n < count; ++n) {
            auto index = valueAt<CS_BlobIndex>(blob + sizeof(CS_SuperBlob) + n * sizeof(CS_BlobIndex));
            uint32_t type = fromBigEndian(index.type), offset = fromBigEndian(index.offset);
            if (length < offset || !blobFits(blob + offset, length - offset)) return std::nullopt;
            const uint8_t* sub = blob + offset;
            size_t subLength = fromBigEndian(valueAt<CS_GenericBlob>(sub).length);
            if (type == CSSLOT_CODEDIRECTORY ||
                (type >= CSSLOT_ALTERNATE_CODEDIRECTORIES && type < CSSLOT_ALTERNATE_CODEDIRECTORY_LIMIT)) {
                if (!directoryIsValid(sub, subLength)) return std::nullopt;
                int rank = rankOf(valueAt<CS_CodeDirectory>(sub).hashType);
                int bestRank = best ? rankOf(valueAt<CS_CodeDirectory>(best).hashType) : 0;
                if (rank == bestRank) return std::nullopt; // two directories of one hash: refused
                if (rank > bestRank) best = sub;
            } else if (type == CSSLOT_ENTITLEMENTS) {
                if (fromBigEndian(valueAt<CS_GenericBlob>(sub).magic) != CSMAGIC_EMBEDDED_ENTITLEMENTS || entitled)
                    return std::nullopt;
                entitled = true;
            }
        }
    } else if (fromBigEndian(valueAt<CS_GenericBlob>(blob).magic) == CSMAGIC_CODEDIRECTORY) {
        if (!directoryIsValid(blob, length)) return std::nullopt;
        best = blob;
    }
    if (best == nullptr) return std::nullopt;
    auto cd = valueAt<CS_CodeDirectory>(best);
    return CodeSignature{best + fromBigEndian(cd.hashOffset), uint32_t(1) << cd.pageSize, fromBigEndian(cd.codeLimit),
                         cd.hashType, cd.hashSize, fromBigEndian(cd.nCodeSlots)};
}

bool pageIsValid(const CodeSignature& signature, uint32_t page, const uint8_t* file, size_t fileSize) {
    if (page >= signature.pageCount) return false;
    uint64_t start = uint64_t(page) * signature.pageSize;
    uint64_t end = std::min<uint64_t>({start + signature.pageSize, signature.codeLimit, fileSize});
    if (start >= end) return false;
    uint8_t digest[64];
    hashOf(signature.hashType)->digest(file + start, size_t(end - start), digest);
    const uint8_t* expected = signature.hashes + size_t(page) * signature.hashSize;
    return std::memcmp(digest, expected, signature.hashSize) == 0;
}

} // namespace sim::device
