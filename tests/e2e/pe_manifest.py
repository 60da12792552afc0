#!/usr/bin/env python3
"""Prints the application manifest of a PE file (resource type 24, ID 1).

    pe_manifest.py FILE

Exit code 0 with the manifest's text on stdout; 1 when the file has none;
2 when it is not a PE file. Reads the resource directory itself: binutils
cannot dump one resource.
"""
import struct
import sys

RT_MANIFEST = 24
MANIFEST_ID = 1


def read_pe(data):
    if data[:2] != b'MZ':
        raise ValueError('no MZ header')
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise ValueError('no PE header')
    sections, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from('<II', data, directories + 2 * 8)
    table = []
    for i in range(sections):
        at = optional + optional_size + 40 * i
        vsize, rva, raw_size, raw = struct.unpack_from('<IIII', data, at + 8)
        table.append((rva, max(vsize, raw_size), raw))
    return rsrc_rva, rsrc_size, table


def offset(table, rva):
    for start, size, raw in table:
        if start <= rva < start + size:
            return raw + rva - start
    raise ValueError('RVA %#x outside the sections' % rva)


def entries(data, base, directory):
    named, ids = struct.unpack_from('<HH', data, directory + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from('<II', data, directory + 16 + 8 * i)
        yield (None if name & 0x80000000 else name), target


def manifest(data):
    rsrc_rva, rsrc_size, table = read_pe(data)
    if not rsrc_rva or not rsrc_size:
        return None
    base = offset(table, rsrc_rva)
    for type_id, type_target in entries(data, base, base):
        if type_id != RT_MANIFEST or not type_target & 0x80000000:
            continue
        for name_id, name_target in entries(data, base, base + (type_target & 0x7FFFFFFF)):
            if name_id != MANIFEST_ID or not name_target & 0x80000000:
                continue
            for _lang, leaf in entries(data, base, base + (name_target & 0x7FFFFFFF)):
                rva, size = struct.unpack_from('<II', data, base + leaf)
                start = offset(table, rva)
                return data[start:start + size]
    return None


def main():
    if len(sys.argv) != 2:
        raise SystemExit('usage: pe_manifest.py FILE')
    with open(sys.argv[1], 'rb') as f:
        data = f.read()
    try:
        text = manifest(data)
    except (ValueError, struct.error) as e:
        print('pe_manifest: %s: %s' % (sys.argv[1], e), file=sys.stderr)
        return 2
    if text is None:
        return 1
    sys.stdout.write(text.decode('utf-8', errors='replace'))
    return 0


if __name__ == '__main__':
    sys.exit(main())
