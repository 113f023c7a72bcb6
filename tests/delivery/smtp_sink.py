"""A real SMTP server (aiosmtpd) on 127.0.0.1 for one delivery test.

Allows AUTH LOGIN without TLS for one account, parses each delivered message with the
standard mail parser and writes what it found to OUT_FILE, one field per line:
  envelope-from, envelope-to, From header, To header, Subject header, then the body.
The number of messages delivered so far goes to OUT_FILE.count.
Prints "READY <port>" once it listens; runs until terminated, or 60 seconds.

With a second argument it speaks TLS, with a CA and a certificate for 127.0.0.1 made in
OUT_FILE's folder (the CA as ca.pem there):
  starttls   offers STARTTLS and refuses AUTH and mail before it
  implicit   TLS from the first byte
  plain-only offers no STARTTLS at all
"""
import os
import ssl
import subprocess
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


AUTH_LOG = None


def authenticate(server, session, envelope, mechanism, auth_data):
    # Every attempt is noted, so a test can tell that no password was sent.
    with open(AUTH_LOG, "a") as f:
        f.write(mechanism + "\n")
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == USER and auth_data.password == PASSWORD
    # Not "handled": aiosmtpd then answers a refusal with 535 itself (handled=True, its
    # default here, answers nothing and leaves the client waiting).
    return AuthResult(success=ok, handled=False)


def make_certificates(folder):
    """A CA and a server certificate for IP 127.0.0.1 signed by it; the server's context."""
    def run(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)
    curve = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *curve, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Sentrel test mail CA")
    run("req", *curve, "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1")
    with open(os.path.join(folder, "san.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "san.ext")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(folder, "server.pem"), os.path.join(folder, "server.key"))
    return context


def main():
    global AUTH_LOG
    AUTH_LOG = sys.argv[1] + ".auth"
    sink = Sink(sys.argv[1])
    mode = sys.argv[2] if len(sys.argv) > 2 else ""
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    options = dict(hostname="127.0.0.1", port=port, auth_required=True, auth_require_tls=False,
                   authenticator=authenticate, decode_data=False)
    if mode in ("starttls", "implicit"):
        context = make_certificates(os.path.dirname(os.path.abspath(sys.argv[1])))
        if mode == "starttls":
            options.update(tls_context=context, require_starttls=True, auth_require_tls=True)
        else:
            options.update(ssl_context=context)
    controller = Controller(sink, **options)
    controller.start()
    print("READY", port, flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sink.stop.set())
    sink.stop.wait(60)
    controller.stop()


if __name__ == "__main__":
    main()
