"""The load commands and segments of a thin 64-bit Mach-O, as the post-link steps of the device
build read and mend them."""

import os
import struct
import sys
from collections import namedtuple

MH_MAGIC_64 = 0xFEEDFACF
HEADER_SIZE = 32
LC_SEGMENT_64 = 0x19
SEGMENT = struct.Struct("<II16sQQQQIIII")  # segment_command_64, its sections follow
SECTION = struct.Struct("<16s16sQQIIIIIIII")  # section_64

Segment = namedtuple("Segment", "command vmaddr vmsize fileoff filesize sections")
Section = namedtuple("Section", "address size offset")


class NotMachO(Exception):
    pass


def load_commands(data):
    """(offset, cmd, cmdsize) of each load command."""
    if len(data) < HEADER_SIZE or struct.unpack_from("<I", data)[0] != MH_MAGIC_64:
        raise NotMachO("not a thin 64-bit Mach-O file")
    ncmds, sizeofcmds = struct.unpack_from("<II", data, 16)
    commands, offset = [], HEADER_SIZE
    for _ in range(ncmds):
        cmd, cmdsize = struct.unpack_from("<II", data, offset)
        commands.append((offset, cmd, cmdsize))
        offset += cmdsize
    if offset != HEADER_SIZE + sizeofcmds:
        raise NotMachO("the load commands do not add up to sizeofcmds")
    return commands


def segments(data):
    """{segment name: Segment}, each with {section name: Section}."""
    found = {}
    for offset, cmd, _ in load_commands(data):
        if cmd == LC_SEGMENT_64:
            _, _, name, vmaddr, vmsize, fileoff, filesize, _, _, nsects, _ = SEGMENT.unpack_from(data, offset)
            sections = {}
            for at in range(offset + SEGMENT.size, offset + SEGMENT.size + SECTION.size * nsects, SECTION.size):
                section_name, _, address, size, section_offset = SECTION.unpack_from(data, at)[:5]
                sections[section_name.rstrip(b"\0").decode()] = Section(address, size, section_offset)
            found[name.rstrip(b"\0").decode()] = Segment(offset, vmaddr, vmsize, fileoff, filesize, sections)
    return found


def change_in_place(change, usage):
    """The command line of a post-link step: replaces the binary named by the one argument with
    change(its bytes, its file name); a file that is not the Mach-O the step expects ends the step
    with the reason, and leaves the file as it was."""
    if len(sys.argv) != 2:
        sys.exit(usage)
    path = sys.argv[1]
    with open(path, "rb") as file:
        data = bytearray(file.read())
    try:
        changed = change(data, os.path.basename(path))
    except NotMachO as reason:
        sys.exit(f"{os.path.basename(sys.argv[0])}: {path}: {reason}")
    with open(path, "wb") as file:
        file.write(changed)
