#!/usr/bin/env python3
"""The built Windows executables, read as files: what kind of program each is, what it links, how it is
hardened, and its resources byte for byte (string table, terms dialog, banner, icon, manifest, version block).

    resources_test.py EXE ARCH CHECK_EXE TEST_EXE
        ARCH: x86 (the product) or amd64 (the 64-bit test build); CHECK_EXE: the server check program of the
        same build; TEST_EXE: the tool as the tests build it, which reads the test hooks
"""
import os
import re
import struct
import sys
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import MESSAGES  # noqa: E402

EXE, ARCH, CHECK_EXE, TEST_EXE = sys.argv[1:5]


def _events():
    """res/Events.inc: the details every text ends with, and each exit status's text."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res", "Events.inc")
    with open(path, encoding="utf-8") as source:
        text = source.read()
    details = re.search(r'^QUILLON_EVENT_DETAILS\("(.*)"\)$', text, re.M).group(1)
    events = {int(m.group(1)): m.group(2) for m in re.finditer(r'^QUILLON_EVENT\((\d+), \w+, "(.*)"\)$', text, re.M)}
    return details, events


EVENT_DETAILS, EVENTS = _events()
JAPANESE = 0x0411
RT = pefile.RESOURCE_TYPE

# The only DLLs the exe may import statically: KnownDLLs, which Windows always takes from the system folder.
# Any other would be looked for beside the exe first, in a folder its users can write, before the tool's first
# line runs (msi, winhttp, comctl32, bcrypt and crypt32 are delay-loaded from the system folder instead); and a mingw
# runtime DLL would have to travel beside it.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll", "ole32.dll",
              "oleaut32.dll", "msvcrt.dll", "ws2_32.dll", "comdlg32.dll", "imm32.dll", "rpcrt4.dll", "sechost.dll"}

# What the test builds read from their environment (platform/TestHooks.h), and the start of every variable
# of the project's own.
TEST_HOOKS = ("QUILLON_TEST_RETRY_SECONDS", "QUILLON_TEST_INSTALLER_BUSY_SECONDS", "QUILLON_UI_TRANSCRIPT",
              "QUILLON_TEST_KILL_AT")
OWN_VARIABLES = "QUILLON_"


def names_held(path):
    """Which of the test hooks' names, and the start of the project's own variables, the file holds as text,
    ASCII or UTF-16LE, in any case (Windows reads a variable's name so)."""
    with open(path, "rb") as exe:
        data = exe.read().lower()
    return {(name, encoding) for name in TEST_HOOKS + (OWN_VARIABLES,) for encoding in ("ascii", "utf-16-le")
            if name.lower().encode(encoding) in data}


# IMAGE_DLLCHARACTERISTICS_*
HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT, NO_SEH = 0x20, 0x40, 0x100, 0x400


def resources(pe, kind):
    """(id, language, bytes) of every resource of one type."""
    found = []
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != kind:
            continue
        for item in entry.directory.entries:
            for language in item.directory.entries:
                data = language.data.struct
                found.append((item.id, language.id, pe.get_data(data.OffsetToData, data.Size)))
    return found


def read_sz(data, offset):
    """A NUL-terminated UTF-16 text, or an ordinal (0xFFFF followed by a number), at offset."""
    first = struct.unpack_from("<H", data, offset)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, offset + 2)[0], offset + 4
    end = offset
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[offset:end].decode("utf-16-le"), end + 2


class ProgramChecks:
    """What the tool and its server check have alike; each program's class says what it is."""
    EXE, SUBSYSTEM, EXECUTION_LEVEL, VERSION_STRINGS = None, None, None, None

    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(cls.EXE)

    def test_is_a_static_program_of_its_subsystem(self):
        pe = self.pe
        self.assertEqual(pe.OPTIONAL_HEADER.Subsystem, self.SUBSYSTEM)
        if ARCH == "x86":
            self.assertEqual(pe.FILE_HEADER.Machine, 0x14C)  # i386
            self.assertEqual(pe.OPTIONAL_HEADER.Magic, 0x10B)  # PE32
        imports = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
        self.assertEqual(imports - KNOWN_DLLS, set())

    def test_is_hardened(self):
        pe = self.pe
        flags = pe.OPTIONAL_HEADER.DllCharacteristics
        # ASLR needs the relocations too; 64-bit code can take high-entropy addresses.
        self.assertTrue(flags & DYNAMIC_BASE, hex(flags))
        self.assertGreater(pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size, 0, "no relocations")
        self.assertTrue(flags & NX_COMPAT, hex(flags))
        if ARCH == "x86":
            # No SafeSEH table (GNU ld makes none), so the exe declares that it has no SEH handlers at all.
            self.assertTrue(flags & NO_SEH, hex(flags))
        else:
            self.assertTrue(flags & HIGH_ENTROPY_VA, hex(flags))
        # The stack protector's failure routine is linked in only when functions are guarded.
        with open(self.EXE, "rb") as exe:
            self.assertTrue(b"*** stack smashing detected ***" in exe.read(), "no stack protector")

    def test_reads_no_variable_of_the_projects_own(self):
        # The tool runs elevated, and an elevated process's environment comes from the user's profile
        # (HKCU\Environment), which any program of that user can write: the product holds not even the names.
        self.assertEqual(names_held(self.EXE), set())
        # The same search finds them in the tests' build of the tool.
        self.assertEqual({name for name, _ in names_held(TEST_EXE)}, set(TEST_HOOKS + (OWN_VARIABLES,)))

    def test_every_resource_is_japanese(self):
        for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for item in entry.directory.entries:
                self.assertEqual([language.id for language in item.directory.entries], [JAPANESE], (entry.id, item.id))

    def test_string_table_holds_the_catalogue_exactly(self):
        table = {}
        for block, language, data in resources(self.pe, RT["RT_STRING"]):
            offset = 0
            for index in range(16):
                length = struct.unpack_from("<H", data, offset)[0]
                if length:
                    table[(block - 1) * 16 + index] = data[offset + 2:offset + 2 + 2 * length]
                offset += 2 + 2 * length
        self.assertEqual(set(table), set(MESSAGES))
        for number, text in MESSAGES.items():
            self.assertEqual(table[number], text.encode("utf-16-le"), number)

    def test_icon_group(self):
        [(number, _, data)] = resources(self.pe, RT["RT_GROUP_ICON"])
        self.assertEqual(number, 115)
        _, _, count = struct.unpack_from("<HHH", data, 0)
        images = set()
        for index in range(count):
            width, height, _, _, _, bits, _, _ = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * index)
            images.add((width or 256, height or 256, bits))
        expected = {(s, s, b) for s in (16, 24, 32, 48) for b in (8, 32)} | {(256, 256, 32)}
        self.assertEqual(images, expected)

    def test_manifest(self):
        [(number, _, data)] = resources(self.pe, RT["RT_MANIFEST"])
        self.assertEqual(number, 1)
        root = ElementTree.fromstring(data)
        identity = root.find(".//{urn:schemas-microsoft-com:asm.v1}dependentAssembly/"
                             "{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
        self.assertEqual({k: identity.get(k) for k in ("name", "version", "processorArchitecture", "publicKeyToken",
                                                       "language", "type")},
                         {"name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0", "processorArchitecture": ARCH,
                          "publicKeyToken": "6595b64144ccf1df", "language": "*", "type": "win32"})
        level = root.find(".//{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")
        self.assertEqual((level.get("level"), level.get("uiAccess")), (self.EXECUTION_LEVEL, "false"))
        self.assertEqual(root.find(".//{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware").text, "true")
        self.assertEqual([e.get("Id") for e in root.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")],
                         ["{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"])

    def test_version_block(self):
        pe = self.pe
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010000, 0))
        tables = [t for info in pe.FileInfo[0] if info.Key == b"StringFileInfo" for t in info.StringTable]
        self.assertEqual([t.LangID for t in tables], [b"041104B0"])
        strings = {k.decode(): v.decode("utf-8") for k, v in tables[0].entries.items()}
        for key, value in self.VERSION_STRINGS.items():
            self.assertEqual(strings[key], value)
        translations = [v for info in pe.FileInfo[0] if info.Key == b"VarFileInfo" for var in info.Var
                        for v in var.entry.values()]
        self.assertEqual(translations, ["0x0411 0x04b0"])



class ToolTest(ProgramChecks, unittest.TestCase):
    EXE, SUBSYSTEM, EXECUTION_LEVEL = EXE, 2, "requireAdministrator"  # Windows GUI
    VERSION_STRINGS = {"FileDescription": "Quillon移行ツール", "ProductName": "Quillon移行ツール",
                       "InternalName": "MigrationTool.exe", "OriginalFilename": "MigrationTool.exe"}

    def test_terms_dialog_template(self):
        # The terms dialog (117) and the progress window's template (120).
        dialogs = {number: data for number, _, data in resources(self.pe, RT["RT_DIALOG"])}
        self.assertEqual(sorted(dialogs), [117, 120])
        data = dialogs[117]
        version, signature, help_id, ex_style, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
        self.assertEqual((version, signature), (1, 0xFFFF))  # an extended template
        self.assertEqual(style, 0x80000000 | 0x00C00000 | 0x00080000 | 0x80 | 0x48)
        self.assertEqual((ex_style, count, x, y, cx, cy), (0, 5, 0, 0, 369, 217))
        menu, offset = read_sz(data, 26)
        window_class, offset = read_sz(data, offset)
        title, offset = read_sz(data, offset)
        self.assertEqual((menu, window_class, title), ("", "", "Quillon移行ツール"))
        points, weight, italic, charset = struct.unpack_from("<HHBB", data, offset)
        face, offset = read_sz(data, offset + 6)
        self.assertEqual((points, weight, italic, charset, face), (8, 400, 0, 1, "MS Shell Dlg"))

        child, visible, group, tabstop = 0x40000000, 0x10000000, 0x00020000, 0x00010000
        expected = [
            (1002, 0x80, "同意する", child | visible | group | tabstop | 0x1, 0, (248, 197, 50, 14)),
            (1003, 0x80, "同意しない", child | visible | tabstop, 0, (306, 197, 50, 14)),
            (1001, 0x81, "", child | visible | 0x00800000 | 0x00200000 | group | tabstop | 0x4 | 0x40 | 0x800,
             0x00020000, (115, 19, 246, 172)),
            (-1, 0x82, "利用規約をお読みください", child | visible | group, 0, (116, 6, 127, 8)),
            (-1, 0x82, 119, child | visible | 0xE, 0, (0, 0, 109, 192)),
        ]
        controls = []
        for _ in range(count):
            offset = (offset + 3) & ~3
            help_id, ex, st, cx_, cy_, w, h, control_id = struct.unpack_from("<IIIhhhhi", data, offset)
            control_class, offset = read_sz(data, offset + 24)
            text, offset = read_sz(data, offset)
            extra = struct.unpack_from("<H", data, offset)[0]
            offset += 2 + extra
            controls.append((control_id, control_class, text, st, ex, (cx_, cy_, w, h)))
        self.assertEqual(controls, expected)

    def test_banner_bitmap(self):
        [(number, _, data)] = resources(self.pe, RT["RT_BITMAP"])
        self.assertEqual(number, 119)
        size, width, height, planes, bits, compression, _, xppm, yppm = struct.unpack_from("<IiiHHIIii", data, 0)
        self.assertEqual((size, width, height, planes, bits, compression, xppm, yppm),
                         (40, 164, 312, 1, 24, 0, 3780, 3780))

    def test_message_table_holds_one_text_per_event(self):
        # The event source's message file is a copy of this exe: Event Viewer takes each event's text from its
        # message table (MESSAGE_RESOURCE_DATA), by event ID 1000 + the exit status, as UTF-16 entries.
        [(number, _, data)] = resources(self.pe, RT["RT_MESSAGETABLE"])
        self.assertEqual(number, 1)
        table = {}
        [blocks] = struct.unpack_from("<I", data, 0)
        for block in range(blocks):
            low, high, offset = struct.unpack_from("<III", data, 4 + 12 * block)
            for message_id in range(low, high + 1):
                length, flags = struct.unpack_from("<HH", data, offset)
                self.assertEqual(flags, 1, "a Unicode entry")
                table[message_id] = data[offset + 4:offset + length].decode("utf-16-le").rstrip("\0")
                offset += length
        self.assertEqual(table, {1000 + status: text + EVENT_DETAILS + "\r\n" for status, text in EVENTS.items()})


# A console program, so that a script gets its exit status and its report; no administrator rights.
class ServerCheckTest(ProgramChecks, unittest.TestCase):
    EXE, SUBSYSTEM, EXECUTION_LEVEL = CHECK_EXE, 3, "asInvoker"  # Windows console
    VERSION_STRINGS = {"FileDescription": "Quillon移行 接続チェック", "ProductName": "Quillon移行ツール",
                       "InternalName": "QuillonServerCheck.exe", "OriginalFilename": "QuillonServerCheck.exe"}

    def test_has_no_dialog_or_bitmap(self):
        for kind in ("RT_DIALOG", "RT_BITMAP"):
            self.assertEqual(resources(self.pe, RT[kind]), [], kind)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
