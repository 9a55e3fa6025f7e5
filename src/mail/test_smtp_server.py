#!/usr/bin/env python3
"""A mail server for the delivery tests, on a loopback address and a free port.

Prints "PORT <n>" once it listens, and ends when its standard input closes (the test went
away). Each accepted message is written into --out as <n>.eml (the DATA content, as
received) beside <n>.json (envelope, whether TLS was on, the login). Refusals are scripted by
recipient address; nothing leaves the machine.
"""

import argparse
import asyncio
import json
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, args):
        self.args = args
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.args.reject:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        if address in self.args.defer:
            return "451 4.3.0 <%s>: Temporary lookup failure" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.args.drop:
            server.transport.close()
            return None
        if self.args.stall:
            await asyncio.sleep(3600)
        self.count += 1
        base = os.path.join(self.args.out, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".json", "w") as f:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                       "tls": session.ssl is not None or self.args.tls == "implicit",
                       "login": getattr(session.auth_data, "login", b"").decode()}, f)
        return "250 2.0.0 Ok: queued as %d" % self.count


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0: a free one")
    parser.add_argument("--out", required=True)
    parser.add_argument("--tls", choices=["none", "starttls", "implicit"], default="none")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--auth", help="USER:PASSWORD; AUTH is then required")
    parser.add_argument("--reject", action="append", default=[], help="550 to this recipient")
    parser.add_argument("--defer", action="append", default=[], help="451 to this recipient")
    parser.add_argument("--drop", action="store_true", help="close the connection after DATA")
    parser.add_argument("--stall", action="store_true", help="never answer the message")
    args = parser.parse_args()

    context = None
    if args.tls != "none":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def check_login(server, session, envelope, mechanism, auth_data):
        user, password = args.auth.split(":", 1)
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    handler = Handler(args)

    def factory():
        return SMTP(handler, hostname="test.invalid",
                    tls_context=context if args.tls == "starttls" else None,
                    auth_required=bool(args.auth),
                    auth_require_tls=args.tls == "starttls",
                    authenticator=check_login if args.auth else None)

    loop = asyncio.new_event_loop()
    server = loop.run_until_complete(loop.create_server(
        factory, host=args.host, port=args.port,
        ssl=context if args.tls == "implicit" else None))
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)

    def stdin_readable():
        if not os.read(sys.stdin.fileno(), 4096):
            loop.stop()

    loop.add_reader(sys.stdin.fileno(), stdin_readable)
    loop.run_forever()


if __name__ == "__main__":
    main()
