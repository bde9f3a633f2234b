"""Mends, in place, the end of the function ranges in a binary's __unwind_info as lld 14 writes it.

The section's top-level index ends with a sentinel entry: the address where the last range ends.
When lld 14 folds the last functions of __text into one range (they share an encoding), it ends
that range after the first of them, so the unwinder finds no information for the others, and an
exception or a crash report cannot pass their frames. The range should end with __text, as Apple's
linker ends it: lld gives a function without unwind information a range of its own (encoding 0),
so every function past the range's start shares its encoding.

Usage: mend_unwind_info.py BINARY"""

import struct

from macho import NotMachO, change_in_place, segments

HEADER = struct.Struct("<7I")  # unwind_info_section_header
INDEX_ENTRY = struct.Struct("<III")  # function offset, second-level page, LSDA index


def mend(data, _name):
    """The mended file, from `data`, the bytes of a thin 64-bit Mach-O (changed in place)."""
    text = segments(data).get("__TEXT")
    if text is None or "__unwind_info" not in text.sections or "__text" not in text.sections:
        raise NotMachO("no __text or no __unwind_info in __TEXT")
    unwind, code = text.sections["__unwind_info"], text.sections["__text"]
    _, _, _, _, _, index_offset, index_count = HEADER.unpack_from(data, unwind.offset)
    sentinel = unwind.offset + index_offset + INDEX_ENTRY.size * (index_count - 1)
    end = code.address + code.size - text.vmaddr  # offsets are from the image's base, __TEXT
    if struct.unpack_from("<I", data, sentinel)[0] < end:
        struct.pack_into("<I", data, sentinel, end)
    return data


if __name__ == "__main__":
    change_in_place(mend, __doc__.rsplit("\n\n", 1)[1])
