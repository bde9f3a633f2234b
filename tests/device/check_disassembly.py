"""A check of the device binaries' machine code: no word loaded from an object is passed as the
class to a runtime call. On arm64 iOS an object's first word is a non-pointer isa (the class bits
packed with flags and an inline retain count) and a tagged pointer has no memory at all, so a class
read out of an object's memory is no class: class_getInstanceVariable and its kin crash on it. The
class comes from the runtime (objc_getClass, object_getClass, ...) or from a variable of the
binary that holds one.

The check reads `llvm-objdump --macho -d`, follows, inside each function, where the class argument
of each call to such a function was last written (through moves, arithmetic, stack slots and the
function's branches), and fails when that value was loaded from memory reached through a pointer
that came from outside the binary's own data: an argument, a call's result, or a word loaded from
another object.

Usage:
  check_disassembly.py                 the two binaries of the package (TWINLY_SOURCE: the sources)
  check_disassembly.py BINARY...       those Mach-O files
  check_disassembly.py --explain BINARY...   also every call with where its class came from
  check_disassembly.py --self-test     the analysis on small hand-written listings"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

# The runtime's functions that take a class, and the argument register that holds it.
CLASS_ARGUMENT = {name: 0 for name in (
    "_class_addIvar", "_class_addMethod", "_class_addProperty", "_class_addProtocol",
    "_class_conformsToProtocol", "_class_copyIvarList", "_class_copyMethodList", "_class_copyPropertyList",
    "_class_copyProtocolList", "_class_createInstance", "_class_getClassMethod", "_class_getClassVariable",
    "_class_getImageName", "_class_getInstanceMethod", "_class_getInstanceSize", "_class_getInstanceVariable",
    "_class_getIvarLayout", "_class_getMethodImplementation", "_class_getName", "_class_getProperty",
    "_class_getSuperclass", "_class_getVersion", "_class_getWeakIvarLayout", "_class_isMetaClass",
    "_class_replaceMethod", "_class_replaceProperty", "_class_respondsToSelector", "_class_setIvarLayout",
    "_class_setVersion", "_class_setWeakIvarLayout", "_objc_allocateClassPair", "_objc_registerClassPair",
    "_objc_disposeClassPair", "_objc_constructInstance", "_MSHookMessageEx")}
CLASS_ARGUMENT["_object_setClass"] = 1


def class_argument(symbol):
    """The argument register of the class for an imported function, or None."""
    if symbol in CLASS_ARGUMENT:
        return CLASS_ARGUMENT[symbol]
    return 0 if symbol.startswith("_class_") else None


# Kinds of value a register can hold.
ADDRESS = "address of the binary's own data"      # adrp/adr/add, or a pointer read from the GOT
STATIC = "word of the binary's own data"          # loaded from an address of the binary
STACK = "stack slot never written here"
RESULT = "result of a call"
ENTRY = "value on entry (an argument)"
CONSTANT = "constant"
OTHER = "computed"
OBJECT_WORD = "word loaded from an object"

INSTRUCTION = re.compile(r"^\s+([0-9a-f]+):\s+(?:[0-9a-f]{2} ){3}[0-9a-f]{2}\s+(\S+)(?:\s+(.*))?$")
FUNCTION = re.compile(r"^(\S.*):$")
REGISTER = re.compile(r"^(?:[xw]([0-9]|[12][0-9]|30)|(sp|wsp)|(xzr|wzr)|(fp|lr))$")

NO_DESTINATION = {"cmp", "cmn", "tst", "ccmp", "ccmn", "fcmp", "fcmpe", "fccmp", "fccmpe", "b", "bl", "br", "blr",
                  "ret", "cbz", "cbnz", "tbz", "tbnz", "nop", "prfm", "prfum", "hint", "brk", "udf", "dmb", "dsb",
                  "isb", "msr", "svc", "autibsp", "paciasp", "pacibsp", "autiasp", "retab", "retaa"}
UNCONDITIONAL = {"b", "br", "ret", "retab", "retaa", "brk", "udf"}


def register(text):
    """The number of an integer register (31 for sp, 'zr' for the zero register), or None."""
    match = REGISTER.match(text.strip())
    if not match:
        return None
    if match.group(1) is not None:
        return int(match.group(1))
    if match.group(2):
        return 31
    if match.group(3):
        return "zr"
    return 29 if match.group(4) == "fp" else 30


def split_operands(text):
    """Operands split at top-level commas; a memory operand [..] stays one piece."""
    pieces, depth, current = [], 0, ""
    for char in text:
        if char == "[":
            depth += 1
        elif char == "]":
            depth -= 1
        if char == "," and depth == 0:
            pieces.append(current.strip())
            current = ""
        else:
            current += char
    if current.strip():
        pieces.append(current.strip())
    return pieces


def immediate(text):
    match = re.fullmatch(r"#(-?(?:0x[0-9a-f]+|\d+))", text.strip())
    return int(match.group(1), 0) if match else None


class Instruction:
    def __init__(self, address, mnemonic, operands, comment):
        self.address = address
        self.mnemonic = mnemonic
        self.comment = comment
        self.operands = split_operands(operands)
        self.text = f"{address:x}: {mnemonic} {operands}".strip()
        self.memory = None  # (base, offset, index register, writes back)
        self.callee = None
        self.target = None
        self.target_name = None  # a local function that llvm-objdump names instead of its address
        match = re.search(r"symbol stub for: (\S+)", comment)
        if mnemonic in ("bl", "b") and match:
            self.callee = match.group(1)
        if mnemonic in ("b", "bl", "cbz", "cbnz", "tbz", "tbnz") or mnemonic.startswith("b."):
            last = self.operands[-1] if self.operands else ""
            if re.fullmatch(r"0x[0-9a-f]+", last):
                self.target = int(last, 16)
            elif mnemonic in ("b", "bl") and re.fullmatch(r"[A-Za-z_.$][\w.$]*", last):
                self.target_name = last
        for index, operand in enumerate(self.operands):
            if operand.startswith("["):
                inner = operand.rstrip("!").strip("[]")
                parts = [part.strip() for part in inner.split(",")]
                offset = immediate(parts[1]) if len(parts) > 1 and immediate(parts[1]) is not None else 0
                index_register = register(parts[1]) if len(parts) > 1 else None
                post = index + 1 < len(self.operands) and immediate(self.operands[index + 1]) is not None
                self.memory = (register(parts[0]), offset, index_register, operand.endswith("!") or post)
                self.memory_operand = index
        self.page = None
        if mnemonic in ("adrp", "adr"):
            match = re.search(r"0x([0-9a-f]+)", comment)
            self.page = int(match.group(1), 16) if match else None

    def is_load(self):
        return self.memory is not None and self.mnemonic.startswith("ld")

    def is_store(self):
        return self.memory is not None and self.mnemonic.startswith("st")

    def is_call(self):
        return self.mnemonic in ("bl", "blr") or (self.mnemonic == "b" and self.callee is not None)

    def falls_through(self):
        return self.mnemonic not in UNCONDITIONAL

    def destinations(self):
        """The integer registers this instruction writes."""
        if self.is_call():
            return set(range(0, 19)) | {30}
        if self.is_store():
            written = set()
        elif self.mnemonic in NO_DESTINATION or self.mnemonic.startswith("b."):
            written = set()
        elif self.is_load():
            written = {register(operand) for operand in self.operands[:self.memory_operand]}
        else:
            written = {register(self.operands[0])} if self.operands else set()
        if self.memory is not None and self.memory[3]:
            written.add(self.memory[0])
        return {number for number in written if number is not None and number != "zr"}

    def sources(self):
        """The integer registers read by an arithmetic or move instruction."""
        found = []
        for operand in self.operands[1:]:
            name = operand.split()[0] if operand else ""
            number = register(name)
            if number is not None:
                found.append(number)
        return found


class Function:
    def __init__(self, name, instructions):
        self.name = name
        self.instructions = instructions
        self.at = {instruction.address: index for index, instruction in enumerate(instructions)}
        self.predecessors = [[] for _ in instructions]
        for index, instruction in enumerate(instructions):
            if index + 1 < len(instructions) and instruction.falls_through():
                self.predecessors[index + 1].append(index)
            if instruction.target is not None and instruction.target in self.at and instruction.mnemonic != "bl":
                self.predecessors[self.at[instruction.target]].append(index)


class Binary:
    """The functions of one binary and the address range of its GOT."""

    def __init__(self, listing, got=()):
        self.got = got
        self.functions = []
        name, instructions = "(start)", []
        for line in listing.splitlines():
            match = INSTRUCTION.match(line)
            if match:
                operands, _, comment = (match.group(3) or "").partition(";")
                instructions.append(Instruction(int(match.group(1), 16), match.group(2), operands.strip(), comment))
                continue
            match = FUNCTION.match(line)
            if match or line.startswith("("):
                if instructions:
                    self.functions.append(Function(name, instructions))
                name, instructions = (match.group(1) if match else line), []
        if instructions:
            self.functions.append(Function(name, instructions))

    def in_got(self, address):
        return any(start <= address < end for start, end in self.got)


class Analysis:
    """Where a register's value at an instruction came from. Inside a function it follows the
    function's own paths; a value that a function receives in an argument register is followed to
    every call of that function in the binary."""

    def __init__(self, binary):
        self.binary = binary
        self.memo = {}
        self.busy = set()
        self.callers = {}
        starts = {function.instructions[0].address: function.name for function in binary.functions}
        for function in binary.functions:
            for index, instruction in enumerate(function.instructions):
                if instruction.mnemonic in ("bl", "b") and not instruction.callee:
                    called = instruction.target_name or starts.get(instruction.target)
                    if called:
                        self.callers.setdefault(called, []).append((function, index))

    def definitions(self, function, index, number):
        """The instructions before `index` that last wrote the register, and whether a path from the
        function's entry (or from a jump that the listing does not show) reaches it unwritten."""
        predecessors = function.predecessors
        found, seen, work = set(), set(), list(predecessors[index])
        entry = not predecessors[index]
        while work:
            at = work.pop()
            if at in seen:
                continue
            seen.add(at)
            if number in function.instructions[at].destinations():
                found.add(at)
                continue
            if not predecessors[at]:
                entry = True
            work.extend(predecessors[at])
        return found, entry

    def stores(self, function, index, base, offset):
        """The stores to that stack slot that reach `index`, with the register each stored."""
        found, seen, work = [], set(), list(function.predecessors[index])
        while work:
            at = work.pop()
            if at in seen:
                continue
            seen.add(at)
            instruction = function.instructions[at]
            if base in instruction.destinations():
                continue  # the frame moved (a prologue's push): slots before it are other slots
            if instruction.is_store() and instruction.memory[0] == base and instruction.memory[2] is None:
                width = 4 if instruction.operands[0].startswith("w") else 8
                stored = instruction.operands[:instruction.memory_operand]
                slots = [instruction.memory[1] + position * width for position in range(len(stored))]
                if offset in slots:
                    found.append((at, register(stored[slots.index(offset)])))
                    continue
            work.extend(function.predecessors[at])
        return found

    def kinds(self, function, index, number):
        """The kinds of value the register may hold just before instruction `index`: {kind: why}."""
        if number == "zr":
            return {CONSTANT: "the zero register"}
        key = (function.name, index, number)
        if key in self.memo:
            return self.memo[key]
        if key in self.busy:
            return {}
        self.busy.add(key)
        result = {}
        found, entry = self.definitions(function, index, number)
        if entry:
            result.update(self.on_entry(function, number))
        for at in found:
            for kind, why in self.written(function, at, number).items():
                result.setdefault(kind, why)
        self.busy.discard(key)
        self.memo[key] = result
        return result

    def on_entry(self, function, number):
        """An argument register on entry: what the binary's own calls of the function pass in it."""
        callers = self.callers.get(function.name, []) if isinstance(number, int) and number <= 7 else []
        result = {ENTRY: f"register {number} on entry to {function.name}"}
        for caller, at in callers:
            for kind, why in self.kinds(caller, at, number).items():
                result.setdefault(kind, f"{why}, passed to {function.name} at {caller.instructions[at].text}")
        return result

    def address_value(self, function, index, number):
        """The address the register holds before `index`, when it is one of the binary's own, else None."""
        found, entry = self.definitions(function, index, number)
        if entry or len(found) != 1:
            return None
        at = found.pop()
        instruction = function.instructions[at]
        if instruction.mnemonic in ("adrp", "adr"):
            return instruction.page
        if instruction.mnemonic == "add" and len(instruction.operands) == 3 and immediate(instruction.operands[2]) is not None:
            base = self.address_value(function, at, register(instruction.operands[1]))
            return None if base is None else base + immediate(instruction.operands[2])
        return None

    def written(self, function, at, number):
        """The kinds of value that instruction `at` writes into the register."""
        instruction = function.instructions[at]
        if instruction.is_call():
            if number in (0, 1):
                return {RESULT: f"{instruction.text} ({instruction.callee or 'a call'})"}
            return {OTHER: f"clobbered by {instruction.text}"}
        if instruction.memory is not None and number == instruction.memory[0] and instruction.memory[3]:
            return self.kinds(function, at, number)  # the base, moved on
        if instruction.is_load():
            return self.loaded(function, at, instruction)
        if instruction.mnemonic.startswith("ld") and re.fullmatch(r"0x[0-9a-f]+", instruction.operands[-1]):
            return {STATIC: instruction.text}  # a literal of the code
        if instruction.mnemonic in ("adrp", "adr"):
            return {ADDRESS: instruction.text}
        if instruction.mnemonic.startswith("mov") and immediate(instruction.operands[-1]) is not None:
            return {CONSTANT: instruction.text}
        sources = instruction.sources()
        if not sources:
            return {OTHER: instruction.text}
        merged = {}
        for source in sources:
            for kind, why in self.kinds(function, at, source).items():
                merged.setdefault(kind, why)
        if instruction.mnemonic in ("mov", "orr", "csel") or (instruction.mnemonic in ("add", "sub") and len(sources) == 1):
            return merged
        # Arithmetic mixes its sources: a value derived from an object's word still carries it.
        if OBJECT_WORD in merged:
            return {OBJECT_WORD: merged[OBJECT_WORD] + f", then {instruction.text}"}
        return {OTHER: instruction.text}

    def loaded(self, function, at, instruction):
        base, offset, index_register, _ = instruction.memory
        if base in (29, 31) and index_register is None:
            result = {}
            for store_at, stored in self.stores(function, at, base, offset):
                for kind, why in self.kinds(function, store_at, stored).items():
                    result.setdefault(kind, why + f", kept in a stack slot at {function.instructions[store_at].text}")
            return result or {STACK: instruction.text}
        base_kinds = self.kinds(function, at, base)
        if set(base_kinds) == {ADDRESS}:
            address = self.address_value(function, at, base)
            if address is not None and self.binary.in_got(address + offset):
                return {ADDRESS: f"{instruction.text} (a pointer of the GOT)"}
            return {STATIC: instruction.text}
        if set(base_kinds) == {CONSTANT}:
            return {STATIC: instruction.text}
        origin = "; ".join(f"{kind}: {why}" for kind, why in base_kinds.items())
        return {OBJECT_WORD: f"{instruction.text}, through a pointer that is {origin}"}


def calls(binary):
    """(function, call, kinds of its class argument) for every call of a function that takes a class."""
    analysis = Analysis(binary)
    for function in binary.functions:
        for index, instruction in enumerate(function.instructions):
            if instruction.is_call() and instruction.callee and class_argument(instruction.callee) is not None:
                yield function, instruction, analysis.kinds(function, index, class_argument(instruction.callee))


def faults(binary):
    """(function, call, what was passed) for every class argument that may be a word of an object."""
    return [(function.name, f"{instruction.text} {instruction.callee}", kinds[OBJECT_WORD])
            for function, instruction, kinds in calls(binary) if OBJECT_WORD in kinds]


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def got_ranges(path):
    ranges = []
    for line in run("llvm-objdump", "--macho", "--section-headers", path).splitlines():
        fields = line.split()
        if len(fields) >= 4 and fields[1] in ("__got", "__auth_got", "__la_symbol_ptr"):
            start = int(fields[3], 16)
            ranges.append((start, start + int(fields[2], 16)))
    return tuple(ranges)


def read_binary(path):
    return Binary(run("llvm-objdump", "--macho", "-d", path), got_ranges(path))


def packaged_binaries(unpacked):
    source = os.environ["TWINLY_SOURCE"]
    with open(os.path.join(source, "device", "layout", "DEBIAN", "control")) as control:
        fields = dict(re.findall(r"^(\S+): *(.*)$", control.read(), re.M))
    package = os.path.join(source, "packages", "{Package}_{Version}_{Architecture}.deb".format(**fields))
    run("dpkg-deb", "-x", package, unpacked)
    return [os.path.join(unpacked, "Library/MobileSubstrate/DynamicLibraries/music.dylib"),
            os.path.join(unpacked, "Library/PreferenceBundles/twinlyprefs.bundle/twinlyprefs")]


def check(paths, explain=False):
    failed = False
    for path in paths:
        binary = read_binary(path)
        if not binary.functions:
            print(f"{path}: no machine code found")
            failed = True
            continue
        if explain:
            for function, instruction, kinds in calls(binary):
                print(f"{os.path.basename(path)}: {function.name}: {instruction.text} {instruction.callee}")
                for kind, why in kinds.items():
                    print(f"    {kind}: {why}")
        found = faults(binary)
        for function, call, why in found:
            print(f"{path}: {function}: {call} is given as its class a {OBJECT_WORD}: {why}")
        checked = sum(1 for _ in calls(binary))
        print(f"{os.path.basename(path)}: {checked} calls that take a class, {len(found)} given a word of an object")
        failed = failed or bool(found)
    return not failed


class AnalysisTests(unittest.TestCase):
    """The analysis on listings written as llvm-objdump prints them."""

    @staticmethod
    def listing(*lines):
        text, address = ["f:"], 0x4000
        for line in lines:
            if line.endswith(":"):
                text.append(line)
                continue
            mnemonic, _, rest = line.partition(" ")
            text.append(f"    {address:x}:\t00 00 00 00\t{mnemonic}\t{rest}")
            address += 4
        return Binary("\n".join(text), got=((0x8000, 0x8100),))

    def found(self, *lines):
        return faults(self.listing(*lines))

    def test_the_first_word_of_an_argument(self):
        self.assertTrue(self.found("ldr x0, [x0]", "bl 0x6810 ; symbol stub for: _class_getInstanceVariable"))

    def test_through_a_saved_register_and_a_branch(self):
        self.assertTrue(self.found(
            "mov x19, x0", "cbz x0, 0x400c", "bl 0x6000 ; symbol stub for: _objc_retain",
            "ldr x8, [x19]", "mov x0, x8", "bl 0x6810 ; symbol stub for: _class_getInstanceMethod"))

    def test_a_masked_isa_still_counts(self):
        self.assertTrue(self.found(
            "ldr x8, [x20]", "and x0, x8, #0xffffffff8", "bl 0x6810 ; symbol stub for: _class_addMethod"))

    def test_the_first_word_of_a_call_result_kept_on_the_stack(self):
        self.assertTrue(self.found(
            "bl 0x6000 ; symbol stub for: _objc_msgSend", "ldr x8, [x0]", "str x8, [sp, #8]",
            "bl 0x6000 ; symbol stub for: _objc_msgSend", "ldr x0, [sp, #8]",
            "bl 0x6810 ; symbol stub for: _class_getInstanceVariable"))

    def test_a_tail_call(self):
        self.assertTrue(self.found("ldr x0, [x1, #8]", "b 0x6810 ; symbol stub for: _class_getName"))

    def test_a_class_kept_in_a_variable_of_the_binary(self):
        self.assertFalse(self.found(
            "adrp x8, 4 ; 0x8000", "ldr x0, [x8, #760]", "bl 0x6810 ; symbol stub for: _class_getInstanceVariable"))
        self.assertFalse(self.found(
            "adrp x8, 5 ; 0x9000", "add x8, x8, #16", "ldr x0, [x8]", "bl 0x6810 ; symbol stub for: _class_addMethod"))

    def test_a_class_from_the_runtime(self):
        self.assertFalse(self.found(
            "bl 0x67c8 ; symbol stub for: _objc_getClass", "mov x19, x0", "mov x1, x20", "mov x0, x19",
            "bl 0x6810 ; symbol stub for: _class_getInstanceVariable"))
        self.assertFalse(self.found(
            "bl 0x67c8 ; symbol stub for: _object_getClass", "bl 0x6810 ; symbol stub for: _class_getSuperclass"))

    def test_a_class_passed_in_or_nil(self):
        self.assertFalse(self.found("bl 0x6810 ; symbol stub for: _class_getInstanceVariable"))
        self.assertFalse(self.found("mov x0, #0", "bl 0x6810 ; symbol stub for: _class_getInstanceVariable"))

    def test_an_object_read_from_a_variable_of_the_binary_is_still_an_object(self):
        # The GOT holds addresses: the word behind one is the binary's data, the word behind a
        # variable's value is an object's.
        self.assertFalse(self.found(
            "adrp x8, 8 ; 0x8000", "ldr x8, [x8, #16]", "ldr x0, [x8]", "bl 0x6810 ; symbol stub for: _class_getName"))
        self.assertTrue(self.found(
            "adrp x8, 9 ; 0x9000", "ldr x8, [x8, #16]", "ldr x0, [x8]", "bl 0x6810 ; symbol stub for: _class_getName"))

    def test_only_the_class_argument_counts(self):
        self.assertFalse(self.found(
            "ldr x1, [x0]", "mov x0, x19", "bl 0x6810 ; symbol stub for: _class_getInstanceVariable"))

    def test_a_helper_given_the_first_word_by_its_caller(self):
        self.assertTrue(self.found(
            "ldr x0, [x19]", "bl 0x400c", "ret",
            "helper:", "bl 0x6810 ; symbol stub for: _class_getInstanceVariable", "ret"))
        self.assertFalse(self.found(
            "adrp x8, 9 ; 0x9000", "ldr x0, [x8, #16]", "bl 0x4010", "ret",
            "helper:", "bl 0x6810 ; symbol stub for: _class_getInstanceVariable", "ret"))

    def test_a_helper_that_the_listing_names(self):
        self.assertTrue(self.found(
            "ldr x0, [x0]", "b helper",
            "helper:", "bl 0x6810 ; symbol stub for: _class_getInstanceVariable", "ret"))

    def test_a_loop_ends(self):
        self.assertTrue(self.found(
            "ldr x0, [x19]", "add x19, x19, #8", "cbnz x19, 0x4000",
            "bl 0x6810 ; symbol stub for: _class_getInstanceVariable"))


def main(arguments):
    if arguments[:1] == ["--self-test"]:
        result = unittest.main(argv=[sys.argv[0]] + arguments[1:], exit=False).result
        return 0 if result.wasSuccessful() else 1
    explain = arguments[:1] == ["--explain"]
    paths = arguments[1:] if explain else arguments
    if paths:
        return 0 if check(paths, explain) else 1
    with tempfile.TemporaryDirectory() as unpacked:
        return 0 if check(packaged_binaries(unpacked), explain) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
