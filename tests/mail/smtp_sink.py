"""A real SMTP server (aiosmtpd) on 127.0.0.1 for one delivery test.

Allows AUTH LOGIN without TLS for one account, parses each delivered message with the
standard mail parser and writes what it found to OUT_FILE, one field per line:
  envelope-from, envelope-to, From header, To header, Subject header, then the body.
The number of messages delivered so far goes to OUT_FILE.count.
Prints "READY <port>" once it listens; runs until terminated, or 60 seconds.
"""
import email
import email.policy
import signal
import socket
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

USER, PASSWORD = b"alice", b"s3cret"


def raw(value):
    # Non-ASCII header bytes come back surrogate-escaped; restore the bytes sent.
    return str(value).encode("utf-8", "surrogateescape")


class Sink:
    def __init__(self, out_file):
        self.out_file = out_file
        self.count = 0
        self.stop = threading.Event()

    async def handle_DATA(self, server, session, envelope):
        msg = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        body = msg.get_payload(decode=True) or b""
        lines = [
            envelope.mail_from.encode(),
            b",".join(r.encode() for r in envelope.rcpt_tos),
            raw(msg["From"]),
            raw(msg["To"]),
            raw(msg["Subject"]),
        ]
        with open(self.out_file, "wb") as f:
            f.write(b"\n".join(lines) + b"\n" + body)
        self.count += 1
        with open(self.out_file + ".count", "w") as f:
            f.write(str(self.count))
        return "250 Message accepted"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == USER and auth_data.password == PASSWORD
    return AuthResult(success=ok)


def main():
    sink = Sink(sys.argv[1])
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    controller = Controller(sink, hostname="127.0.0.1", port=port, auth_required=True,
                            auth_require_tls=False, authenticator=authenticate, decode_data=False)
    controller.start()
    print("READY", port, flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sink.stop.set())
    sink.stop.wait(60)
    controller.stop()


if __name__ == "__main__":
    main()
