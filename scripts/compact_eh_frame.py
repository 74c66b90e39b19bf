#!/usr/bin/env python3
"""Merges the identical CIEs of a linked MinGW executable's unwind tables, in place.

    compact_eh_frame.py EXE

GCC puts the unwind entry (FDE) of every function of a COMDAT group (inline functions and
template instantiations) in a section of its own, each with its own copy of the common entry
(CIE) that FDEs point back to. ELF linkers merge those copies; the PE linker keeps them all,
about 22 KB in the wizard. This keeps the first of each set of equal CIEs, points every FDE at
it, writes the section shorter and moves the sections after it down in the file. Nothing moves
in memory: only the bytes inside .eh_frame, which the unwinder reads from its start to the zero
terminator (what follows it is never read, and dropped), and every pointer stored in it is
relative to its own position, re-encoded here.

The result is decoded again and compared with the original, record by record: every FDE must
describe the same code range, the same language-specific data and the same instructions under
an equal CIE. Anything this script does not understand (an absolute pointer the loader would
have to relocate, an encoding or augmentation it does not know) leaves the file as it was and
fails the build.
"""
import struct
import sys

DW_EH_PE_omit = 0xFF
DW_EH_PE_indirect = 0x80
PCREL = 0x10


class Unsupported(Exception):
    pass


def leb(data, pos, signed=False):
    result = shift = 0
    while True:
        byte = data[pos]
        pos += 1
        result |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            if signed and byte & 0x40:
                result -= 1 << shift
            return result, pos


def uleb(data, pos):
    return leb(data, pos)


def sleb(data, pos):
    return leb(data, pos, signed=True)


FORMATS = {0x00: "<I", 0x02: "<H", 0x03: "<I", 0x04: "<Q", 0x0A: "<h", 0x0B: "<i", 0x0C: "<q"}


def value_format(encoding):
    if encoding & 0x60:  # textrel, datarel, funcrel, aligned
        raise Unsupported(f"pointer encoding {encoding:#x}")
    fmt = FORMATS.get(encoding & 0x0F)
    if fmt is None:
        raise Unsupported(f"pointer encoding {encoding:#x}")
    return fmt


def read_pointer(data, pos, encoding, address):
    """(target, next position); the target is absolute for pc-relative values, 0 stays 0."""
    fmt = value_format(encoding)
    (value,) = struct.unpack_from(fmt, data, pos)
    if value != 0 and encoding & PCREL:
        value = (value + address + pos) & 0xFFFFFFFF
    return value, pos + struct.calcsize(fmt)


def write_pointer(data, pos, encoding, target, address):
    fmt = value_format(encoding)
    value = target
    if target != 0 and encoding & PCREL:
        value = target - (address + pos)
        if fmt.endswith("I") or fmt.endswith("H") or fmt.endswith("Q"):
            value &= (1 << (8 * struct.calcsize(fmt))) - 1
    struct.pack_into(fmt, data, pos, value)


def parse_cie(data, start, end, address, slot_value):
    pos = start + 8
    version = data[pos]
    pos += 1
    if version != 1:
        raise Unsupported(f"CIE version {version}")
    aug_end = data.index(b"\0", pos)
    augmentation = data[pos:aug_end].decode("ascii")
    pos = aug_end + 1
    code_align, pos = uleb(data, pos)
    data_align, pos = sleb(data, pos)
    return_column = data[pos]
    pos += 1
    cie = {"augmentation": augmentation, "fde_encoding": 0, "lsda_encoding": DW_EH_PE_omit,
           "personality": None, "personality_at": None}
    if augmentation.startswith("z"):
        length, pos = uleb(data, pos)
        aug_data_end = pos + length
        for letter in augmentation[1:]:
            if letter == "R":
                cie["fde_encoding"] = data[pos]
                pos += 1
            elif letter == "L":
                cie["lsda_encoding"] = data[pos]
                pos += 1
            elif letter == "P":
                encoding = data[pos]
                cie["personality_at"] = pos + 1 - start
                target, pos = read_pointer(data, pos + 1, encoding, address)
                cie["personality"] = (encoding, target)
            elif letter != "S":
                raise Unsupported(f"augmentation {augmentation!r}")
        if pos != aug_data_end:
            raise Unsupported("augmentation data of an unexpected length")
    elif augmentation:
        raise Unsupported(f"augmentation {augmentation!r}")
    # Equal CIEs: everything but where their personality pointer points from, and, for one
    # that points at a slot holding the routine (each object file has its own slot), which slot.
    body = bytearray(data[start + 4:end])
    personality = cie["personality"]
    if personality is not None:
        at = cie["personality_at"] - 4
        size = struct.calcsize(value_format(personality[0]))
        body[at:at + size] = b"\0" * size
        if personality[0] & DW_EH_PE_indirect:
            personality = ("routine in a slot", slot_value(personality[1]))
    cie["key"] = (bytes(body), personality, code_align, data_align, return_column)
    return cie


def parse(data, address, slot_value):
    """The records of an .eh_frame section, up to its zero terminator."""
    records = []
    cies = {}
    pos = 0
    while True:
        (length,) = struct.unpack_from("<I", data, pos)
        if length == 0:
            # The unwinder stops here; what follows (crtend.o's own entry) is never read.
            return records, pos + 4
        if length == 0xFFFFFFFF:
            raise Unsupported("64-bit DWARF record")
        end = pos + 4 + length
        (cie_delta,) = struct.unpack_from("<I", data, pos + 4)
        if cie_delta == 0:
            cies[pos] = {"kind": "CIE", "start": pos, "end": end, "cie": parse_cie(data, pos, end, address, slot_value)}
            records.append(cies[pos])
        else:
            cie = cies.get(pos + 4 - cie_delta)
            if cie is None:
                raise Unsupported(f"FDE at {pos:#x} without its CIE")
            info = cie["cie"]
            field = pos + 8
            begin, field = read_pointer(data, field, info["fde_encoding"], address)
            fmt = value_format(info["fde_encoding"] & 0x0F)
            (size,) = struct.unpack_from(fmt, data, field)
            field += struct.calcsize(fmt)
            lsda = lsda_at = None
            if info["augmentation"].startswith("z"):
                aug_length, field = uleb(data, field)
                aug_end = field + aug_length
                if info["lsda_encoding"] != DW_EH_PE_omit and aug_length:
                    lsda_at = field
                    lsda, field = read_pointer(data, field, info["lsda_encoding"], address)
                if field != aug_end:
                    raise Unsupported(f"FDE at {pos:#x}: augmentation data of an unexpected length")
                field = aug_end
            records.append({"kind": "FDE", "start": pos, "end": end, "cie_record": cie, "begin": begin,
                            "size": size, "lsda": lsda, "lsda_at": lsda_at - pos if lsda_at else None,
                            "instructions": bytes(data[field:end])})
        pos = end


def compact(data, address, slot_value):
    records, terminator_end = parse(data, address, slot_value)
    out = bytearray()
    canonical = {}  # CIE key -> new offset
    new_cie_offset = {}  # old CIE offset -> new offset
    for record in records:
        old = data[record["start"]:record["end"]]
        if record["kind"] == "CIE":
            info = record["cie"]
            if info["key"] in canonical:
                new_cie_offset[record["start"]] = canonical[info["key"]]
                continue
            new_start = len(out)
            canonical[info["key"]] = new_start
            new_cie_offset[record["start"]] = new_start
            out += old
            if info["personality_at"] is not None:
                encoding, target = info["personality"]
                write_pointer(out, new_start + info["personality_at"], encoding, target, address)
        else:
            info = record["cie_record"]["cie"]
            new_start = len(out)
            out += old
            struct.pack_into("<I", out, new_start + 4, new_start + 4 - new_cie_offset[record["cie_record"]["start"]])
            write_pointer(out, new_start + 8, info["fde_encoding"], record["begin"], address)
            if record["lsda_at"] is not None:
                write_pointer(out, new_start + record["lsda_at"], info["lsda_encoding"], record["lsda"], address)
    out += b"\0" * 4
    return bytes(out), records, terminator_end


def described(records):
    """What the unwinder learns from each FDE, comparable across the two layouts."""
    return [(r["begin"], r["size"], r["lsda"], r["instructions"], r["cie_record"]["cie"]["key"])
            for r in records if r["kind"] == "FDE"]


def section_name(image, header, strings):
    raw = image[header:header + 8].rstrip(b"\0").decode("ascii")
    if raw.startswith("/") and strings is not None:
        offset = int(raw[1:])
        return image[strings + offset:image.index(b"\0", strings + offset)].decode("ascii")
    return raw


def rewrite(path):
    image = bytearray(open(path, "rb").read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise Unsupported("not a PE image")
    coff = pe + 4
    sections, symbols, symbol_count, optional_size = struct.unpack_from("<H4xIIH", image, coff + 2)
    optional = coff + 20
    if struct.unpack_from("<H", image, optional)[0] != 0x10B:
        raise Unsupported("not a 32-bit image")
    base = struct.unpack_from("<I", image, optional + 28)[0]
    file_align = struct.unpack_from("<I", image, optional + 36)[0]
    directories = optional + 96
    if struct.unpack_from("<II", image, directories + 4 * 8) != (0, 0):
        raise Unsupported("a signed image")
    reloc_rva, reloc_size = struct.unpack_from("<II", image, directories + 5 * 8)
    if struct.unpack_from("<II", image, directories + 6 * 8) != (0, 0):
        raise Unsupported("a debug directory, which holds file offsets")
    strings = symbols + 18 * symbol_count if symbols else None
    table = optional + optional_size
    headers = [table + 40 * i for i in range(sections)]
    eh = next((h for h in headers if section_name(image, h, strings) == ".eh_frame"), None)
    if eh is None:
        raise Unsupported("no .eh_frame section")
    vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", image, eh + 8)

    # The loader must not have to patch anything in the section: nothing is absolute in it.
    def rva_to_raw(target):
        for h in headers:
            h_vsize, h_rva, h_raw_size, h_raw_at = struct.unpack_from("<IIII", image, h + 8)
            if h_rva <= target < h_rva + max(h_vsize, h_raw_size):
                return h_raw_at + target - h_rva
        raise Unsupported("base relocations outside every section")
    pos = rva_to_raw(reloc_rva) if reloc_size else 0
    end = pos + reloc_size
    while reloc_size and pos < end:
        page, block = struct.unpack_from("<II", image, pos)
        if block < 8:
            break
        for i in range(8, block, 2):
            (entry,) = struct.unpack_from("<H", image, pos + i)
            if entry >> 12 and rva <= page + (entry & 0xFFF) < rva + vsize:
                raise Unsupported("a base relocation inside .eh_frame")
        pos += block

    def slot_value(target):
        (value,) = struct.unpack_from("<I", image, rva_to_raw(target - base))
        return value

    address = base + rva
    data = bytes(image[raw_at:raw_at + vsize])
    new, records, used = compact(data, address, slot_value)
    again, _ = parse(new, address, slot_value)
    if described(again) != described(records):
        raise Unsupported("the compacted table describes different code; nothing written")
    new_raw = (len(new) + file_align - 1) // file_align * file_align
    shift = raw_size - new_raw
    if shift <= 0:
        return 0
    moved_from = raw_at + raw_size
    image[raw_at:moved_from] = new + b"\0" * (new_raw - len(new))
    struct.pack_into("<II", image, eh + 8, len(new), rva)
    struct.pack_into("<I", image, eh + 16, new_raw)
    for h in headers:
        (h_raw_at,) = struct.unpack_from("<I", image, h + 20)
        if h_raw_at >= moved_from:
            struct.pack_into("<I", image, h + 20, h_raw_at - shift)
    if symbols >= moved_from:
        struct.pack_into("<I", image, coff + 8, symbols - shift)
    initialized = struct.unpack_from("<I", image, optional + 8)[0]
    struct.pack_into("<I", image, optional + 8, initialized - shift)
    if struct.unpack_from("<I", image, optional + 64)[0]:
        struct.pack_into("<I", image, optional + 64, checksum(image, optional + 64))
    open(path, "wb").write(image)
    return shift


def checksum(image, field):
    total = 0
    data = bytes(image[:field]) + b"\0\0\0\0" + bytes(image[field + 4:])
    if len(data) % 2:
        data += b"\0"
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(image)


def main():
    try:
        rewrite(sys.argv[1])
    except (Unsupported, IndexError, ValueError, struct.error) as problem:
        print(f"compact_eh_frame: {sys.argv[1]}: {problem}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
