#!/usr/bin/python3
"""Checks the layout of a Unicode personal folder file where the readers do not look: the header
checksums, every page and block trailer, the allocation maps (one every 253,952 bytes from
0x4400, a bit set for every 64 bytes in use, the free bytes the header counts) and the end of
the file. Usage: pst_layout_check.py FILE. Prints one line per fault, or "sound"."""
import struct
import sys
import zlib

INTERVAL = 496 * 8 * 64
FIRST_MAP = 0x4400


def crc(data):
    # CRC-32 without the initial and final inversion.
    return zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def signature(ib, bid):
    mixed = ib ^ bid
    return ((mixed >> 16) ^ mixed) & 0xFFFF


def main(path):
    data = open(path, "rb").read()
    faults = []
    if crc(data[8:8 + 471]) != struct.unpack_from("<I", data, 4)[0]:
        faults.append("header: partial checksum")
    if crc(data[8:8 + 516]) != struct.unpack_from("<I", data, 524)[0]:
        faults.append("header: full checksum")
    eof, last_map, free_bytes = struct.unpack_from("<QQQ", data, 184)
    nbt_bid, nbt_ib, bbt_bid, bbt_ib = struct.unpack_from("<QQQQ", data, 216)
    if eof != len(data):
        faults.append("header: end of file %d, file size %d" % (eof, len(data)))
    used = []  # (position, size) of every page and block

    def page(ib, ptype, bid):
        d = data[ib:ib + 512]
        if d[496] != ptype or d[497] != ptype:
            faults.append("page at %#x: type %#x, expected %#x" % (ib, d[496], ptype))
        wsig, pcrc, pbid = struct.unpack_from("<HIQ", d, 498)
        if pcrc != crc(d[:496]):
            faults.append("page at %#x: checksum" % ib)
        if pbid != bid:
            faults.append("page at %#x: identifier %#x, expected %#x" % (ib, pbid, bid))
        tree = ptype in (0x80, 0x81)
        if wsig != (signature(ib, bid) if tree else 0):
            faults.append("page at %#x: signature" % ib)
        if ib % 512:
            faults.append("page at %#x: not on a 512-byte boundary" % ib)
        used.append((ib, 512))
        return d

    def tree(ib, bid, ptype, leaf):
        d = page(ib, ptype, bid)
        count, _, size, level = d[488], d[489], d[490], d[491]
        for i in range(count):
            if level == 0:
                leaf(d[i * size:(i + 1) * size])
            else:
                _, child_bid, child_ib = struct.unpack_from("<QQQ", d, i * size)
                tree(child_ib, child_bid, ptype, leaf)

    def block(entry):
        bid, ib, cb = struct.unpack_from("<QQH", entry)
        total = (cb + 16 + 63) // 64 * 64
        tcb, tsig, tcrc, tbid = struct.unpack_from("<HHIQ", data, ib + total - 16)
        if ib % 64:
            faults.append("block %#x: not on a 64-byte boundary" % bid)
        if (tcb, tsig, tcrc, tbid) != (cb, signature(ib, bid), crc(data[ib:ib + cb]), bid):
            faults.append("block %#x: trailer" % bid)
        used.append((ib, total))

    tree(bbt_ib, bbt_bid, 0x80, block)
    tree(nbt_ib, nbt_bid, 0x81, lambda entry: None)

    maps = (len(data) - FIRST_MAP + INTERVAL - 1) // INTERVAL
    if FIRST_MAP + (maps - 1) * INTERVAL != last_map:
        faults.append("header: last allocation map at %#x" % last_map)
    bits = []
    for k in range(maps):
        base = FIRST_MAP + k * INTERVAL
        bits.append(page(base, 0x84, base)[:496])
        if k % 8 == 0:
            page(base + 512, 0x83, base + 512)
    page(0x4200, 0x86, 0x4200)
    taken = set()
    for ib, size in used:
        for slot in range(ib // 64, (ib + size) // 64):
            if slot in taken:
                faults.append("64 bytes at %#x used twice" % (slot * 64))
            taken.add(slot)
            k, offset = divmod(slot * 64 - FIRST_MAP, INTERVAL)
            if k < 0:
                continue
            bit = offset // 64
            if not bits[k][bit // 8] & (0x80 >> (bit % 8)):
                faults.append("64 bytes at %#x in use, free in the map" % (slot * 64))
    zero_bits = sum(8 - bin(byte).count("1") for map_bits in bits for byte in map_bits)
    set_bits = sum(bin(byte).count("1") for map_bits in bits for byte in map_bits)
    in_use = len([s for s in taken if s * 64 >= FIRST_MAP])
    if set_bits != in_use:
        faults.append("maps mark %d slots in use, %d are" % (set_bits, in_use))
    if zero_bits * 64 != free_bytes:
        faults.append("header: %d free bytes, maps have %d" % (free_bytes, zero_bits * 64))
    for fault in faults[:50]:
        print(fault)
    if not faults:
        print("sound")


if __name__ == "__main__":
    main(sys.argv[1])
