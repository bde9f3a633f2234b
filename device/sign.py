"""Signs a thin 64-bit Mach-O in place, ad hoc, in the form that tweak packages for the iOS 10 era
carry: an embedded signature whose code directory hashes the pages with SHA-1, an empty
requirements set, and the same directory with SHA-256 as the alternate, flagged ad hoc alone. The
jailbreaks of that era and their code-signing bypasses were built and tested against this form;
lld's own signature (one SHA-256 directory, flagged linker-signed) is newer than they are.

The identifier is the file's name, as the usual tweak signer takes it. Info.plist is not hashed (that
signer hashes it only when asked, and the Settings app loads the bundle without it), so its slot
stays zero. The signature goes at the end of __LINKEDIT, which grows to hold it; a file without
LC_CODE_SIGNATURE gains one in its header padding, and a file already signed is signed afresh.

Usage: sign.py BINARY"""

import hashlib
import os
import struct
import sys

from macho import HEADER_SIZE, NotMachO, change_in_place, load_commands, segments

MH_EXECUTE = 0x2
LC_CODE_SIGNATURE = 0x1D
LINKEDIT_DATA = struct.Struct("<IIII")  # linkedit_data_command
SEGMENT_SIZES = 32  # offset of vmsize, fileoff and filesize within segment_command_64

SUPER_BLOB = 0xFADE0CC0
CODE_DIRECTORY = 0xFADE0C02
REQUIREMENTS = 0xFADE0C01
CODE_DIRECTORY_SLOT, REQUIREMENTS_SLOT, ALTERNATE_SLOT = 0, 2, 0x1000
VERSION = 0x20400  # the first with the executable segment's fields
CS_ADHOC = 0x2
CS_EXECSEG_MAIN_BINARY = 0x1
PAGE_SHIFT = 12
PAGE = 1 << PAGE_SHIFT
SPECIAL_SLOTS = 2  # Info.plist (slot 1, zero) and the requirements (slot 2)
DIRECTORY_HEADER = struct.Struct(">9I4BIIIIQQQQ")  # CodeDirectory up to execSegFlags: 88 bytes
HASHES = ((1, hashlib.sha1), (2, hashlib.sha256))  # the hash types: SHA-1 first, SHA-256 alternate

EMPTY_REQUIREMENTS = struct.pack(">III", REQUIREMENTS, 12, 0)


def round_up(value, alignment):
    return -(-value // alignment) * alignment


def code_directory(hash_type, hash_function, identifier, code, exec_segment):
    """One CodeDirectory over `code`: the special slots (requirements, then Info.plist's zero
    slot) just below the page hashes."""
    size = hash_function().digest_size
    pages = [hash_function(code[start:start + PAGE]).digest() for start in range(0, len(code), PAGE)]
    special = hash_function(EMPTY_REQUIREMENTS).digest() + bytes(size)
    identifier = identifier.encode() + b"\0"
    hash_offset = DIRECTORY_HEADER.size + len(identifier) + len(special)
    length = hash_offset + size * len(pages)
    base, limit, exec_flags = exec_segment
    header = DIRECTORY_HEADER.pack(
        CODE_DIRECTORY, length, VERSION, CS_ADHOC, hash_offset, DIRECTORY_HEADER.size, SPECIAL_SLOTS,
        len(pages), len(code), size, hash_type, 0, PAGE_SHIFT, 0, 0, 0, 0, 0, base, limit, exec_flags)
    return header + identifier + special + b"".join(pages)


def embedded_signature(code, identifier, exec_segment):
    """The SuperBlob: its index of (slot, offset), then the blobs in that order. Its size depends
    only on the length of `code`."""
    sha1, sha256 = (code_directory(hash_type, function, identifier, code, exec_segment)
                    for hash_type, function in HASHES)
    blobs = [(CODE_DIRECTORY_SLOT, sha1), (REQUIREMENTS_SLOT, EMPTY_REQUIREMENTS), (ALTERNATE_SLOT, sha256)]
    offset = 12 + 8 * len(blobs)
    index, body = b"", b""
    for slot, blob in blobs:
        index += struct.pack(">II", slot, offset + len(body))
        body += blob
    return struct.pack(">III", SUPER_BLOB, offset + len(body), len(blobs)) + index + body


def sign(data, identifier):
    """The signed file, from `data`, the bytes of a thin 64-bit Mach-O."""
    data = bytearray(data)
    commands = load_commands(data)
    found = segments(data)
    if "__TEXT" not in found or "__LINKEDIT" not in found:
        raise NotMachO("no __TEXT or no __LINKEDIT segment")
    text, linkedit = found["__TEXT"], found["__LINKEDIT"]
    if linkedit.fileoff + linkedit.filesize != len(data):
        raise NotMachO("__LINKEDIT does not end the file")

    signatures = [offset for offset, cmd, _ in commands if cmd == LC_CODE_SIGNATURE]
    if signatures:
        command_offset = signatures[0]
        del data[LINKEDIT_DATA.unpack_from(data, command_offset)[2]:]  # the old signature
    else:
        ncmds, sizeofcmds = struct.unpack_from("<II", data, 16)
        command_offset = HEADER_SIZE + sizeofcmds
        if command_offset + LINKEDIT_DATA.size > min(section.offset for section in text.sections.values()):
            raise NotMachO("no header padding left for LC_CODE_SIGNATURE (link with -headerpad)")
        struct.pack_into("<II", data, 16, ncmds + 1, sizeofcmds + LINKEDIT_DATA.size)

    # 16-byte aligned, last in __LINKEDIT and in the file; it covers everything before it.
    code_limit = round_up(len(data), 16)
    filetype = struct.unpack_from("<I", data, 12)[0]
    exec_segment = (text.fileoff, text.filesize, CS_EXECSEG_MAIN_BINARY if filetype == MH_EXECUTE else 0)
    size = len(embedded_signature(bytes(code_limit), identifier, exec_segment))
    LINKEDIT_DATA.pack_into(data, command_offset, LC_CODE_SIGNATURE, LINKEDIT_DATA.size, code_limit, size)
    filesize = code_limit + size - linkedit.fileoff
    struct.pack_into("<QQQ", data, linkedit.command + SEGMENT_SIZES, max(linkedit.vmsize, filesize),
                     linkedit.fileoff, filesize)
    data += bytes(code_limit - len(data))
    return bytes(data + embedded_signature(data, identifier, exec_segment))


if __name__ == "__main__":
    change_in_place(sign, __doc__.rsplit("\n\n", 1)[1])
