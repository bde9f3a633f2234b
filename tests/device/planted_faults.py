"""Faults planted in scratch copies of the shipped tweak, each run in the simulated device as a user's
device would run it: each must be refused with dyld's message, or end the process as the kernel
ends it. The copies are packed into scratch packages; the shipped package is not changed.

A fault in the bytes before the signature is made before the signing pages are hashed again (as a
faulty build would sign it), except the changed page, which is the point of that case.

Usage: planted_faults.py TWINLY_SIM PACKAGE REPORT (TWINLY_SOURCE in the environment)"""

import os
import re
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.environ["TWINLY_SOURCE"], "device"))
from macho import load_commands, segments  # noqa: E402
from sign import CODE_DIRECTORY, HASHES, LC_CODE_SIGNATURE  # noqa: E402

TWEAK = "Library/MobileSubstrate/DynamicLibraries/music.dylib"
SUBSTRATE = b"/Library/Frameworks/CydiaSubstrate.framework/CydiaSubstrate"
LC_LOAD_DYLIB, LC_DYLD_INFO_ONLY = 0xC, 0x80000022
LAUNCH = 'song a "Hey Jude"\nplaylist "Road Trip" a\nlaunch\n'


def rehash(data):
    """Hashes every page of every code directory again, over the bytes as they are now."""
    (offset,) = [struct.unpack_from("<I", data, at + 8)[0] for at, cmd, _ in load_commands(data)
                 if cmd == LC_CODE_SIGNATURE]
    count = struct.unpack_from(">I", data, offset + 8)[0]
    for n in range(count):
        directory = offset + struct.unpack_from(">I", data, offset + 16 + 8 * n)[0]
        if struct.unpack_from(">I", data, directory)[0] != CODE_DIRECTORY:
            continue
        hash_offset, _, _, slots, limit = struct.unpack_from(">5I", data, directory + 16)
        size, kind, _, shift = struct.unpack_from(">4B", data, directory + 36)
        hash_function = dict(HASHES)[kind]
        for page in range(slots):
            digest = hash_function(data[page << shift:min((page + 1) << shift, limit)]).digest()
            data[directory + hash_offset + page * size:directory + hash_offset + (page + 1) * size] = digest


def linkedit_past_the_end(data):
    """__LINKEDIT says it goes on for 64 KiB past the end of the file."""
    linkedit = segments(data)["__LINKEDIT"]
    struct.pack_into("<QQQ", data, linkedit.command + 32, linkedit.vmsize + 0x10000, linkedit.fileoff,
                     linkedit.filesize + 0x10000)
    rehash(data)


def substrate_asks_for_1_0_0(data):
    """The load command for CydiaSubstrate asks for compatibility version 1.0.0, as a stub without a
    version made it ask."""
    for at, cmd, size in load_commands(data):
        if cmd == LC_LOAD_DYLIB and SUBSTRATE in bytes(data[at:at + size]):
            struct.pack_into("<I", data, at + 20, 0x10000)
    rehash(data)


def import_of_ios_13(data):
    """The lazy import of objc_getClass becomes one of objc_opt_self, which libobjc exports from
    iOS 13 on."""
    start, size = [struct.unpack_from("<II", data, at + 32) for at, cmd, _ in load_commands(data)
                   if cmd == LC_DYLD_INFO_ONLY][0]
    lazy = data[start:start + size]
    assert lazy.count(b"_objc_getClass\0") == 1
    data[start:start + size] = lazy.replace(b"_objc_getClass\0", b"_objc_opt_self\0")
    rehash(data)


def page_changed_after_signing(data):
    """A byte of the first page, past the load commands, changed after signing."""
    data[struct.unpack_from("<I", data, 20)[0] + 64] ^= 0xFF


INCOMPATIBLE = re.escape("Library not loaded: " + SUBSTRATE.decode() + "\n  Referenced from: /" + TWEAK +
                         "\n  Reason: Incompatible library version: music.dylib requires version 1.0.0 or "
                         "later, but CydiaSubstrate provides version 0.0.0")

# (plant, model, release, what the run must show, as a regular expression)
CASES = [
    (linkedit_past_the_end, "iPhone 7", "10.3",
     r"truncated mach-o error: segment __LINKEDIT extends to (\d+) which is past end of file (\d+)"),
    (substrate_asks_for_1_0_0, "iPhone 7", "10.3", INCOMPATIBLE),
    (substrate_asks_for_1_0_0, "iPhone 6", "12.5", INCOMPATIBLE),
    (import_of_ios_13, "iPhone 6", "12.5",
     re.escape("dyld: lazy symbol binding failed: Symbol not found: _objc_opt_self\n  Referenced from: /" + TWEAK +
               "\n  Expected in: /usr/lib/libobjc.A.dylib")),
    (page_changed_after_signing, "iPhone 7", "10.3",
     r"kernel: CODE SIGNING: process \d+: rejecting invalid page at address 0x[0-9a-f]+ from offset 0x0 in file "
     + re.escape(f'"/{TWEAK}"; the process is killed') + r"[\s\S]*died of signal 9"),
]


def run_case(sim, package, work, plant, model, release):
    root = os.path.join(work, plant.__name__ + "-" + release)
    subprocess.run(["dpkg-deb", "-R", package, root], check=True)
    path = os.path.join(root, TWEAK)
    with open(path, "rb") as file:
        data = bytearray(file.read())
    plant(data)
    with open(path, "wb") as file:
        file.write(data)
    scratch = root + ".deb"
    subprocess.run(["dpkg-deb", "--root-owner-group", "-Zgzip", "-b", root, scratch], check=True,
                   capture_output=True)
    script = root + ".scn"
    with open(script, "w") as file:
        file.write(f'device "{model}"\nios "{release}"\n{LAUNCH}expect not loaded ""\n')
    return subprocess.run([sim, "--package", scratch, script], capture_output=True, text=True), data


def main(sim, package, report):
    failed, lines = 0, []
    with tempfile.TemporaryDirectory() as work:
        for plant, model, release, expected in CASES:
            run, data = run_case(sim, package, work, plant, model, release)
            output = run.stdout + run.stderr
            found = re.search(expected, output)
            if found and plant is linkedit_past_the_end:
                linkedit = segments(data)["__LINKEDIT"]
                found = found.groups() == (str(linkedit.fileoff + linkedit.filesize), str(len(data)))
            lines.append(f"- {plant.__name__} on the {model} with iOS {release}: " +
                         ("refused as the device refuses it" if found else "NOT as the device"))
            if not found:
                failed += 1
                print(f"{plant.__name__} on the {model} with iOS {release}: expected\n{expected}\nfound\n{output}")
    with open(report, "w") as file:
        file.write("\n".join(lines) + "\n")
    print("\n".join(lines))
    print(f"{len(CASES) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.rsplit("\n\n", 1)[1])
    main(*sys.argv[1:])
