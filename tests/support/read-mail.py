#!/usr/bin/env python3
"""Reads back the messages the test mail server stored in a folder, with Python's own mail
parser, and prints them as JSON: the envelope, the decoded headers, the raw Subject, the
plain-text body and the attachments, which are written into OUTDIR."""
import email
import email.policy
import email.utils
import json
import os
import sys

folder, outdir = sys.argv[1], sys.argv[2]
def valid_date(text):
    try:
        return email.utils.parsedate_to_datetime(text).tzinfo is not None
    except (TypeError, ValueError):
        return False


messages = []
names = sorted(n for n in os.listdir(folder) if n.endswith(".eml")) if os.path.isdir(folder) else []
for name in names:
    base = os.path.join(folder, name[:-4])
    with open(base + ".eml", "rb") as f:
        raw = f.read()
    with open(base + ".json") as f:
        envelope = json.load(f)
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    compat = email.message_from_bytes(raw)
    body = msg.get_body(preferencelist=("plain",))
    attachments = []
    for i, part in enumerate(msg.iter_attachments()):
        path = os.path.join(outdir, "%s-%d.bin" % (name[:-4], i))
        with open(path, "wb") as f:
            f.write(part.get_content() if isinstance(part.get_content(), bytes)
                    else part.get_content().encode())
        attachments.append({"filename": part.get_filename(),
                            "type": part.get_content_type(), "path": path})
    messages.append({
        "file": name,
        "envelopeFrom": envelope["from"],
        "envelopeTo": envelope["to"],
        "from": str(msg["From"]),
        "to": str(msg["To"]),
        "toAddresses": [a.addr_spec for a in msg["To"].addresses] if msg["To"] else [],
        "cc": str(msg["Cc"] or ""),
        "subject": str(msg["Subject"]),
        "subjectRaw": compat["Subject"],
        "dateValid": valid_date(compat["Date"]),
        "body": body.get_content().replace("\r\n", "\n") if body is not None else None,
        "attachments": attachments,
        "defects": [str(d) for d in msg.defects],
    })
json.dump(messages, sys.stdout, ensure_ascii=False)
