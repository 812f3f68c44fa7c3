#!/usr/bin/env python3
"""Compares what `mailsift-cli show --json` printed for a message with what Python's email
package reads from the same file. Usage: compare_with_standard_reader.py MESSAGE.eml SHOW.json
Prints one line per difference and exits 1 when there is any."""
import email
import email.header
import email.policy
import email.utils
import hashlib
import json
import sys


def decoded(value):
    if value is None:
        return ""
    return str(email.header.make_header(email.header.decode_header(str(value))))


def addresses(message, name):
    values = message.get_all(name, [])
    return [{"name": decoded(n), "address": a}
            for n, a in email.utils.getaddresses([str(v) for v in values]) if a or n]


def text_of(part):
    payload = part.get_payload(decode=True) or b""
    charset = part.get_content_charset() or "us-ascii"
    try:
        return payload.decode(charset, errors="replace")
    except LookupError:
        return payload.decode("latin-1")


def normalised(text):
    lines = [line.rstrip() for line in text.replace("\r\n", "\n").split("\n")]
    while lines and not lines[-1]:
        lines.pop()
    return lines


def is_attachment(part):
    disposition = (part.get("Content-Disposition") or "").split(";")[0].strip().lower()
    if disposition == "attachment" or part.get_filename():
        return True
    return part.get_content_maintype() not in ("text", "multipart")


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.compat32)
    with open(sys.argv[2], encoding="utf-8") as f:
        shown = json.load(f)
    differences = []

    def check(what, ours, theirs):
        if ours != theirs:
            differences.append(f"{what}: mailsift {ours!r} != python {theirs!r}")

    check("subject", shown["subject"], decoded(message["Subject"]).strip())
    for field, header in (("from", "From"), ("to", "To"), ("cc", "Cc")):
        check(field, [a["address"] for a in shown[field]],
              [a["address"] for a in addresses(message, header)])

    texts, attachments = [], []
    if message.is_multipart():
        for part in message.walk():
            if part.is_multipart():
                continue
            if is_attachment(part):
                data = part.get_payload(decode=True) or b""
                attachments.append((len(data), hashlib.sha256(data).hexdigest()))
            else:
                texts.append(normalised(text_of(part)))
        ours_texts = [normalised("\n".join(p["body"])) for p in shown["parts"]
                      if p["kind"] == "text" and not p["content_type"].lower().startswith("multipart/")]
    else:
        texts.append(normalised(text_of(message)))
        ours_texts = [normalised("\n".join(shown["body"]))]
    ours_attachments = [(p["size"], p["sha256"]) for p in shown["parts"] if p["kind"] == "attachment"]
    check("texts", ours_texts, texts)
    check("attachments", ours_attachments, attachments)

    for line in differences:
        print(line)
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
