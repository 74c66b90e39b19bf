#!/usr/bin/env python3
"""Builds the ZIP archives the installer tests unpack, hostile ones included.

make_test_zips.py --installer test_installer.exe --out DIR

Every refused archive starts with a harmless entry, so "nothing was written" means the
whole central directory was checked before the first byte went out.
"""
import argparse
import io
import os
import struct
import zipfile

HARMLESS = ("readme.txt", b"read me\r\n")


def entry(name, data=b"x", **attributes):
    info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
    info.compress_type = attributes.pop("method", zipfile.ZIP_DEFLATED)
    for key, value in attributes.items():
        setattr(info, key, value)
    return info, data


def build(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for info, data in entries:
            archive.writestr(info, data)
    return bytearray(buffer.getvalue())


def central_entries(data):
    """(offset of the central header, its name, offset of the local header) for each entry."""
    end = data.rfind(b"PK\x05\x06")
    count, _, start = struct.unpack_from("<HII", data, end + 10)
    position = start
    for _ in range(count):
        name_length, extra_length, comment_length = struct.unpack_from("<HHH", data, position + 28)
        local = struct.unpack_from("<I", data, position + 42)[0]
        yield position, bytes(data[position + 46:position + 46 + name_length]), local
        position += 46 + name_length + extra_length + comment_length


def set_flags(data, name, bits):
    # zipfile clears the encryption bit on writing; set it in both headers afterwards.
    for central, entry_name, local in central_entries(data):
        if entry_name == name.encode():
            struct.pack_into("<H", data, central + 8, struct.unpack_from("<H", data, central + 8)[0] | bits)
            struct.pack_into("<H", data, local + 6, struct.unpack_from("<H", data, local + 6)[0] | bits)
    return data


def damage(data, name):
    for _, entry_name, local in central_entries(data):
        if entry_name == name.encode():
            name_length, extra_length = struct.unpack_from("<HH", data, local + 26)
            data[local + 30 + name_length + extra_length + 10] ^= 0xFF
    return data


def archives(installer):
    harmless = entry(*HARMLESS)
    link_mode = 0o120777 << 16
    return {
        # Unpacked and run: the installer and the data file it reads after a delay.
        "offer.zip": build([entry("Setup.exe", installer), entry("payload.txt", b"payload beside the installer"),
                            entry("docs/", b""), entry("docs/L\u00e4s mig.txt", b"hej")]),
        "nested.zip": build([entry("tools/", b""), entry("tools/setup.exe", installer)]),
        # b.exe sorts first without case; ordinal order would pick C.exe.
        "two_exes.zip": build([entry("C.exe", installer), entry("b.exe", installer), entry("a.txt"),
                               entry("a/a.exe", installer), entry("b.exe_", installer)]),
        "empty.zip": build([]),
        "dotdot.zip": build([harmless, entry("..\\evil.exe", installer)]),
        "dotdot_slash.zip": build([harmless, entry("sub/../../evil.exe", installer)]),
        "drive.zip": build([harmless, entry("C:evil.exe", installer)]),
        "absolute.zip": build([harmless, entry("/evil.exe", installer)]),
        "stream.zip": build([harmless, entry("a:b")]),
        "device.zip": build([harmless, entry("sub/CON")]),
        "trailing_dot.zip": build([harmless, entry("setup.exe.")]),
        "symlink.zip": build([harmless, entry("link", b"../../evil", create_system=3, external_attr=link_mode,
                                              method=zipfile.ZIP_STORED)]),
        "encrypted.zip": set_flags(build([harmless, entry("secret.exe", installer)]), "secret.exe", 0x1),
        "bomb.zip": build([harmless, entry("zeros.bin", bytes(32 << 20))]),
        # Takes a while to unpack (thousands of stored entries), so a test can close the wizard
        # meanwhile; the installer comes last.
        "large.zip": build([entry(f"data/{n:04}.bin", bytes([n % 251]) * (32 << 10), method=zipfile.ZIP_STORED)
                            for n in range(3000)] + [entry("Setup.exe", installer)]),
        # Passes every check, then fails its CRC after readme.txt was written.
        "damaged.zip": damage(build([harmless, entry("data.bin", bytes(range(256)) * 64, method=zipfile.ZIP_STORED)]),
                              "data.bin"),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    with open(args.installer, "rb") as handle:
        installer = handle.read()
    os.makedirs(args.out, exist_ok=True)
    for name, data in archives(installer).items():
        with open(os.path.join(args.out, name), "wb") as handle:
            handle.write(data)


if __name__ == "__main__":
    main()
