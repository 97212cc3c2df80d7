#!/usr/bin/python3
"""Gives an installer package the embedded language transform "1041", as a package localised for Japanese
carries it, so that `msiexec ... TRANSFORMS=:1041` finds it.

wixl cannot make transforms, and Wine's msi.dll cannot generate them, so this script writes one itself:
a transform is a storage (within the package's compound file) holding its own string pool, one stream per
changed table and a summary information stream. Ours changes one row of the Property table
(AGENTLANGUAGE: 1033 -> 1041), which the test agent writes to the registry, so a test can see that the
installer applied it.

    add_language_transform.py IN.msi OUT.msi PRODUCTCODE VERSION UPGRADECODE

(the product's identity, which the transform's summary names as the product it applies to).

The package is read with olefile and the whole compound file is written anew with the storage added.
"""
import struct
import sys
import uuid

import olefile

SECTOR = 512
MINI_SECTOR = 64
MINI_CUTOFF = 4096
FREESECT, ENDOFCHAIN, FATSECT, NOSTREAM = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFF
STORAGE, STREAM, ROOT = 1, 2, 5

CLSID_MSI_TRANSFORM = uuid.UUID("000C1082-0000-0000-C000-000000000046")
FMTID_SUMMARY_INFORMATION = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9")
TRANSFORM_NAME = "1041"


class Storage:
    def __init__(self, name, clsid=None):
        self.name, self.clsid, self.children = name, clsid, []


class Stream:
    def __init__(self, name, data):
        self.name, self.data = name, data


# --- Installer database encoding ---------------------------------------------------------------------------

def _mime(c):
    if "0" <= c <= "9":
        return ord(c) - ord("0")
    if "A" <= c <= "Z":
        return ord(c) - ord("A") + 10
    if "a" <= c <= "z":
        return ord(c) - ord("a") + 36
    return {".": 62, "_": 63}.get(c, -1)


def table_stream_name(table):
    """The compound-file name of a table's stream: a marker, then the name packed two characters a unit."""
    out, i = [chr(0x4840)], 0
    while i < len(table):
        first = _mime(table[i])
        if first < 0:
            raise ValueError(f"cannot encode {table!r}")
        if i + 1 < len(table) and _mime(table[i + 1]) >= 0:
            out.append(chr(0x3800 + first + (_mime(table[i + 1]) << 6)))
            i += 2
        else:
            out.append(chr(0x4800 + first))
            i += 1
    return "".join(out)


def string_pool(strings, codepage=1252):
    """The _StringPool and _StringData streams for strings 1..n (each referenced once)."""
    pool, data = struct.pack("<HH", codepage, 0), b""
    for text in strings:
        encoded = text.encode("cp1252")
        pool += struct.pack("<HH", len(encoded), 1)
        data += encoded
    return pool, data


def summary_information(properties):
    """A property set stream of summary information: {pid: int (VT_I4) | ("i2", int) | str (VT_LPSTR)}."""
    values = []
    for pid, value in sorted(properties.items()):
        if isinstance(value, tuple):
            body = struct.pack("<Ihh", 2, value[1], 0)  # VT_I2, padded to four bytes
        elif isinstance(value, int):
            body = struct.pack("<Ii", 3, value)  # VT_I4
        else:
            text = value.encode("cp1252") + b"\0"
            text += b"\0" * (-len(text) % 4)
            body = struct.pack("<II", 30, len(value) + 1) + text  # VT_LPSTR
        values.append((pid, body))
    offset = 8 + 8 * len(values)
    table, bodies = b"", b""
    for pid, body in values:
        table += struct.pack("<II", pid, offset + len(bodies))
        bodies += body
    section = struct.pack("<II", 8 + len(table) + len(bodies), len(values)) + table + bodies
    header = struct.pack("<HHI16sI", 0xFFFE, 0, 0x00020006, b"\0" * 16, 1)
    return header + FMTID_SUMMARY_INFORMATION.bytes_le + struct.pack("<I", 48) + section


def language_transform(product_code, version, upgrade_code):
    strings = ["AGENTLANGUAGE", "1041"]
    pool, data = string_pool(strings)
    # One masked update of the Property table: the key column (always present) and column 2 (bit 1).
    property_rows = struct.pack("<HHH", 0x0002, 1, 2)
    storage = Storage(TRANSFORM_NAME, CLSID_MSI_TRANSFORM)
    storage.children = [
        Stream(table_stream_name("_StringPool"), pool),
        Stream(table_stream_name("_StringData"), data),
        Stream(table_stream_name("Property"), property_rows),
        Stream("\x05SummaryInformation", summary_information({
            1: ("i2", 1252),                   # code page
            7: ";1041",                        # template: the languages it applies to
            8: ";1041",                        # last saved by: the language it makes
            9: f"{product_code}{version};{product_code}{version};{upgrade_code}",
            14: 200,                           # installer version
            16: 0,                             # no validation, no error conditions suppressed
        })),
    ]
    return storage


# --- Compound file --------------------------------------------------------------------------------------------

def read_compound_file(path):
    ole = olefile.OleFileIO(path)

    def convert(entry, trail):
        if entry.entry_type == STREAM:
            return Stream(entry.name, ole.openstream(trail + [entry.name]).read())
        node = Storage(entry.name, uuid.UUID(entry.clsid) if entry.clsid else None)
        node.children = [convert(kid, trail + [entry.name]) for kid in entry.kids]
        return node

    root = Storage("Root Entry", uuid.UUID(ole.root.clsid) if ole.root.clsid else None)
    root.children = [convert(kid, []) for kid in ole.root.kids]
    ole.close()
    return root


def _order(entry):
    return (len(entry.name), entry.name.upper())


def write_compound_file(root, path):
    """Writes the tree as a version 3 compound file (512-byte sectors)."""
    entries = []  # directory order; each: [node, left, right, child]

    def add(node):
        entries.append([node, NOSTREAM, NOSTREAM, NOSTREAM])
        return len(entries) - 1

    def add_siblings(nodes):
        """Adds nodes as a balanced search tree (every node black), returns the tree's root id."""
        if not nodes:
            return NOSTREAM
        middle = len(nodes) // 2
        index = add(nodes[middle])
        entries[index][1] = add_siblings(nodes[:middle])
        entries[index][2] = add_siblings(nodes[middle + 1:])
        if isinstance(nodes[middle], Storage):
            entries[index][3] = add_siblings(sorted(nodes[middle].children, key=_order))
        return index

    add(root)
    entries[0][3] = add_siblings(sorted(root.children, key=_order))

    # The mini stream (streams below the cut-off, in 64-byte pieces) and its FAT.
    mini_stream, mini_fat, starts = b"", [], {}
    for index, (node, _, _, _) in enumerate(entries):
        if isinstance(node, Stream) and len(node.data) < MINI_CUTOFF:
            if node.data:
                count = (len(node.data) + MINI_SECTOR - 1) // MINI_SECTOR
                first = len(mini_fat)
                mini_fat += [first + i + 1 if i + 1 < count else ENDOFCHAIN for i in range(count)]
                mini_stream += node.data.ljust(count * MINI_SECTOR, b"\0")
                starts[index] = first
            else:
                starts[index] = ENDOFCHAIN
    mini_fat_bytes = b"".join(struct.pack("<I", v) for v in mini_fat)
    mini_fat_bytes += struct.pack("<I", FREESECT) * (-len(mini_fat) % (SECTOR // 4))
    large = [index for index, (node, _, _, _) in enumerate(entries)
             if isinstance(node, Stream) and len(node.data) >= MINI_CUTOFF]

    # Sectors in file order: the FAT, the directory, the mini FAT, the mini stream, then the large streams
    # (the cabinet). Everything that describes the package comes first, so a copy cut short loses the end of
    # a stream, not the map of the file: the way a package looks when a download stops part-way.
    def sector_count(size):
        return (size + SECTOR - 1) // SECTOR
    directory_sectors = sector_count(len(entries) * 128)
    data_sectors = (directory_sectors + sector_count(len(mini_fat_bytes)) + sector_count(len(mini_stream)) +
                    sum(sector_count(len(entries[index][0].data)) for index in large))
    fat_sectors = 1
    while data_sectors + fat_sectors > fat_sectors * (SECTOR // 4):
        fat_sectors += 1
    if fat_sectors > 109:
        raise ValueError("package too large for this writer (no DIFAT sectors)")
    sectors = [None] * fat_sectors  # the file's sectors, as bytes
    fat = [FATSECT] * fat_sectors

    def allocate(data):
        """Stores data in whole sectors, chained in the FAT; returns the first sector."""
        if not data:
            return ENDOFCHAIN
        count = sector_count(len(data))
        first = len(sectors)
        for i in range(count):
            sectors.append(data[i * SECTOR:(i + 1) * SECTOR].ljust(SECTOR, b"\0"))
            fat.append(first + i + 1 if i + 1 < count else ENDOFCHAIN)
        return first

    directory_start = allocate(b"\0" * directory_sectors * SECTOR)  # written below, once the starts are known
    mini_fat_start = allocate(mini_fat_bytes)
    mini_fat_sectors = len(mini_fat_bytes) // SECTOR
    mini_stream_start = allocate(mini_stream)
    for index in large:
        starts[index] = allocate(entries[index][0].data)

    directory = b""
    for index, (node, left, right, child) in enumerate(entries):
        name = node.name.encode("utf-16-le")
        if len(name) > 62:
            raise ValueError(f"name too long: {node.name!r}")
        if node is root:
            kind, start, size = ROOT, mini_stream_start, len(mini_stream)
        elif isinstance(node, Storage):
            kind, start, size = STORAGE, 0, 0
        else:
            kind, start, size = STREAM, starts[index], len(node.data)
        clsid = node.clsid.bytes_le if isinstance(node, Storage) and node.clsid else b"\0" * 16
        directory += struct.pack("<64sHBBIII16sIQQIQ", name, len(name) + 2, kind, 1, left, right, child, clsid,
                                 0, 0, 0, start, size)
    empty = struct.pack("<64sHBBIII16sIQQIQ", b"", 0, 0, 0, NOSTREAM, NOSTREAM, NOSTREAM, b"\0" * 16, 0, 0, 0, 0, 0)
    directory += empty * (directory_sectors * (SECTOR // 128) - len(entries))
    for i in range(directory_sectors):
        sectors[directory_start + i] = directory[i * SECTOR:(i + 1) * SECTOR]

    # The FAT covers every sector, its own included.
    fat += [FREESECT] * (fat_sectors * (SECTOR // 4) - len(fat))
    fat_bytes = b"".join(struct.pack("<I", v) for v in fat)
    for i in range(fat_sectors):
        sectors[i] = fat_bytes[i * SECTOR:(i + 1) * SECTOR]

    difat = list(range(fat_sectors)) + [FREESECT] * (109 - fat_sectors)
    header = struct.pack("<8s16sHHHHH6sIIIIIIIII", bytes.fromhex("D0CF11E0A1B11AE1"), b"\0" * 16, 0x3E, 3, 0xFFFE,
                         9, 6, b"\0" * 6, 0, fat_sectors, directory_start, 0, MINI_CUTOFF,
                         mini_fat_start if mini_fat else ENDOFCHAIN, mini_fat_sectors, ENDOFCHAIN, 0)
    header += b"".join(struct.pack("<I", v) for v in difat)
    with open(path, "wb") as out:
        out.write(header + b"".join(sectors))


def main():
    if len(sys.argv) != 6:
        raise SystemExit("usage: add_language_transform.py IN.msi OUT.msi PRODUCTCODE VERSION UPGRADECODE")
    source, target, product_code, version, upgrade_code = sys.argv[1:6]
    root = read_compound_file(source)
    if any(child.name == TRANSFORM_NAME for child in root.children):
        raise SystemExit(f"{source} already has a transform {TRANSFORM_NAME}")
    root.children.append(language_transform(product_code, version, upgrade_code))
    write_compound_file(root, target)
    # Read back: every stream of the source and the transform must come out as written.
    check = read_compound_file(target)

    def streams(node, trail=()):
        for child in node.children:
            if isinstance(child, Stream):
                yield trail + (child.name,), child.data
            else:
                yield from streams(child, trail + (child.name,))
    if dict(streams(check)) != dict(streams(root)):
        raise SystemExit("the written package does not read back as written")


if __name__ == "__main__":
    main()
