#!/usr/bin/python3
"""Reads a .msg file (or the mail another reader made of one) for the tests, one fact a line.

  msg_read.py layout FILE   clsid, storages, streams, property-stream headers and entries
  msg_read.py eml FILE      subject, sender, recipients, body and attachments of a mail file

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


if __name__ == "__main__":
    {"layout": layout, "eml": mail}[sys.argv[1]](sys.argv[2])
