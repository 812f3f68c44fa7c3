#!/usr/bin/python3
"""Reads a .msg file (or the mail another reader made of one) for the tests, one fact a line.

  msg_read.py layout FILE   clsid, storages, streams, property-stream headers and entries
  msg_read.py eml FILE      subject, sender, recipients, body and attachments of a mail file
  msg_read.py names FILE    the named properties: each name with its identifier, each value of
                            the message under a name, and every way the name storage's streams
                            disagree with each other

Storage paths use "/" and "." for the root; bytes are printed as hex.
"""
import email
import email.policy
import hashlib
import struct
import sys


def layout(path):
    import olefile

    ole = olefile.OleFileIO(path)
    print("clsid", ole.root.clsid)
    storages = ["."]
    for entry in ole.listdir(streams=True, storages=True):
        name = "/".join(entry)
        if ole.get_type(name) == olefile.STGTY_STORAGE:
            print("storage", name)
            storages.append(name)
        else:
            data = ole.openstream(name).read()
            shown = data.hex() if len(data) <= 65536 else "-"
            print("stream", name, len(data), hashlib.sha1(data).hexdigest(), shown or "-")
    for storage in storages:
        stream = "__properties_version1.0" if storage == "." else storage + "/__properties_version1.0"
        if not ole.exists(stream):
            continue
        data = ole.openstream(stream).read()
        if storage == ".":
            size = 32
        elif storage.endswith("__substg1.0_3701000D"):
            size = 24
        else:
            size = 8
        fields = struct.unpack_from("<IIII", data, 8) if size > 8 and len(data) >= 24 else ()
        print("header", storage, size, len(data), *fields)
        for offset in range(size, len(data) - 15, 16):
            tag, flags = struct.unpack_from("<II", data, offset)
            print("entry", storage, "%08X" % tag, flags, data[offset + 8:offset + 16].hex())


def mail(path):
    with open(path, "rb") as source:
        message = email.message_from_binary_file(source, policy=email.policy.default)
    print("subject", message.get("Subject", ""))
    print("from", message.get("From", ""))
    for field in ("To", "Cc", "Bcc"):
        for header in message.get_all(field, []):
            for address in header.addresses:
                print("recipient", field.lower(), address.addr_spec.encode("utf-8").hex(),
                      address.display_name.encode("utf-8").hex())
    body = message.get_body(preferencelist=("plain",))
    text = body.get_content() if body is not None else ""
    print("body", text.encode("utf-8").hex())
    for part in message.iter_attachments():
        data = part.get_payload(decode=True) or b""
        print("attachment", (part.get_filename() or "").encode("utf-8").hex(), len(data),
              hashlib.sha1(data).hexdigest())


NAMEID = "__nameid_version1.0/"
SETS = {1: "2803020000000000c000000000000046", 2: "2903020000000000c000000000000046"}
FIXED_SIZES = {0x0002: 2, 0x0003: 4, 0x0004: 4, 0x0005: 8, 0x0006: 8, 0x0007: 8, 0x000A: 4,
               0x000B: 2, 0x0014: 8, 0x0040: 8}


def crc32_of_name(data):
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0xEDB88320 if crc & 1 else 0)
    return crc


def names(path):
    import olefile

    ole = olefile.OleFileIO(path)

    def stream(name):
        return ole.openstream(name).read() if ole.exists(name) else None

    guids = stream(NAMEID + "__substg1.0_00020102")
    entries = stream(NAMEID + "__substg1.0_00030102")
    strings = stream(NAMEID + "__substg1.0_00040102")
    if guids is None or entries is None or strings is None:
        print("problem missing-stream")
        return
    if len(guids) % 16 or len(entries) % 8:
        print("problem stream-size", len(guids), len(entries))
    buckets = {}
    for offset in range(0, len(entries) - 7, 8):
        key, info = struct.unpack_from("<II", entries, offset)
        index, set_number, kind = info >> 16, (info & 0xFFFF) >> 1, info & 1
        if index != offset // 8:
            print("problem index", offset // 8, index)
        if set_number in SETS:
            guid = SETS[set_number]
        else:
            start = (set_number - 3) * 16
            guid = guids[start:start + 16].hex() if 0 <= start < len(guids) else "-"
        if kind:
            length = struct.unpack_from("<I", strings, key)[0]
            text = strings[key + 4:key + 4 + length]
            shown, key = text.hex(), crc32_of_name(text)
        else:
            shown = "%x" % key
        print("name %04X %s %s %s" % (0x8000 + index, guid, "s" if kind else "n", shown))
        bucket = 0x1000 + (key ^ (set_number << 1 | kind)) % 0x1F
        buckets.setdefault(bucket, b"")
        buckets[bucket] += struct.pack("<II", key, info)
    for entry in ole.listdir(streams=True, storages=False):
        name = "/".join(entry)
        if name.startswith(NAMEID) and name[len(NAMEID):].startswith("__substg1.0_1"):
            bucket = int(name[len(NAMEID) + 12:len(NAMEID) + 16], 16)
            if buckets.pop(bucket, None) != stream(name):
                print("problem bucket %04X" % bucket)
    for bucket in buckets:
        print("problem missing-bucket %04X" % bucket)
    data = stream("__properties_version1.0")
    for offset in range(32, len(data) - 15, 16):
        tag = struct.unpack_from("<I", data, offset)[0]
        prop_id, prop_type = tag >> 16, tag & 0xFFFF
        if prop_id < 0x8000:
            continue
        value = data[offset + 8:offset + 16]
        if prop_type in FIXED_SIZES:
            shown = value[:FIXED_SIZES[prop_type]].hex()
        elif prop_type & 0x1000 and prop_type & 0xFFF in (0x001E, 0x001F):
            lengths = stream("__substg1.0_%08X" % tag)
            values = [stream("__substg1.0_%08X-%08X" % (tag, i)) for i in range(len(lengths) // 4)]
            width = 2 if prop_type & 0xFFF == 0x001F else 1
            shown = ",".join(v[:len(v) - width].hex() or "-" for v in values)
        else:
            shown = stream("__substg1.0_%08X" % tag).hex() or "-"
        print("value %04X %04X %s" % (prop_id, prop_type, shown))


if __name__ == "__main__":
    {"layout": layout, "eml": mail, "names": names}[sys.argv[1]](sys.argv[2])
