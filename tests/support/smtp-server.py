#!/usr/bin/env python3
"""A mail server for the mailing suite, on 127.0.0.1.

Three listeners on consecutive ports: PORT plain SMTP (no STARTTLS offered), PORT+1 SMTP that
requires STARTTLS, PORT+2 SMTPS (TLS from the first byte); the TLS ones with the certificate
CERT (for 127.0.0.1), which only a client told to trust it accepts.

Every message accepted is stored in FOLDER/<recipient's domain>/ as NNN.eml (the message as
received) beside NNN.json (the envelope), so each test case reads only its own domain.
Recipients whose local part begins with "refused" are refused at RCPT; messages to one whose
local part begins with "slow" are accepted only after a second. AUTH PLAIN and LOGIN are
offered without TLS and accept the user "kelvora" with the password "secret" only; sending
without logging in is allowed.
"""
import argparse
import asyncio
import itertools
import json
import os
import signal
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

counter = itertools.count()


class Store:
    def __init__(self, folder):
        self.folder = folder

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.split("@")[0].lower().startswith("refused"):
            return "550 5.1.1 <%s>: Recipient address rejected: no such user" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if any(r.split("@")[0].lower().startswith("slow") for r in envelope.rcpt_tos):
            await asyncio.sleep(1.0)
        domains = {r.rsplit("@", 1)[-1].lower() for r in envelope.rcpt_tos} or {"none"}
        for domain in domains:
            folder = os.path.join(self.folder, domain)
            os.makedirs(folder, exist_ok=True)
            n = next(counter)
            base = os.path.join(folder, "%06d" % n)
            with open(base + ".json.tmp", "w") as f:
                json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos}, f)
            with open(base + ".eml.tmp", "wb") as f:
                f.write(envelope.original_content)
            os.rename(base + ".json.tmp", base + ".json")
            # The message file appears last: a reader that sees it sees everything.
            os.rename(base + ".eml.tmp", base + ".eml")
        return "250 2.0.0 Message accepted"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login == b"kelvora"
          and auth_data.password == b"secret")
    return AuthResult(success=ok, handled=False)


async def main(port, folder, cert, key):
    handler = Store(folder)
    loop = asyncio.get_running_loop()
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)

    def factory(**extra):
        return lambda: SMTP(handler, hostname="kelvora-test", authenticator=authenticate,
                            auth_require_tls=False, data_size_limit=50 * 1024 * 1024, **extra)

    servers = [
        await loop.create_server(factory(), host="127.0.0.1", port=port),
        await loop.create_server(factory(tls_context=context, require_starttls=True),
                                 host="127.0.0.1", port=port + 1),
        await loop.create_server(factory(), host="127.0.0.1", port=port + 2, ssl=context),
    ]
    stop = asyncio.Event()
    for s in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(s, stop.set)
    await stop.wait()
    for server in servers:
        server.close()


if __name__ == "__main__":
    a = argparse.ArgumentParser()
    a.add_argument("--port", type=int, required=True)
    a.add_argument("--folder", required=True)
    a.add_argument("--cert", required=True)
    a.add_argument("--key", required=True)
    args = a.parse_args()
    asyncio.run(main(args.port, args.folder, args.cert, args.key))
