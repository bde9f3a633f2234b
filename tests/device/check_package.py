"""Checks of the device package as a user's device receives it: the two Mach-O binaries, the link
stubs they were linked against, the property lists and the package itself. The package is unpacked
once; CTest runs one test class per group (see CMakeLists.txt beside this file).

Environment: TWINLY_SOURCE, the source tree (the package is read from its packages/ folder);
TWINLY_DEVICE_COMPILE, the device compiler and its flags (for the armv7 compile)."""

import glob
import hashlib
import os
import plistlib
import re
import struct
import subprocess
import tempfile
import unittest
import zlib

SOURCE = os.environ["TWINLY_SOURCE"]
STUBS = os.path.join(SOURCE, "device", "stubs")
CONTROL = os.path.join(SOURCE, "device", "layout", "DEBIAN", "control")

TWEAK = "Library/MobileSubstrate/DynamicLibraries/music.dylib"
FILTER = "Library/MobileSubstrate/DynamicLibraries/music.plist"
BUNDLE = "Library/PreferenceBundles/twinlyprefs.bundle"
SETTINGS_ENTRY = "Library/PreferenceLoader/Preferences/twinlyprefs.plist"

OBJC = "/usr/lib/libobjc.A.dylib"
SYSTEM = "/usr/lib/libSystem.B.dylib"
CORE_FOUNDATION = "/System/Library/Frameworks/CoreFoundation.framework/CoreFoundation"
FOUNDATION = "/System/Library/Frameworks/Foundation.framework/Foundation"
UIKIT = "/System/Library/Frameworks/UIKit.framework/UIKit"
MEDIA_PLAYER = "/System/Library/Frameworks/MediaPlayer.framework/MediaPlayer"
SUBSTRATE = "/Library/Frameworks/CydiaSubstrate.framework/CydiaSubstrate"
FUSE_UI = "/System/Library/PrivateFrameworks/FuseUI.framework/FuseUI"
MEDIA_PLAYER_UI = "/System/Library/PrivateFrameworks/MediaPlayerUI.framework/MediaPlayerUI"
PREFERENCES = "/System/Library/PrivateFrameworks/Preferences.framework/Preferences"

DYLIB_COMMANDS = {"LC_LOAD_DYLIB", "LC_LOAD_WEAK_DYLIB", "LC_REEXPORT_DYLIB", "LC_LAZY_LOAD_DYLIB",
                  "LC_LOAD_UPWARD_DYLIB"}


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def control_field(name):
    with open(CONTROL) as control:
        return re.search(rf"^{name}: *(.*)$", control.read(), re.M).group(1)


PACKAGE = os.path.join(SOURCE, "packages", "{}_{}_{}.deb".format(
    control_field("Package"), control_field("Version"), control_field("Architecture")))
unpacked = None


def setUpModule():
    global unpacked
    unpacked = tempfile.TemporaryDirectory()
    run("dpkg-deb", "-x", PACKAGE, unpacked.name)


def tearDownModule():
    unpacked.cleanup()


def packaged(path):
    return os.path.join(unpacked.name, path)


def check_whole_png(test, data):
    """Fails `test` unless `data` is a whole PNG image: every chunk's CRC, and image data for every row."""
    test.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
    chunks, offset = [], 8
    while offset < len(data):
        length, kind = struct.unpack(">I4s", data[offset:offset + 8])
        body = data[offset + 8:offset + 8 + length]
        (crc,) = struct.unpack(">I", data[offset + 8 + length:offset + 12 + length])
        test.assertEqual(crc, zlib.crc32(kind + body), f"chunk {kind} damaged")
        chunks.append((kind, body))
        offset += 12 + length
    test.assertEqual((chunks[0][0], chunks[-1][0], offset), (b"IHDR", b"IEND", len(data)))
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    test.assertGreater(width, 0)
    test.assertGreater(height, 0)
    test.assertEqual(interlace, 0)
    # The image data holds every row: a filter byte and the row's pixels.
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    pixels = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
    test.assertEqual(len(pixels), height * (1 + -(-width * channels * depth // 8)))


def read_plist(path):
    with open(packaged(path), "rb") as file:
        return plistlib.load(file)


class MachO:
    """One binary as llvm-objdump describes it: the header and the load commands with their sections."""

    def __init__(self, path):
        self.path = path
        lines = run("llvm-objdump", "--macho", "--private-headers", path).splitlines()
        header = lines[lines.index("Mach header") + 2].split()
        self.magic, self.cputype, self.cpusubtype, _, self.filetype = header[:5]
        self.commands = []
        for line in lines:
            if line.startswith("Load command "):
                self.commands.append({"sections": []})
                fields = self.commands[-1]
            elif line == "Section":
                fields = {}
                self.commands[-1]["sections"].append(fields)
            elif self.commands:
                key, _, value = line.strip().partition(" ")
                fields.setdefault(key, value.strip())

    def named(self, cmd):
        return [command for command in self.commands if command["cmd"] == cmd]

    def sections(self):
        return [section for command in self.commands for section in command["sections"]]

    def libraries(self):
        return {command["name"].split(" (offset")[0] for command in self.commands if command["cmd"] in DYLIB_COMMANDS}

    def strings(self):
        """Every NUL-terminated string of the read-only data: C strings and constant arrays."""
        with open(self.path, "rb") as file:
            data = file.read()
        found = set()
        for section in self.sections():
            if section["segname"] == "__TEXT" and section["sectname"] in ("__cstring", "__const"):
                start = int(section["offset"])
                found.update(data[start:start + int(section["size"], 16)].split(b"\0"))
        return {text.decode("utf-8", "replace") for text in found}

    def imports(self):
        """(symbol, library short name) for each undefined symbol, as dyld will bind it."""
        pairs = set()
        for line in run("llvm-nm", "-m", "-u", self.path).splitlines():
            match = re.fullmatch(r"\s*\(undefined\) external (\S+) \(from (.+)\)", line)
            if match is None:
                raise AssertionError(f"not a plain import from a library: {line!r}")
            pairs.add((match.group(1), match.group(2)))
        return pairs


def version(text):
    """A dotted version as a triple: "10" and "10.0.0" are the same version."""
    parts = [int(part) for part in text.split(".")]
    return tuple(parts + [0] * (3 - len(parts)))


def short_name(install_name):
    """The name llvm-nm gives a library: the file name up to its first dot."""
    return os.path.basename(install_name).split(".")[0]


class Stub:
    def __init__(self, path):
        with open(path) as file:
            text = file.read()
        self.install_name = re.search(r"^install-name: *'([^']+)'", text, re.M).group(1)
        self.symbols = {name.strip() for listed in re.findall(r"symbols: *\[([^\]]*)\]", text)
                        for name in listed.split(",")}
        self.versions = {field: version(re.search(rf"^{field}-version: *([\d.]+)$", text, re.M).group(1))
                         for field in ("current", "compatibility")}


def stubs():
    return {stub.install_name: stub for stub in
            (Stub(os.path.join(STUBS, name)) for name in sorted(os.listdir(STUBS)) if name.endswith(".tbd"))}


class BinaryChecks:
    """What both binaries must be; each subclass names one binary and what it links."""

    path = filetype = install_name = None
    libraries = weak_libraries = set()

    def setUp(self):
        self.binary = MachO(packaged(self.path))

    def test_is_a_single_arm64_slice(self):
        # The file itself starts with a 64-bit Mach-O header (a fat file would start with its own
        # magic, and llvm-objdump would describe a slice of it).
        with open(self.binary.path, "rb") as file:
            magic, cputype, cpusubtype = struct.unpack("<III", file.read(12))
        self.assertEqual((magic, cputype, cpusubtype & 0x00FFFFFF), (0xFEEDFACF, 0x0100000C, 0))
        self.assertEqual((self.binary.magic, self.binary.cputype, self.binary.cpusubtype),
                         ("MH_MAGIC_64", "ARM64", "ALL"))

    def test_loads_on_ios_10_and_later(self):
        # The loader of iOS 10 and 11 reads the minimum version from LC_VERSION_MIN_IPHONEOS (not
        # LC_BUILD_VERSION) and binds from LC_DYLD_INFO_ONLY (it predates chained fixups).
        versions = [command["version"] for command in self.binary.named("LC_VERSION_MIN_IPHONEOS")]
        self.assertEqual(versions, ["10.0"])
        self.assertEqual(self.binary.named("LC_BUILD_VERSION"), [])
        self.assertEqual(len(self.binary.named("LC_DYLD_INFO_ONLY")), 1)
        self.assertEqual(self.binary.named("LC_DYLD_CHAINED_FIXUPS"), [])

    def test_kind_and_install_name(self):
        self.assertEqual(self.binary.filetype, self.filetype)
        names = [command["name"].split(" (offset")[0] for command in self.binary.named("LC_ID_DYLIB")]
        self.assertEqual(names, [self.install_name] if self.install_name else [])

    def test_links_exactly_its_libraries(self):
        # Weakly only what the binary does without: dyld refuses a binary whose plain libraries are missing.
        commands = {command["name"].split(" (offset")[0]: command["cmd"]
                    for command in self.binary.commands if command["cmd"] in DYLIB_COMMANDS}
        self.assertEqual(commands, {name: "LC_LOAD_WEAK_DYLIB" if name in self.weak_libraries else "LC_LOAD_DYLIB"
                                    for name in self.libraries})

    def test_exports_nothing(self):
        self.assertEqual(run("llvm-nm", "--extern-only", "--defined-only", self.binary.path), "")
        trie = run("llvm-objdump", "--macho", "--exports-trie", self.binary.path)
        self.assertEqual(trie.split("Exports trie:")[1].strip(), "")

    def test_has_exactly_one_initializer(self):
        sizes = {"__mod_init_func": 8, "__init_offsets": 4}
        entries = sum(int(section["size"], 16) // sizes[section["sectname"]]
                      for section in self.binary.sections() if section["sectname"] in sizes)
        self.assertEqual(entries, 1)

    def test_every_function_unwinds(self):
        # An Objective-C exception raised below a replacement passes through its frame only by the
        # frame's entry in __unwind_info; lld gives a function without unwind information an entry of
        # encoding 0, and a DWARF entry would need an __eh_frame that lld 14 does not write.
        listing = run("llvm-objdump", "--macho", "--unwind-info", self.binary.path)
        entries = [(int(start, 16), int(encoding, 16)) for start, encoding in re.findall(
            r"\]: function offset=(0x[0-9a-f]+), encoding(?:\[\d+\])?=(0x[0-9a-f]+)", listing)]
        ranges = re.findall(r"\]: function offset=(0x[0-9a-f]+), 2nd level page offset", listing)
        self.assertTrue(ranges, "no __unwind_info")
        end = int(ranges[-1], 16)  # where the last range ends
        functions = [int(line.split()[0], 16) for line in run("llvm-nm", "-m", "--defined-only", self.binary.path).splitlines()
                     if "(__TEXT,__text)" in line]
        self.assertTrue(functions)
        for function in functions:
            covering = [encoding for start, encoding in entries if start <= function]
            with self.subTest(function=hex(function)):
                self.assertLess(function, end, "past the last range")
                self.assertTrue(covering, "before the first entry")
                self.assertNotEqual(covering[-1], 0, "no unwind information")
                self.assertNotEqual(covering[-1] & 0x0F000000, 0x03000000, "DWARF unwind information")

    def test_signed_ad_hoc_as_tweak_packages_are(self):
        # The form of the usual tweak signer: a SHA-1 code directory, an empty requirements set and a
        # SHA-256 directory as the alternate, flagged ad hoc alone, named after the file.
        signatures = self.binary.named("LC_CODE_SIGNATURE")
        self.assertEqual(len(signatures), 1)
        offset, size = int(signatures[0]["dataoff"]), int(signatures[0]["datasize"])
        with open(self.binary.path, "rb") as file:
            data = file.read()
        # Last in __LINKEDIT and in the file, which the segment covers in file and memory.
        linkedit, text = self.segment("__LINKEDIT"), self.segment("__TEXT")
        self.assertEqual(offset + size, len(data))
        self.assertLessEqual(int(linkedit["fileoff"]), offset)
        self.assertEqual(int(linkedit["fileoff"]) + int(linkedit["filesize"]), len(data))
        self.assertGreaterEqual(int(linkedit["vmsize"], 16), int(linkedit["filesize"]))
        blob = data[offset:offset + size]
        magic, length, count = struct.unpack(">III", blob[:12])
        self.assertEqual(magic, 0xFADE0CC0)  # embedded signature
        self.assertLessEqual(length, size)
        index = [struct.unpack(">II", blob[12 + 8 * i:20 + 8 * i]) for i in range(count)]
        self.assertEqual([slot for slot, _ in index], [0, 2, 0x1000])
        blobs = {slot: blob[at:at + struct.unpack(">I", blob[at + 4:at + 8])[0]] for slot, at in index}
        requirements = blobs[2]
        self.assertEqual(requirements, struct.pack(">III", 0xFADE0C01, 12, 0))
        for slot, hash_type, digest in ((0, 1, hashlib.sha1), (0x1000, 2, hashlib.sha256)):
            with self.subTest(directory=hex(slot)):
                directory = blobs[slot]
                (magic, _, version, flags, hash_offset, identifier_offset, special_slots, code_slots, code_limit,
                 hash_size, kind, _, page_shift) = struct.unpack(">9I4B", directory[:40])
                self.assertEqual((magic, version, flags), (0xFADE0C02, 0x20400, 0x2))
                self.assertEqual((kind, hash_size), (hash_type, digest().digest_size))
                end = directory.index(b"\0", identifier_offset)
                self.assertEqual(directory[identifier_offset:end].decode(), os.path.basename(self.path))
                self.assertEqual(code_limit, offset, "the signature does not cover everything before it")
                page = 1 << page_shift
                self.assertEqual((page, code_slots), (4096, -(-code_limit // page)))
                # The executable segment; a library is no main binary (flags 0).
                self.assertEqual(struct.unpack(">QQQ", directory[64:88]),
                                 (int(text["fileoff"]), int(text["filesize"]), 0))

                def hashed(slot):
                    return directory[hash_offset + slot * hash_size:hash_offset + (slot + 1) * hash_size]

                self.assertGreaterEqual(special_slots, 2)
                self.assertEqual(hashed(-2), digest(requirements).digest(), "requirements slot")
                for number in range(code_slots):
                    page_data = data[number * page:min((number + 1) * page, code_limit)]
                    self.assertEqual(hashed(number), digest(page_data).digest(), f"page {number} changed after signing")

    def segment(self, name):
        return next(command for command in self.binary.named("LC_SEGMENT_64") if command["segname"] == name)


class TweakLibraryTests(BinaryChecks, unittest.TestCase):
    path = TWEAK
    filetype = "DYLIB"
    install_name = "/" + TWEAK
    # FuseUI and MediaPlayerUI bind no symbol but are loaded, where a release has them, for the
    # classes looked up by name.
    libraries = {OBJC, SYSTEM, CORE_FOUNDATION, FOUNDATION, UIKIT, MEDIA_PLAYER, SUBSTRATE, FUSE_UI,
                 MEDIA_PLAYER_UI}
    weak_libraries = {FUSE_UI, MEDIA_PLAYER_UI}


class SettingsBundleTests(BinaryChecks, unittest.TestCase):
    path = BUNDLE + "/twinlyprefs"
    filetype = "BUNDLE"
    libraries = {OBJC, SYSTEM, FOUNDATION, UIKIT, PREFERENCES}


class LinkStubTests(unittest.TestCase):
    """The stubs list exactly what the binaries import, library by library."""

    def setUp(self):
        self.stubs = stubs()
        self.binaries = [MachO(packaged(path)) for path in (TWEAK, BUNDLE + "/twinlyprefs")]

    def test_every_import_is_listed_in_the_stub_of_its_library(self):
        for binary in self.binaries:
            linked = {short_name(name): self.stubs.get(name) for name in binary.libraries()}
            for symbol, library in binary.imports():
                with self.subTest(binary=os.path.basename(binary.path), symbol=symbol):
                    self.assertIn(library, linked, "bound to no linked library")
                    self.assertIsNotNone(linked[library], f"{library} has no stub")
                    self.assertIn(symbol, linked[library].symbols)

    def test_every_stub_symbol_is_imported(self):
        imported = {}
        for binary in self.binaries:
            for symbol, library in binary.imports():
                imported.setdefault(library, set()).add(symbol)
        for install_name, stub in self.stubs.items():
            with self.subTest(stub=install_name):
                self.assertEqual(stub.symbols, imported.get(short_name(install_name), set()))

    def test_no_binary_asks_a_library_for_more_than_it_provides(self):
        # dyld refuses a library whose compatibility version is below the one that the load command
        # asks for (ImageLoader.cpp, recursiveLoadLibraries, dyld-421.2 to dyld-832.7.1); each stub
        # states the versions of the library it stands for.
        for binary in self.binaries:
            for command in binary.commands:
                if command["cmd"] not in DYLIB_COMMANDS:
                    continue
                name = command["name"].split(" (offset")[0]
                with self.subTest(binary=os.path.basename(binary.path), library=name):
                    asked = version(command["compatibility"].split()[1])
                    self.assertLessEqual(asked, self.stubs[name].versions["compatibility"])

    def test_every_stub_is_linked(self):
        linked = set().union(*(binary.libraries() for binary in self.binaries))
        self.assertEqual(set(self.stubs), linked)


# How each target spells BOOL, CGFloat and NSInteger in a type encoding.
ENCODING_CODES = {"arm64": {"BOOL": "B", "CGFloat": "d", "NSInteger": "q"},
                  "armv7": {"BOOL": "c", "CGFloat": "f", "NSInteger": "l"}}


def registered_encodings(binary, arch):
    """The encodings of the methods that `binary` registers, as `arch` spells them."""
    with open(os.path.join(SOURCE, "tests", "registered_methods.txt")) as table:
        rows = [line.split() for line in table if not line.startswith("#")]
    return {row[3].format(**ENCODING_CODES[arch]) for row in rows if row and row[0] == binary}


def encodings_among(strings):
    """The strings that read as a method's type encoding: a result, then the receiver and selector."""
    return {text for text in strings if re.fullmatch(r"[^\s:]*@:[^\s:]*", text)}


class RegisteredMethodTests(unittest.TestCase):
    """The type encodings that each binary hands the runtime spell BOOL, CGFloat and NSInteger as
    the target does: the packaged arm64 binaries, and the same sources compiled for armv7."""

    BINARIES = (("music", "tweak", TWEAK), ("twinlyprefs", "prefs", BUNDLE + "/twinlyprefs"))

    def test_arm64_binaries(self):
        for name, _, path in self.BINARIES:
            with self.subTest(binary=name):
                self.assertEqual(encodings_among(MachO(packaged(path)).strings()), registered_encodings(name, "arm64"))

    def test_armv7_compile(self):
        compile_command = os.environ["TWINLY_DEVICE_COMPILE"].split()
        for name, folder, _ in self.BINARIES:
            strings = set()
            with tempfile.TemporaryDirectory() as objects:
                for source in sorted(glob.glob(os.path.join(SOURCE, folder, "*.cpp"))):
                    output = os.path.join(objects, os.path.basename(source) + ".o")
                    run(*compile_command, "-target", "armv7-apple-ios10.0", "-Os", "-I" + SOURCE, "-c", source,
                        "-o", output)
                    strings |= MachO(output).strings()
            with self.subTest(binary=name):
                self.assertEqual(encodings_among(strings), registered_encodings(name, "armv7"))


class PropertyListTests(unittest.TestCase):
    """The property lists parse, and the names that tie them to each other and to the binaries agree."""

    def setUp(self):
        self.info = read_plist(BUNDLE + "/Info.plist")
        self.bundle = MachO(packaged(BUNDLE + "/twinlyprefs"))

    def test_bundle_info_holds_what_the_loader_reads(self):
        self.assertEqual(self.info["CFBundleIdentifier"], "com.qzr.twinlyprefs")
        self.assertEqual(self.info["CFBundlePackageType"], "BNDL")
        self.assertIn("iPhoneOS", self.info["CFBundleSupportedPlatforms"])
        # A minimum above the binary's own would keep the bundle from loading where the binary runs.
        deployment = self.bundle.named("LC_VERSION_MIN_IPHONEOS")[0]["version"]
        self.assertLessEqual(version(self.info["MinimumOSVersion"]), version(deployment))

    def test_every_property_list_parses_to_a_dictionary(self):
        paths = [os.path.relpath(os.path.join(folder, name), unpacked.name)
                 for folder, _, names in os.walk(unpacked.name) for name in names if name.endswith(".plist")]
        self.assertEqual(len(paths), 4)
        for path in paths:
            with self.subTest(path=path):
                self.assertIsInstance(read_plist(path), dict)

    def test_substrate_loads_the_tweak_into_the_music_app_only(self):
        self.assertEqual(read_plist(FILTER), {"Filter": {"Bundles": ["com.apple.Music"]}})

    def test_settings_entry_opens_the_bundle_with_its_principal_class(self):
        entry = read_plist(SETTINGS_ENTRY)["entry"]
        self.assertEqual(BUNDLE, "Library/PreferenceBundles/" + entry["bundle"] + ".bundle")
        self.assertEqual((entry["cell"], entry["isController"], entry["label"]), ("PSLinkCell", True, "Twinly 2"))
        self.assertEqual(entry["detail"], self.info["NSPrincipalClass"])

    def test_bundle_executable_names_the_classes_that_the_lists_name(self):
        self.assertEqual(BUNDLE + "/" + self.info["CFBundleExecutable"], SettingsBundleTests.path)
        cell_classes = {item["cellClass"] for item in self.specifiers() if "cellClass" in item}
        for name in {self.info["NSPrincipalClass"]} | cell_classes:
            with self.subTest(name=name):
                self.assertIn(name, self.bundle.strings(), "the bundle never names that class")

    def test_actions_of_the_specifiers_are_methods_of_the_bundle(self):
        actions = {item["action"] for item in self.specifiers() if "action" in item}
        self.assertTrue(actions)
        for action in actions:
            with self.subTest(action=action):
                self.assertIn(action, self.bundle.strings())

    def test_switches_store_what_the_tweak_reads(self):
        switches = [item for item in self.specifiers() if item["cell"] == "PSSwitchCell"]
        self.assertEqual({item["key"] for item in switches}, {"enabled", "disable", "greyText"})
        tweak = MachO(packaged(TWEAK)).strings()
        for item in switches:
            with self.subTest(key=item["key"]):
                self.assertEqual(item["PostNotification"], item["defaults"] + "/reloadPrefs")
                self.assertIn(item["key"], tweak)
                self.assertIn(item["PostNotification"], tweak)
                self.assertIn("/var/mobile/Library/Preferences/" + item["defaults"] + ".plist", tweak)

    def specifiers(self):
        return read_plist(BUNDLE + "/twinlyprefs.plist")["items"]


class PackageTests(unittest.TestCase):
    """The Debian package: its name, its control fields, and exactly its files, owners and modes."""

    def fields(self):
        return dict(re.findall(r"^(\S+): *(.*)$", run("dpkg-deb", "--field", PACKAGE), re.M))

    def test_file_name_is_package_version_architecture(self):
        fields = self.fields()
        self.assertEqual(os.path.basename(PACKAGE),
                         f"{fields['Package']}_{fields['Version']}_{fields['Architecture']}.deb")

    def test_control_fields(self):
        info = run("dpkg-deb", "--info", PACKAGE)
        fields = self.fields()
        self.assertRegex(fields["Package"], r"^com\.qzr\.[a-z0-9][a-z0-9.+-]*$")
        self.assertRegex(fields["Version"], r"^\d+(\.\d+)+$")
        self.assertEqual(fields["Name"], "Twinly 2")
        self.assertEqual(fields["Architecture"], "iphoneos-arm")
        self.assertEqual(fields["Section"], "Tweaks")
        self.assertEqual({part.strip() for part in fields["Depends"].split(",")},
                         {"mobilesubstrate", "preferenceloader", "firmware (>= 10.0)", "firmware (<< 13.0)"})
        # A one-line summary and a longer text below it.
        self.assertRegex(info, r"\n Description: \S.*\n  \S")

    def test_contains_exactly_the_files_root_owned_with_their_modes(self):
        directory, executable, plain = "drwxr-xr-x", "-rwxr-xr-x", "-rw-r--r--"
        expected = {
            "./": directory,
            "./Library/": directory,
            "./Library/MobileSubstrate/": directory,
            "./Library/MobileSubstrate/DynamicLibraries/": directory,
            "./" + TWEAK: executable,
            "./" + FILTER: plain,
            "./Library/PreferenceBundles/": directory,
            "./" + BUNDLE + "/": directory,
            "./" + BUNDLE + "/twinlyprefs": executable,
            "./" + BUNDLE + "/Info.plist": plain,
            "./" + BUNDLE + "/twinlyprefs.plist": plain,
            "./" + BUNDLE + "/banner.png": plain,
            "./" + BUNDLE + "/icon.png": plain,
            "./" + BUNDLE + "/icon@2x.png": plain,
            "./" + BUNDLE + "/icon@3x.png": plain,
            "./Library/PreferenceLoader/": directory,
            "./Library/PreferenceLoader/Preferences/": directory,
            "./" + SETTINGS_ENTRY: plain,
        }
        entries = {}
        for line in run("dpkg-deb", "--contents", PACKAGE).splitlines():
            mode, owner, _, _, _, path = line.split(None, 5)
            self.assertEqual(owner, "root/root", path)
            entries[path] = mode
        self.assertEqual(entries, expected)

    def test_banner_is_the_projects_whole_png_image(self):
        with open(packaged(BUNDLE + "/banner.png"), "rb") as file:
            data = file.read()
        with open(os.path.join(SOURCE, "prefs", "Resources", "banner.png"), "rb") as file:
            self.assertEqual(data, file.read())
        check_whole_png(self, data)

    def test_control_is_the_sources_with_the_maker_and_the_installed_size(self):
        with open(CONTROL) as control:
            source = dict(re.findall(r"^(\S+): *(.*)$", control.read(), re.M))
        fields = self.fields()
        self.assertEqual({name: value for name, value in fields.items()
                          if name not in ("Author", "Maintainer", "Installed-Size")}, source)
        # The maker comes from maker.conf, as check_maker.py checks.
        self.assertRegex(fields["Author"], r"^[^<>]+ <[^@\s]+@[^@\s]+>$")
        self.assertEqual(fields["Maintainer"], fields["Author"])
        # In KiB: each file rounded up to a whole KiB, 1 for each directory (dpkg-gencontrol's rule).
        size = 0
        for folder, _, names in os.walk(unpacked.name):
            size += 1 + sum(-(-os.path.getsize(os.path.join(folder, name)) // 1024) for name in names)
        self.assertEqual(fields["Installed-Size"], str(size))

    def test_settings_row_has_an_icon_of_29_points(self):
        self.assertEqual(read_plist(SETTINGS_ENTRY)["entry"]["icon"], "icon.png")
        for name, pixels in (("icon.png", 29), ("icon@2x.png", 58), ("icon@3x.png", 87)):
            with self.subTest(name=name), open(packaged(BUNDLE + "/" + name), "rb") as file:
                head = file.read(24)
                self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
                self.assertEqual(head[12:16], b"IHDR")
                self.assertEqual(struct.unpack(">II", head[16:24]), (pixels, pixels))


if __name__ == "__main__":
    unittest.main()
