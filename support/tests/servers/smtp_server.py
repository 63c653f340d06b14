"""SMTP server for the mail tests, on 127.0.0.1.

Prints "PORT <n>" once it listens. Each accepted message is kept in the folder given with --folder as
mail-<k>.eml (the bytes received after DATA) and mail-<k>.txt: one "key=value" line per fact (session, envelope,
decoded headers, then each part as "part=<i>" followed by its fields and its decoded bytes as hex). The .txt file
appears last and whole, so a reader that sees it can read both. Each QUIT adds a line to quit.log there.
Recipients containing "refused" are refused. With --log, the name of every command received is appended to
that file, one per line. --starttls-fault makes an offered STARTTLS fail: "refuse" answers it 454, "break"
answers 220 and then sends bytes that are no TLS handshake and hangs up.
"""

import argparse
import asyncio
import binascii
import hmac
import logging
import os
import secrets
import ssl
import sys
from email import message_from_bytes
from email.header import decode_header, make_header

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword, auth_mechanism

ALL_MECHANISMS = {"PLAIN", "LOGIN", "CRAM-MD5"}


def one_line(text):
    return str(text).replace("\r", "\\r").replace("\n", "\\n")


def decoded_header(value):
    if value is None:
        return ""
    return str(make_header(decode_header(str(value))))


def part_data(part):
    encoding = (part.get("Content-Transfer-Encoding") or "").strip().lower()
    if encoding == "quoted-printable":
        # a2b_qp keeps hard line breaks exactly as sent; the email package would turn CR LF into LF.
        raw = part.get_payload(decode=False)
        return binascii.a2b_qp(raw.encode("ascii", "surrogateescape"))
    return part.get_payload(decode=True) or b""


def describe(envelope, session):
    lines = [
        f"tls={1 if session.ssl is not None else 0}",
        f"ehlo={one_line(session.host_name or '')}",
        f"auth={getattr(session, 'mechanism', '')}",
        f"login={one_line(getattr(session, 'login', ''))}",
        f"mail_from={one_line(envelope.mail_from)}",
    ]
    lines += [f"mail_option={one_line(option)}" for option in envelope.mail_options]
    lines += [f"rcpt={one_line(address)}" for address in envelope.rcpt_tos]
    message = message_from_bytes(envelope.original_content)
    for name, value in message.items():
        lines.append(f"header.{name}={one_line(decoded_header(value))}")
    parts = message.get_payload() if message.is_multipart() else [message]
    for index, part in enumerate(parts):
        lines += [
            f"part={index}",
            f"type={part.get_content_type()}",
            f"charset={part.get_content_charset() or ''}",
            f"disposition={part.get_content_disposition() or ''}",
            f"filename={one_line(decoded_header(part.get_filename()))}",
            f"description={one_line(part.get('Content-Description') or '')}",
            f"encoding={one_line(part.get('Content-Transfer-Encoding') or '')}",
            f"data={part_data(part).hex()}",
        ]
    return "\n".join(lines) + "\n"


class Handler:
    def __init__(self, folder, users):
        self.folder = folder
        self.users = users
        self.count = 0

    def check(self, session, mechanism, login, password):
        session.mechanism = mechanism
        session.login = login
        return self.users.get(login) == password

    def authenticator(self, server, session, envelope, mechanism, auth_data):
        assert isinstance(auth_data, LoginPassword)
        login = auth_data.login.decode("utf-8", "replace")
        ok = self.check(session, mechanism, login, auth_data.password.decode("utf-8", "replace"))
        return AuthResult(success=ok, handled=False)

    @auth_mechanism("CRAM-MD5")
    async def auth_CRAM_MD5(self, server, args):
        challenge = f"<{secrets.token_hex(8)}@localhost>".encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=True)
        login, _, digest = response.decode("utf-8", "replace").partition(" ")
        session = server.session
        session.mechanism = "CRAM-MD5"
        session.login = login
        password = self.users.get(login)
        expected = hmac.new(password.encode(), challenge, "md5").hexdigest() if password is not None else ""
        ok = password is not None and hmac.compare_digest(expected, digest)
        return AuthResult(success=ok, handled=False)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if "refused" in address:
            return "550 5.1.1 No such mailbox"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_QUIT(self, server, session, envelope):
        with open(os.path.join(self.folder, "quit.log"), "a", encoding="utf-8") as log:
            log.write("QUIT\n")
        return "221 Bye"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, f"mail-{self.count}")
        with open(base + ".eml", "wb") as raw:
            raw.write(envelope.original_content)
        with open(base + ".tmp", "w", encoding="utf-8") as facts:
            facts.write(describe(envelope, session))
        os.replace(base + ".tmp", base + ".txt")
        return "250 Message accepted"


class ScriptedSMTP(SMTP):
    """aiosmtpd's server with a command log and a STARTTLS that can be made to fail."""

    def __init__(self, *args, log_path=None, starttls_fault=None, **kwargs):
        super().__init__(*args, **kwargs)
        self._log_path = log_path
        self._starttls_fault = starttls_fault
        if log_path:
            self._smtp_methods = {name: self._logged(name, method) for name, method in self._smtp_methods.items()}

    def _logged(self, name, method):
        async def logged(arg):
            with open(self._log_path, "a", encoding="utf-8") as log:
                log.write(name + "\n")
            return await method(arg)

        return logged

    async def smtp_STARTTLS(self, arg):
        if self._starttls_fault == "refuse":
            await self.push("454 4.7.0 TLS not available due to temporary reason")
            return
        if self._starttls_fault == "break":
            await self.push("220 2.0.0 Ready to start TLS")
            self.transport.write(b"\x15\x03\x03\x00\x02\x02\x28not a handshake\r\n")
            self.transport.close()
            return
        await super().smtp_STARTTLS(arg)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--cert", help="offer STARTTLS with this certificate (PEM) ...")
    parser.add_argument("--key", help="... and this key (PEM)")
    parser.add_argument("--user", action="append", default=[], help="login:password, offers AUTH")
    parser.add_argument("--mechanisms", default="PLAIN,LOGIN,CRAM-MD5", help="AUTH mechanisms offered")
    parser.add_argument("--auth-before-tls", action="store_true", help="offer AUTH without TLS")
    parser.add_argument("--log", help="append the name of every command received to this file")
    parser.add_argument("--starttls-fault", choices=["refuse", "break"], help="how an offered STARTTLS fails")
    parser.add_argument("--size", type=int, default=10_000_000, help="SIZE announced; 0 announces none")
    args = parser.parse_args()

    # The library warns about its own deprecated attributes on every login.
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    users = dict(entry.split(":", 1) for entry in args.user)
    handler = Handler(args.folder, users)
    tls = None
    if args.cert:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(args.cert, args.key)
    offered = set(args.mechanisms.split(","))

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def factory():
        return ScriptedSMTP(
            handler,
            log_path=args.log,
            starttls_fault=args.starttls_fault,
            loop=loop,
            hostname="localhost",
            tls_context=tls,
            require_starttls=False,
            data_size_limit=args.size or None,
            authenticator=handler.authenticator if users else None,
            auth_require_tls=not args.auth_before_tls,
            auth_exclude_mechanism=sorted(ALL_MECHANISMS - offered) if users else sorted(ALL_MECHANISMS),
        )

    server = loop.run_until_complete(loop.create_server(factory, host="127.0.0.1", port=0))
    print(f"PORT {server.sockets[0].getsockname()[1]}", flush=True)
    loop.run_forever()


if __name__ == "__main__":
    sys.exit(main())
